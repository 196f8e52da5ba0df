#!/usr/bin/env python3
"""Compares the DTMF digits decoded from the receiver's audio with the digits sent.

    compare-digits.py SENT DECODED

Prints "OK" when they are equal, else "FAIL:" followed by what differs, in order of the sent
digits: "missing X@N" (the N-th sent digit, X, not decoded), "doubled X@N" (the N-th sent digit
decoded twice), "extra X@N" (X decoded where nothing was sent, after the N-th sent digit, or in
place of it). Exit status 0 for OK, 1 for FAIL, 2 for a usage error. Standard library only.
"""

import difflib
import sys


def differences(sent, got):
    problems = []
    matcher = difflib.SequenceMatcher(a=sent, b=got, autojunk=False)
    for op, a0, a1, b0, b1 in matcher.get_opcodes():
        if op in ("delete", "replace"):
            problems += [f"missing {sent[i]}@{i + 1}" for i in range(a0, a1)]
        if op == "insert":
            for j in range(b0, b1):
                # Decoded once more next to the same sent digit: its tone was split in two.
                c = got[j]
                if a0 > 0 and sent[a0 - 1] == c:
                    problems.append(f"doubled {c}@{a0}")
                elif a0 < len(sent) and sent[a0] == c:
                    problems.append(f"doubled {c}@{a0 + 1}")
                else:
                    problems.append(f"extra {c}@{a0}")
        if op == "replace":
            problems += [f"extra {got[j]}@{a0 + 1}" for j in range(b0, b1)]
    return problems


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    sent, got = argv[1], argv[2]
    problems = differences(sent, got)
    if not problems:
        print("OK")
        return 0
    print("FAIL: " + ", ".join(problems))
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
