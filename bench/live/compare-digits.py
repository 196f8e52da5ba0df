#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
"""Compares the DTMF digits decoded from the receiver's audio with the digits sent.

    compare-digits.py SENT DECODED [MISSING_ALLOWED [DOUBLED_ALLOWED]]

Prints "OK" when they are equal. Otherwise prints "FAIL:", the counts, and what differs in the
order of the sent digits, from an alignment with the fewest missing and extra digits (the sent
string repeats, so the first matching stretch is not necessarily the right one):
"missing X@N" (the N-th sent digit, X, not decoded), "doubled X@N" (the N-th sent digit decoded
once more), "extra X@N" (X decoded where nothing was sent, after the N-th sent digit); at most
12 of them, then how many more. With MISSING_ALLOWED, up to that many missing digits (and no
other difference) still pass, as "OK (N missing, M allowed)": the digits a stopped server held
when it stopped; with DOUBLED_ALLOWED, up to that many doubled digits too (a tone the server
stopped and went on with is heard in two parts). Exit status 0 for OK, 1 for FAIL, 2 for a
usage error.
Standard library only.
"""

import sys

SHOWN = 12


def align(sent, got):
    """Edit operations turning `sent` into `got` with insertions and deletions only (a wrong
    digit is a missing one and an extra one), fewest first: a list of ("=", i, j),
    ("missing", i, None) and ("extra", i, j), i the position in `sent` the step is at."""
    n, m = len(sent), len(got)
    # cost[i][j]: fewest steps from sent[i:] to got[j:].
    cost = [[0] * (m + 1) for _ in range(n + 1)]
    for i in range(n, -1, -1):
        for j in range(m, -1, -1):
            if i == n or j == m:
                cost[i][j] = (n - i) + (m - j)
            elif sent[i] == got[j]:
                cost[i][j] = cost[i + 1][j + 1]
            else:
                cost[i][j] = 1 + min(cost[i + 1][j], cost[i][j + 1])
    steps = []
    i = j = 0
    while i < n or j < m:
        if i < n and j < m and sent[i] == got[j] and cost[i][j] == cost[i + 1][j + 1]:
            steps.append(("=", i, j))
            i, j = i + 1, j + 1
        elif i < n and cost[i][j] == 1 + cost[i + 1][j]:
            steps.append(("missing", i, None))
            i += 1
        else:
            steps.append(("extra", i, j))
            j += 1
    return steps


def differences(sent, got):
    problems = []
    for op, i, j in align(sent, got):
        if op == "missing":
            problems.append(("missing", f"missing {sent[i]}@{i + 1}"))
        elif op == "extra":
            c = got[j]
            # Decoded once more next to the same sent digit: its tone was split in two.
            if i > 0 and sent[i - 1] == c:
                problems.append(("doubled", f"doubled {c}@{i}"))
            elif i < len(sent) and sent[i] == c:
                problems.append(("doubled", f"doubled {c}@{i + 1}"))
            else:
                problems.append(("extra", f"extra {c}@{i}"))
    return problems


def main(argv):
    if len(argv) not in (3, 4, 5) or not all(a.isdigit() for a in argv[3:]):
        print("usage: compare-digits.py SENT DECODED [MISSING_ALLOWED [DOUBLED_ALLOWED]]",
              file=sys.stderr)
        return 2
    sent, got = argv[1], argv[2]
    allowed = int(argv[3]) if len(argv) >= 4 else 0
    doubled_allowed = int(argv[4]) if len(argv) == 5 else 0
    problems = differences(sent, got)
    if not problems:
        print("OK")
        return 0
    missing = sum(1 for k, _ in problems if k == "missing")
    doubled = sum(1 for k, _ in problems if k == "doubled")
    if missing + doubled == len(problems) and missing <= allowed and doubled <= doubled_allowed:
        told = f"{missing} missing, {allowed} allowed"
        if doubled_allowed:
            told += f"; {doubled} doubled, {doubled_allowed} allowed"
        print(f"OK ({told})")
        return 0
    counts = ", ".join(f"{sum(1 for k, _ in problems if k == kind)} {kind}"
                       for kind in ("missing", "doubled", "extra")
                       if any(k == kind for k, _ in problems))
    shown = [text for _, text in problems[:SHOWN]]
    more = f" and {len(problems) - SHOWN} more" if len(problems) > SHOWN else ""
    print(f"FAIL ({counts}): " + ", ".join(shown) + more)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
