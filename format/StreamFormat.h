// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <cstdint>

namespace corvane {

// The one stream format of the receiver, for the front end's I/Q and its audio alike, in the
// sound buffers, the signal chain and the recordings: 48000 frames per second, 16-bit, two
// channels (I left, Q right on capture; the same audio on both for playback), processed a
// block of 2048 frames (42.67 ms) at a time. The capture ring holds two blocks (one being
// filled while the other is read), the playback ring four (the writer keeps two ahead).
inline constexpr std::int32_t SampleRate = 48000; // frames per second
inline constexpr std::int32_t StreamChannels = 2; // left, right
inline constexpr std::int32_t SampleBytes = 2;    // 16-bit
inline constexpr std::int32_t FrameBytes = StreamChannels * SampleBytes;
inline constexpr std::int32_t BlockFrames = 2048; // 42.67 ms
inline constexpr std::int32_t BlockSamples = BlockFrames * StreamChannels;
inline constexpr std::int32_t BlockBytes = BlockFrames * FrameBytes;
inline constexpr std::int32_t CaptureRingBytes = 2 * BlockBytes;
inline constexpr std::int32_t PlayRingBytes = 4 * BlockBytes;
inline constexpr std::int32_t CaptureRingFrames = CaptureRingBytes / FrameBytes;
inline constexpr std::int32_t PlayRingFrames = PlayRingBytes / FrameBytes;

static_assert(BlockSamples == 4096 && BlockBytes == 8192 && PlayRingFrames == 8192);

} // namespace corvane
