// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The one WAV writer of the I/Q recorder and of corvane-replay: the stream format's header and
// the samples as given, whichever way the file was opened.
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace corvane {
namespace {

class WavFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "wav-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Dir = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(Dir, ec);
    }
    std::filesystem::path Dir;
};

std::vector<unsigned char> Bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::int16_t> Samples(std::size_t n) {
    std::vector<std::int16_t> samples(n);
    for (std::size_t i = 0; i < n; ++i) {
        samples[i] = static_cast<std::int16_t>(static_cast<int>(i * 7919 % 65536) - 32768);
    }
    return samples;
}

// RIFF, WAVE, a 16-byte fmt chunk (PCM, 2 channels, 48000 Hz, 192000 bytes/s, 4-byte frames,
// 16 bits) and the data chunk of `dataBytes`.
std::vector<unsigned char> Header(std::uint32_t dataBytes) {
    const auto le32 = [](std::uint32_t v) {
        return std::vector<unsigned char>{
            static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    };
    std::vector<unsigned char> h{'R', 'I', 'F', 'F'};
    const auto append = [&h](const std::vector<unsigned char>& more) {
        h.insert(h.end(), more.begin(), more.end());
    };
    append(le32(36 + dataBytes));
    append({'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0});
    append(le32(48000));
    append(le32(192000));
    append({4, 0, 16, 0, 'd', 'a', 't', 'a'});
    append(le32(dataBytes));
    return h;
}

std::vector<unsigned char> Expected(const std::vector<std::int16_t>& samples) {
    std::vector<unsigned char> bytes = Header(static_cast<std::uint32_t>(2 * samples.size()));
    for (const std::int16_t s : samples) {
        bytes.push_back(static_cast<unsigned char>(static_cast<std::uint16_t>(s)));
        bytes.push_back(static_cast<unsigned char>(static_cast<std::uint16_t>(s) >> 8));
    }
    return bytes;
}

TEST_F(WavFiles, HeaderOfTheStreamFormatThenTheSamplesWhicheverWayOpened) {
    const std::vector<std::int16_t> samples = Samples(3 * 4096 + 2);
    {
        WavWriter byName;
        ASSERT_EQ(byName.Open((Dir / "name.wav").string()), "");
        ASSERT_TRUE(byName.IsOpen());
        ASSERT_EQ(byName.Write(std::span(samples).first(4096)), "");
        ASSERT_EQ(byName.Write(std::span(samples).subspan(4096)), "");
        EXPECT_EQ(byName.Close(), "");
        EXPECT_FALSE(byName.IsOpen());
    }
    {
        const int fd = ::open((Dir / "fd.wav").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        WavWriter byDescriptor;
        ASSERT_EQ(byDescriptor.Open(fd), "");
        ASSERT_EQ(byDescriptor.Write(samples), "");
        byDescriptor.Sync();
        EXPECT_EQ(byDescriptor.Close(), "");
        EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the descriptor is closed with the file";
    }
    EXPECT_EQ(Bytes(Dir / "name.wav"), Expected(samples));
    EXPECT_EQ(Bytes(Dir / "fd.wav"), Expected(samples));
}

// A recording kept current is a whole file after every write, before it is closed.
TEST_F(WavFiles, AHeaderKeptCurrentCountsEveryWrite) {
    const std::vector<std::int16_t> samples = Samples(4 * 4096);
    WavWriter writer;
    ASSERT_EQ(writer.Open((Dir / "rec.wav").string()), "");
    writer.KeepHeaderCurrent();
    for (std::size_t k = 0; k < 4; ++k) {
        ASSERT_EQ(writer.Write(std::span(samples).subspan(k * 4096, 4096)), "");
        const std::vector<std::int16_t> sofar(
            samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>((k + 1) * 4096));
        EXPECT_EQ(Bytes(Dir / "rec.wav"), Expected(sofar)) << "after write " << k;
    }
    EXPECT_EQ(writer.Close(), "");
}

// The file goes with the writer: closed, complete, whatever the owner forgot.
TEST_F(WavFiles, AWriterThatGoesClosesItsFile) {
    const std::vector<std::int16_t> samples = Samples(4096);
    {
        WavWriter writer;
        ASSERT_EQ(writer.Open((Dir / "left.wav").string()), "");
        ASSERT_EQ(writer.Write(samples), "");
    }
    EXPECT_EQ(Bytes(Dir / "left.wav"), Expected(samples));
}

TEST_F(WavFiles, AFolderThatIsNotThereIsNamedInTheReason) {
    WavWriter writer;
    const std::string failed = writer.Open((Dir / "no-such-folder" / "x.wav").string());
    EXPECT_NE(failed.find("No such file or directory"), std::string::npos) << failed;
    EXPECT_FALSE(writer.IsOpen());
}

} // namespace
} // namespace corvane
