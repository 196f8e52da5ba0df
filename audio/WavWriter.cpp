// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "WavWriter.h"

#include "StreamFormat.h"

#include <sndfile.h>

namespace corvane {

namespace {

SF_INFO StreamInfo() {
    SF_INFO info{};
    info.samplerate = SampleRate;
    info.channels = StreamChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    return info;
}

} // namespace

WavWriter::~WavWriter() {
    [[maybe_unused]] const std::string ignored = Close();
}

std::string WavWriter::Open(const std::string& path) {
    SF_INFO info = StreamInfo();
    File_ = sf_open(path.c_str(), SFM_WRITE, &info);
    return File_ == nullptr ? sf_strerror(nullptr) : std::string();
}

std::string WavWriter::Open(int fd) {
    SF_INFO info = StreamInfo();
    File_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    return File_ == nullptr ? sf_strerror(nullptr) : std::string();
}

void WavWriter::KeepHeaderCurrent() {
    sf_command(static_cast<SNDFILE*>(File_), SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
}

std::string WavWriter::Write(std::span<const std::int16_t> samples) {
    auto* file = static_cast<SNDFILE*>(File_);
    const auto frames = static_cast<sf_count_t>(samples.size() / StreamChannels);
    if (sf_writef_short(file, samples.data(), frames) != frames) {
        return sf_strerror(file);
    }
    return {};
}

void WavWriter::Sync() {
    sf_write_sync(static_cast<SNDFILE*>(File_));
}

std::string WavWriter::Close() {
    if (File_ == nullptr) {
        return {};
    }
    const int closed = sf_close(static_cast<SNDFILE*>(File_));
    File_ = nullptr;
    return closed != 0 ? sf_error_number(closed) : std::string();
}

} // namespace corvane
