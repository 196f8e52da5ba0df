// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "StreamFormat.h"
#include "WavWriter.h"

#include <sndfile.h>

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace corvane::tools {

// A float sample as a 16-bit card delivers it: scaled by 32768, rounded, clipped; NaN is 0.
std::int16_t CardSample(float sample);

// An I/Q recording opened for reading: 2 channels (I left, Q right) at 48000 Hz, in any format
// libsndfile reads. Samples come out as a 16-bit sound card would deliver them: integer formats
// keep their top 16 bits, float formats are scaled by 32768 and clipped.
class IqReader {
public:
    IqReader() = default;
    ~IqReader();
    IqReader(const IqReader&) = delete;
    IqReader& operator=(const IqReader&) = delete;

    // Empty on success, otherwise what is wrong with the file, in words for the operator
    // ("has 1 channel; ...").
    std::string Open(const std::filesystem::path& path);

    // Frames the file holds (0 when unknown).
    std::int64_t Frames() const { return Info.frames; }

    // Fills `block` (interleaved L,R) with the next frames, zeros after the end. Returns the
    // frames read from the file; sets `error` when the file ends before its stated length or
    // cannot be read.
    std::int32_t ReadBlock(std::span<std::int16_t> block, std::string& error);

private:
    SNDFILE* File = nullptr;
    SF_INFO Info{};
    bool FloatSamples = false;
    std::int64_t FramesRead = 0;
    std::vector<float> FloatScratch; // one block of float samples, sized once at Open
};

// A file that appears under its final name only when complete: it is written to a temporary
// file beside the destination and renamed by Commit. Anything not committed is removed.
class PendingFile {
public:
    explicit PendingFile(std::filesystem::path destination);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file; empty on success, otherwise what failed.
    std::string Create();
    int Descriptor() const { return Fd; }
    const std::filesystem::path& TemporaryPath() const { return Temp; }
    // Closes the descriptor (if still open) and renames; empty on success.
    std::string Commit();
    // The descriptor now belongs to someone else (libsndfile closes it).
    void ReleaseDescriptor() { Fd = -1; }

private:
    std::filesystem::path Destination;
    std::filesystem::path Temp;
    int Fd = -1;
    bool Committed = false;
};

// The receiver's audio as a WAV file (WavWriter's: 48000 Hz, 16-bit, 2 channels), renamed into
// place at Finish.
class AudioWriter {
public:
    explicit AudioWriter(std::filesystem::path destination) : Pending(std::move(destination)) {}

    std::string Open();
    // Interleaved L,R; kept in memory until enough has gathered, so a failure to write may be
    // reported by a later Write or by Close.
    std::string Write(std::span<const std::int16_t> frames);
    std::string Close();  // complete under the temporary name
    std::string Commit(); // renamed into place
    std::string Finish() {
        std::string failed = Close();
        return failed.empty() ? Commit() : failed;
    }

private:
    static constexpr std::size_t BufferSamples = 32 * BlockSamples; // 256 KiB

    std::string Flush();

    PendingFile Pending;
    WavWriter File;                   // closed before Pending removes an unfinished file
    std::vector<std::int16_t> Buffer; // sized once at Open
    std::size_t Buffered = 0;         // samples waiting in Buffer
};

// Writes a picture as PNG into `pending` (created here unless it already is; committed by the
// caller); empty on success.
std::string SavePng(const QImage& image, PendingFile& pending);

// Reads a whole 2-channel 16-bit file (tests and tools); empty on failure.
std::vector<std::int16_t> ReadAllFrames(const std::filesystem::path& path, std::int32_t& rate);

// Writes interleaved L,R samples as a 16-bit 48000 Hz WAV; empty on success.
std::string WriteIqWav(const std::filesystem::path& path, std::span<const std::int16_t> samples);

} // namespace corvane::tools
