// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <QString>

#include <string>
#include <vector>

namespace corvane {

class frmReceiver;

// The operator's choices kept from one start to the next, when asked for (remember=true in
// corvane.conf, or --remember): mode, tuning, AGC, GAIN, analysis window, video filter, the
// front end's boxes, and the waterfall's place, colours, range and whether it is open. They live in
// a file of their own beside corvane.conf, so that the operator's hand-written file is never
// rewritten.
//
// Restoring makes each choice on the window's own control, as a click or a slider move would,
// so a start is exactly as if the operator had made those choices by hand. A value that cannot
// be read or is out of range is left at its default with one warning line.
//
//     RememberedSettings memory(path);
//     for (const std::string& warning : memory.Restore(window)) { ... }
//     ... at closing:
//     if (const std::string problem = memory.Save(window); !problem.empty()) { ... }
class RememberedSettings {
public:
    explicit RememberedSettings(QString path) : Path(std::move(path)) {}

    // Where they are kept: remembered.conf in the folder of corvane.conf.
    static QString DefaultPath();

    // Makes the remembered choices on the window, after Form_Load. Returns one line per value
    // that was ignored, and none when there is nothing remembered yet.
    std::vector<std::string> Restore(frmReceiver& window) const;

    // Writes the window's present choices; empty when done, else what went wrong.
    std::string Save(const frmReceiver& window) const;

    const QString& File() const { return Path; }

private:
    QString Path;
};

} // namespace corvane
