// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <QStringList>

class QProcess;

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace corvane::test {

// A fresh, empty folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return Path / name; }
    std::vector<std::string> Names() const; // what the folder holds, sorted
    std::filesystem::path Path;
};

struct ProgramRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// Starts a program without QT_QPA_PLATFORM and DISPLAY in its environment (the tools choose
// their platform themselves), plus any "NAME=value" of `environment`; false when it could not
// be started.
bool StartProgram(QProcess& process, const char* program, const QStringList& args,
                  const QStringList& environment = {});
// Waits for a started program to end and collects what it said.
ProgramRun FinishProgram(QProcess& process);
// Both of the above.
ProgramRun RunProgram(const char* program, const QStringList& args,
                      const QStringList& environment = {});

// Complex tones, one sample per frame: each (Hz, amplitude) as a station at +Hz, in the
// receiver's convention (left = sin, right = cos).
std::vector<std::int16_t> Tones(const std::vector<std::pair<double, double>>& tones,
                                std::int32_t frames);

// Amplitude of `hz` in the left channel of interleaved frames (Goertzel, whole span).
double ToneAmplitude(std::span<const std::int16_t> frames, double hz);
// The strongest frequency between `lowHz` and `highHz`, to 1 Hz.
double DominantHz(std::span<const std::int16_t> frames, double lowHz, double highHz);
double Rms(std::span<const std::int16_t> frames);

} // namespace corvane::test
