// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace corvane {

// A WAV file in the receiver's stream format: 48000 Hz, 16-bit, 2 channels. The I/Q recorder
// writes what it captures with it, corvane-replay the audio the receiver plays, so that the two
// files are made the same way.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter(); // closes a file still open
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates the file, or empties one already there. Empty on success, otherwise libsndfile's
    // reason.
    std::string Open(const std::string& path);
    // Writes through `fd`, open for writing; the file then closes it. Empty on success,
    // otherwise libsndfile's reason.
    std::string Open(int fd);
    bool IsOpen() const { return File_ != nullptr; }

    // The header is brought up to date after every write: a file cut short by a crash or a power
    // cut is still valid up to its last write.
    void KeepHeaderCurrent();
    // Interleaved L,R samples, whole frames. Empty on success, otherwise libsndfile's reason.
    std::string Write(std::span<const std::int16_t> samples);
    // On the disk before the file is renamed into place.
    void Sync();
    // Empty when the file closed cleanly, otherwise libsndfile's reason.
    std::string Close();

private:
    void* File_ = nullptr; // SNDFILE
};

} // namespace corvane
