// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

namespace corvane {

// Whether a window can be asked for at all: a display named in the environment (X11 or
// Wayland) or a Qt platform chosen explicitly.
bool DesktopNamed();

// From here on, Qt's fatal "no platform could be started" (a display named but not answering)
// ends the program with a plain message and exit status 1 instead of an abort. Call before the
// QApplication is made.
void ExitPlainlyWithoutDesktop();

} // namespace corvane
