// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "IqFiles.h"

#include <QBuffer>
#include <QByteArray>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace corvane::tools {

namespace {

std::string SystemError(int code) {
    return std::system_category().message(code);
}

bool IsFloatFormat(int format) {
    const int sub = format & SF_FORMAT_SUBMASK;
    return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}

// libsndfile reads a file that ends before its header says it should, quietly shortened; its
// log notes the difference, in words that depend on the container: a chunk size "(should be
// ...)" (WAV, AIFF, AU, the outer size of RF64 and W64), a chunk "> file length" (AIFF), a
// calculated frame count that "does not match" the header's (RF64). An intact file's log has
// none of these.
bool HeaderPromisesMore(SNDFILE* file) {
    std::array<char, 8192> log{};
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    const std::string_view text(log.data());
    for (const std::string_view sign : {"should be", "> file length", "does not match"}) {
        if (text.find(sign) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

std::int16_t CardSample(float sample) {
    // A NaN has no 16-bit value (converting it is undefined); a card would deliver silence.
    if (std::isnan(sample)) {
        return 0;
    }
    const double v = std::nearbyint(static_cast<double>(sample) * 32768.0);
    return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
}

IqReader::~IqReader() {
    if (File != nullptr) {
        sf_close(File);
    }
}

std::string IqReader::Open(const std::filesystem::path& path) {
    // Looked at before it is opened: opening a pipe that nobody writes would wait for ever.
    struct stat seen {};
    if (::stat(path.c_str(), &seen) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? "no such file"
                                                   : "cannot be opened: " + SystemError(errno);
    }
    if (S_ISDIR(seen.st_mode)) {
        return "is a directory, not a recording";
    }
    if (!S_ISREG(seen.st_mode)) {
        return "is not a regular file (a pipe, device or socket); give a recording file";
    }
    // Opened here rather than by name in libsndfile, which would read standard input for "-".
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return "cannot be opened: " + SystemError(errno);
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        return "is not a regular file (a pipe, device or socket); give a recording file";
    }
    Info = {};
    File = sf_open_fd(fd, SFM_READ, &Info, SF_TRUE);
    if (File == nullptr) {
        // libsndfile has closed the descriptor.
        return std::string("is not a sound file that can be read (") + sf_strerror(nullptr) + ")";
    }
    if (Info.channels != 2) {
        return "has " + std::to_string(Info.channels) +
               (Info.channels == 1 ? " channel" : " channels") +
               "; an I/Q recording has 2 (I left, Q right)";
    }
    if (Info.samplerate != SampleRate) {
        return "is sampled at " + std::to_string(Info.samplerate) +
               " Hz; the receiver needs 48000 Hz";
    }
    if (HeaderPromisesMore(File)) {
        return "is truncated: it ends before the length its header gives";
    }
    if (Info.frames <= 0) {
        return "holds no audio";
    }
    if (Info.frames == SF_COUNT_MAX) {
        // A compressed stream whose end cannot be found: cut short or damaged.
        return "is damaged or cut short: its length cannot be read";
    }
    FloatSamples = IsFloatFormat(Info.format);
    if (FloatSamples) {
        FloatScratch.assign(BlockSamples, 0.0f);
    }
    FramesRead = 0;
    return {};
}

std::int32_t IqReader::ReadBlock(std::span<std::int16_t> block, std::string& error) {
    const sf_count_t wanted = static_cast<sf_count_t>(block.size() / 2);
    const sf_count_t remaining = std::max<sf_count_t>(0, Info.frames - FramesRead);
    const sf_count_t ask = std::min(wanted, remaining);
    sf_count_t got = 0;
    if (ask > 0 && FloatSamples) {
        got = sf_readf_float(File, FloatScratch.data(), ask);
        for (std::size_t j = 0; j < static_cast<std::size_t>(2 * got); ++j) {
            block[j] = CardSample(FloatScratch[j]);
        }
    } else if (ask > 0) {
        got = sf_readf_short(File, block.data(), ask);
    }
    got = std::max<sf_count_t>(got, 0);
    std::fill(block.begin() + 2 * got, block.end(), std::int16_t{0});
    FramesRead += got;
    if (got < ask) {
        const int code = sf_error(File);
        error = code != SF_ERR_NO_ERROR
                    ? std::string("cannot be read: ") + sf_error_number(code)
                    : "is truncated: it ends after " + std::to_string(FramesRead) + " of " +
                          std::to_string(Info.frames) + " frames";
    }
    return static_cast<std::int32_t>(got);
}

PendingFile::PendingFile(std::filesystem::path destination) : Destination(std::move(destination)) {}

PendingFile::~PendingFile() {
    if (Fd >= 0) {
        ::close(Fd);
    }
    if (!Committed && !Temp.empty()) {
        std::error_code ec;
        std::filesystem::remove(Temp, ec);
    }
}

std::string PendingFile::Create() {
    // Beside the destination, so that the rename stays on one file system.
    std::string pattern = Destination.string() + ".partial-XXXXXX";
    Fd = ::mkstemp(pattern.data());
    if (Fd < 0) {
        return SystemError(errno);
    }
    Temp = pattern;
    // mkstemp makes the file private; a finished recording gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(Fd, 0666 & ~mask);
    return {};
}

std::string PendingFile::Commit() {
    if (Fd >= 0) {
        if (::close(Fd) != 0) {
            Fd = -1;
            return SystemError(errno);
        }
        Fd = -1;
    }
    std::error_code ec;
    std::filesystem::rename(Temp, Destination, ec);
    if (ec) {
        return ec.message();
    }
    Committed = true;
    return {};
}

std::string AudioWriter::Open() {
    if (std::string failed = Pending.Create(); !failed.empty()) {
        return failed;
    }
    const std::string failed = File.Open(Pending.Descriptor());
    Pending.ReleaseDescriptor(); // the file's now, or closed by libsndfile when it would not open
    if (!failed.empty()) {
        return failed;
    }
    Buffer.assign(BufferSamples, 0);
    Buffered = 0;
    return {};
}

std::string AudioWriter::Write(std::span<const std::int16_t> frames) {
    if (!File.IsOpen()) {
        return "not open";
    }
    // A replay hands over one block at a time; gathering them saves a system call per block.
    if (Buffered + frames.size() > Buffer.size()) {
        if (std::string failed = Flush(); !failed.empty()) {
            return failed;
        }
    }
    if (frames.size() > Buffer.size()) {
        return File.Write(frames);
    }
    std::copy(frames.begin(), frames.end(), Buffer.begin() + static_cast<std::ptrdiff_t>(Buffered));
    Buffered += frames.size();
    return {};
}

std::string AudioWriter::Flush() {
    const std::size_t count = Buffered;
    Buffered = 0;
    return File.Write(std::span<const std::int16_t>(Buffer).first(count));
}

std::string AudioWriter::Close() {
    if (!File.IsOpen()) {
        return "not open";
    }
    const std::string unwritten = Flush();
    File.Sync();
    const std::string closed = File.Close();
    return unwritten.empty() ? closed : unwritten;
}

std::string AudioWriter::Commit() {
    return Pending.Commit();
}

std::string SavePng(const QImage& image, PendingFile& pending) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return "the picture could not be encoded";
    }
    if (pending.Descriptor() < 0) {
        if (std::string failed = pending.Create(); !failed.empty()) {
            return failed;
        }
    }
    const char* data = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(pending.Descriptor(), data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return SystemError(errno);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return {};
}

std::vector<std::int16_t> ReadAllFrames(const std::filesystem::path& path, std::int32_t& rate) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return {};
    }
    std::vector<std::int16_t> samples;
    if (info.channels == 2 && info.frames > 0) {
        samples.resize(static_cast<std::size_t>(2 * info.frames));
        samples.resize(
            static_cast<std::size_t>(2 * sf_readf_short(file, samples.data(), info.frames)));
    }
    rate = info.samplerate;
    sf_close(file);
    return samples;
}

std::string WriteIqWav(const std::filesystem::path& path, std::span<const std::int16_t> samples) {
    AudioWriter writer(path);
    if (std::string failed = writer.Open(); !failed.empty()) {
        return failed;
    }
    if (std::string failed = writer.Write(samples); !failed.empty()) {
        return failed;
    }
    return writer.Finish();
}

} // namespace corvane::tools
