// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "SoundTypes.h"

namespace corvane {

std::string_view SoundOpName(SoundOp op) {
    switch (op) {
    case SoundOp::None:
        return "none";
    case SoundOp::CreateRoot:
        return "start the sound library";
    case SoundOp::CreatePlayDevice:
        return "open the playback device";
    case SoundOp::CreateCaptureDevice:
        return "open the capture device";
    case SoundOp::CreateCaptureBuffer:
        return "create the capture buffer";
    case SoundOp::CreatePlayBuffer:
        return "create the playback buffer";
    case SoundOp::CreateEvent:
        return "create a capture notification";
    case SoundOp::SetNotificationPositions:
        return "arm the capture notifications";
    case SoundOp::StartCapture:
        return "start capture";
    case SoundOp::StopCapture:
        return "stop capture";
    case SoundOp::ReadCapture:
        return "read captured data";
    case SoundOp::GetPlayPositions:
        return "read the playback position";
    case SoundOp::WritePlay:
        return "write playback data";
    case SoundOp::SetPlayPosition:
        return "set the playback position";
    case SoundOp::StartPlay:
        return "start playback";
    case SoundOp::StopPlay:
        return "stop playback";
    case SoundOp::DestroyEvent:
        return "remove a capture notification";
    case SoundOp::Stream:
        return "keep the sound stream running";
    case SoundOp::ReleaseRoot:
        return "release the sound library";
    case SoundOp::ReleasePlayDevice:
        return "release the playback device";
    case SoundOp::ReleaseCaptureDevice:
        return "release the capture device";
    case SoundOp::ReleasePlayBuffer:
        return "release the playback buffer";
    case SoundOp::ReleaseCaptureBuffer:
        return "release the capture buffer";
    }
    return "unknown sound operation";
}

SoundStatus SoundStatus::Unable(SoundOp op, std::string_view why) {
    return Unable(op, SoundOpName(op), why);
}

SoundStatus SoundStatus::Unable(SoundOp op, std::string_view action, std::string_view why) {
    std::string message = "Unable to ";
    message.append(action).append(": ").append(why).append(".");
    return Fail(op, std::move(message));
}

} // namespace corvane
