// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "PulseAudioSound.h"

#include <pulse/pulseaudio.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

namespace corvane {

namespace {

constexpr pa_sample_spec SampleSpec{PA_SAMPLE_S16LE, static_cast<std::uint32_t>(SampleRate),
                                    static_cast<std::uint8_t>(StreamChannels)};

// The ring's play cursor is where the server takes frames from it: what the server has taken
// is committed, like the samples in a card's own FIFO, and overwriting the ring there cannot
// change what is heard. So the block exchange sees the player two blocks behind the writer,
// with about two blocks of margin either way, whatever the server queues; the queue only adds
// latency, and it must outlast the longest time the client's thread may not run, or the server
// runs dry. On a 2-core virtual machine a quiet desktop stalls every thread (real-time ones
// too) for up to 20 ms now and then, a compile for up to 100 ms; a queue of about 60 ms
// rides out the first.
//
// A notification comes late by up to one capture fragment, and the fetch position moves in
// steps of one playback request. PulseAudio serves each client the sizes it asks for: 256-frame
// fragments and requests, and it grants a little over half the queue asked for (5120 frames:
// 58.7 ms). PipeWire runs its whole graph at the smallest cycle any client asks for, which at
// 256 frames cost every client on the desktop (other players glitched). There the streams ask
// for a cycle of one block instead, which never costs other clients (they keep the graph at
// their own smaller size when they ask for one): 2048-frame capture fragments, and of the
// 5120-frame queue asked for pipewire-pulse keeps 3072 frames (64 ms) and asks the graph for
// 2048 frames a cycle, so the graph runs at its largest usual cycle, 2048 frames (42.7 ms).
// The queue is no longer than that because on PipeWire it comes out of the ring's margin:
// capture and playback move in the same graph cycle, so the server asks for the next cycle
// within a few ms of the block being written, and whatever it holds the ring no longer does. With
// 4608 frames held the ring was one block ahead of the server at the collision test, and one
// request that came before the write (a block handled 8 ms late, a capture cycle that PipeWire
// drops when the record stream is moved) restarted playback.
// The stream's nodes run inside pipewire-pulse, not here: when the machine stops that process
// for longer than about one cycle, the graph plays one cycle without this stream ("client too
// slow" in its log), whatever this queue holds, and reports nothing to the client. At 1024
// frames a cycle every stop of 35 ms lost a cycle; at 2048, 5 stops of 57 did, for about 85 ms
// more latency.
struct StreamSizes {
    std::uint32_t CaptureFragmentBytes;
    std::uint32_t PlaybackRequestBytes;
    std::uint32_t PlaybackQueueBytes;
};
constexpr StreamSizes PulseAudioSizes{256 * FrameBytes, 256 * FrameBytes, 5120 * FrameBytes};
constexpr StreamSizes PipeWireSizes{BlockFrames * FrameBytes, 512 * FrameBytes, 5120 * FrameBytes};

constexpr int ConnectTimeoutMs = 3000;
// Paced capture wakes when this many more frames may go (a fragment's worth, as often as a
// source on the clock delivers).
constexpr std::int32_t PacedStepFrames = 256;

// Waits, with the main loop locked, until done() or the time is up. pa_threaded_mainloop_wait
// lets the lock go and sleeps until a callback signals the loop: every callback that can make
// done() true signals it (SignalLoop), and so does a time event at the deadline.
template <typename Done> bool WaitLocked(pa_threaded_mainloop* loop, int timeoutMs, Done done) {
    struct Deadline {
        pa_threaded_mainloop* Loop;
        bool Passed = false;
    } deadline{loop};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    timeval at{};
    pa_timeval_add(pa_gettimeofday(&at), static_cast<pa_usec_t>(timeoutMs) * PA_USEC_PER_MSEC);
    pa_time_event* event = api->time_new(
        api, &at,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
            auto* d = static_cast<Deadline*>(user);
            d->Passed = true;
            pa_threaded_mainloop_signal(d->Loop, 0);
        },
        &deadline);
    while (!done() && !deadline.Passed && event != nullptr) {
        pa_threaded_mainloop_wait(loop);
    }
    if (event != nullptr) {
        api->time_free(event);
    }
    return done();
}

// Wakes a WaitLocked on this loop to look again (from a callback, on the main loop's thread).
void SignalLoop(pa_threaded_mainloop* loop) {
    pa_threaded_mainloop_signal(loop, 0);
}

bool ContextSettled(pa_context* context) {
    const pa_context_state_t s = pa_context_get_state(context);
    return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
}

// A main loop and a connected context for a short look at the server (listing, probing).
class ShortConnection {
public:
    ShortConnection() : Loop_(pa_threaded_mainloop_new()) {}
    ~ShortConnection() {
        if (Loop_ == nullptr) {
            return;
        }
        pa_threaded_mainloop_stop(Loop_);
        if (Context_ != nullptr) {
            pa_context_disconnect(Context_);
            pa_context_unref(Context_);
        }
        pa_threaded_mainloop_free(Loop_);
    }
    ShortConnection(const ShortConnection&) = delete;
    ShortConnection& operator=(const ShortConnection&) = delete;

    // Empty when connected, else why not.
    std::string Connect(int timeoutMs) {
        if (Loop_ == nullptr || pa_threaded_mainloop_start(Loop_) < 0) {
            return "the sound server's client library did not start";
        }
        pa_threaded_mainloop_lock(Loop_);
        Context_ = pa_context_new(pa_threaded_mainloop_get_api(Loop_), "Corvane");
        if (Context_ != nullptr) {
            pa_context_set_state_callback(
                Context_,
                [](pa_context*, void* loop) {
                    SignalLoop(static_cast<pa_threaded_mainloop*>(loop));
                },
                Loop_);
        }
        std::string why;
        if (Context_ == nullptr) {
            why = "the sound server's client library did not start";
        } else if (pa_context_connect(Context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            why = pa_strerror(pa_context_errno(Context_));
        } else if (!WaitLocked(Loop_, timeoutMs, [this] { return ContextSettled(Context_); })) {
            why = "the sound server did not answer";
            Silent_ = true;
        } else if (pa_context_get_state(Context_) != PA_CONTEXT_READY) {
            why = pa_strerror(pa_context_errno(Context_));
        }
        pa_threaded_mainloop_unlock(Loop_);
        return why;
    }

    pa_threaded_mainloop* Loop() const { return Loop_; }
    pa_context* Context() const { return Context_; }
    // Connect timed out: the server took the connection (or its address did not refuse it) and
    // did not answer.
    bool Silent() const { return Silent_; }

private:
    pa_threaded_mainloop* Loop_;
    pa_context* Context_ = nullptr;
    bool Silent_ = false;
};

struct DeviceList {
    std::vector<SoundDeviceInfo>* Devices = nullptr;
    pa_threaded_mainloop* Loop = nullptr;
    bool Done = false;
};

void AddSource(pa_context*, const pa_source_info* info, int eol, void* user) {
    auto* list = static_cast<DeviceList*>(user);
    if (eol != 0 || info == nullptr) {
        list->Done = true;
        SignalLoop(list->Loop);
        return;
    }
    list->Devices->push_back({info->name, info->description != nullptr ? info->description : ""});
}

void AddSink(pa_context*, const pa_sink_info* info, int eol, void* user) {
    auto* list = static_cast<DeviceList*>(user);
    if (eol != 0 || info == nullptr) {
        list->Done = true;
        SignalLoop(list->Loop);
        return;
    }
    list->Devices->push_back({info->name, info->description != nullptr ? info->description : ""});
}

} // namespace

struct PulseAudioSound::Hooks {
    static void ContextState(pa_context* context, void* self) {
        auto* sound = static_cast<PulseAudioSound*>(self);
        SignalLoop(sound->Loop_); // OpenRoot may be waiting for the context to settle
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) {
            if (sound->Wanted_ && sound->Record_ == nullptr) {
                sound->ConnectStreams();
            }
        } else if (!PA_CONTEXT_IS_GOOD(state) && sound->Wanted_) {
            sound->StreamsFailed(pa_context_errno(context), "the sound server");
        }
    }

    static void StreamState(pa_stream* stream, void* self) {
        auto* sound = static_cast<PulseAudioSound*>(self);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY && stream == sound->Record_) {
            sound->CaptureGapUs_.store(0, std::memory_order_relaxed);
            if (const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream); attr != nullptr) {
                sound->NoteCaptureGap(pa_bytes_to_usec(attr->fragsize, &SampleSpec));
            }
            // A source with a long fixed latency (a sine source, some virtual devices) delivers
            // only that often, whatever fragment was asked for.
            pa_operation* op = pa_context_get_source_info_by_index(
                pa_stream_get_context(stream), pa_stream_get_device_index(stream),
                &Hooks::SourceInfo, sound);
            if (op != nullptr) {
                pa_operation_unref(op);
            } else {
                sound->SourceKnown_ = true;
            }
        } else if (state == PA_STREAM_READY && stream == sound->Playback_) {
            if (const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream); attr != nullptr) {
                const auto frames = static_cast<std::int32_t>(attr->tlength / FrameBytes);
                // Reported, not subtracted from the play cursor (see StreamSizes).
                sound->GrantedLatencyFrames_.store(frames, std::memory_order_relaxed);
            }
        } else if (!PA_STREAM_IS_GOOD(state) && sound->Wanted_) {
            sound->StreamsFailed(pa_context_errno(pa_stream_get_context(stream)),
                                 stream == sound->Record_ ? "the capture stream"
                                                          : "the playback stream");
        }
    }

    static void SourceInfo(pa_context*, const pa_source_info* info, int eol, void* self) {
        auto* sound = static_cast<PulseAudioSound*>(self);
        if (eol == 0 && info != nullptr) {
            sound->NoteCaptureGap(std::max(info->latency, info->configured_latency));
            sound->Pacer_.SetBurst(sound->CaptureGapUs_.load(std::memory_order_relaxed) *
                                   SampleRate / 1'000'000);
        } else if (!sound->SourceKnown_) { // the end of the answer, or none
            sound->SourceKnown_ = true;
            if (sound->Record_ != nullptr &&
                pa_stream_get_state(sound->Record_) == PA_STREAM_READY) {
                Read(sound->Record_, 0, sound);
            }
        }
    }

    // Paced capture may take the next frames now.
    static void PaceTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        auto* sound = static_cast<PulseAudioSound*>(self);
        if (sound->Record_ != nullptr && pa_stream_get_state(sound->Record_) == PA_STREAM_READY) {
            Read(sound->Record_, 0, sound);
        }
    }

    // Captured frames, as they come: into the capture ring, but never over a half the UI
    // thread has not read yet. What does not fit stays at the server until the next call, so a
    // busy UI thread delays blocks rather than losing them.
    static void Read(pa_stream* stream, std::size_t /*bytes*/, void* self) {
        auto* sound = static_cast<PulseAudioSound*>(self);
        if (!sound->SourceKnown_) {
            return; // whether to pace it is not known yet: the answer calls this again
        }
        for (;;) {
            if (!sound->HaveFragment_) {
                const void* data = nullptr;
                std::size_t bytes = 0;
                if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) {
                    return;
                }
                sound->Fragment_ = data;
                sound->FragmentBytes_ = bytes;
                sound->FragmentDone_ = 0;
                sound->HaveFragment_ = true;
            }
            const auto left = static_cast<std::int32_t>(
                (sound->FragmentBytes_ - sound->FragmentDone_) / FrameBytes);
            // Say we wait before looking at the room: the UI thread releases a half, then looks
            // at this flag, so one of the two always sees the other.
            sound->ReaderWaiting_.store(true, std::memory_order_seq_cst);
            std::int32_t n =
                sound->Rings_.Capturing() ? std::min(left, sound->Rings_.CaptureRoom()) : left;
            if (n == 0 && left > 0) {
                return; // the ring is full of unread blocks: wait for the UI thread
            }
            sound->ReaderWaiting_.store(false, std::memory_order_relaxed);
            if (sound->Rings_.Capturing() && sound->Pacer_.Pacing()) {
                // The peeked fragment stays counted in the readable size until it is dropped.
                const auto held = static_cast<std::int64_t>(
                    (pa_stream_readable_size(stream) - sound->FragmentDone_) / FrameBytes);
                const std::int64_t allowed = sound->Pacer_.Allowed(
                    SoundRings::SteadyNowNs(), std::max<std::int64_t>(held, left));
                n = static_cast<std::int32_t>(std::min<std::int64_t>(n, allowed));
                if (n == 0) {
                    sound->PaceLater(std::min(left, PacedStepFrames));
                    return;
                }
                sound->Pacer_.Took(n);
            }
            // A hole (data lost at the server) is captured as silence, keeping the time line.
            const auto* base = static_cast<const std::uint8_t*>(sound->Fragment_);
            sound->Rings_.Capture(
                base != nullptr ? reinterpret_cast<const std::int16_t*>(base + sound->FragmentDone_)
                                : nullptr,
                n);
            sound->FragmentDone_ += static_cast<std::size_t>(n) * FrameBytes;
            if (sound->FragmentBytes_ - sound->FragmentDone_ <
                static_cast<std::size_t>(FrameBytes)) {
                pa_stream_drop(stream);
                sound->HaveFragment_ = false;
            }
        }
    }

    // The server asks for audio: from the playback ring.
    static void Write(pa_stream* stream, std::size_t bytes, void* self) {
        auto* sound = static_cast<PulseAudioSound*>(self);
        Give(stream, sound, bytes);
        // Connected corked, so that the first queue is full when the stream starts.
        if (!sound->PlaybackUncorked_) {
            sound->PlaybackUncorked_ = true;
            pa_operation* op = pa_stream_cork(stream, 0, nullptr, nullptr);
            if (op != nullptr) {
                pa_operation_unref(op);
            }
        }
    }

    // Up to `bytes` from the playback ring to the server, as far as the writer has written.
    // Unasked (`asked` false): handed over before the writer overwrites them.
    static void Give(pa_stream* stream, PulseAudioSound* sound, std::size_t bytes,
                     bool asked = true) {
        while (bytes >= static_cast<std::size_t>(FrameBytes)) {
            void* buffer = nullptr;
            std::size_t n = bytes;
            if (pa_stream_begin_write(stream, &buffer, &n) < 0 || buffer == nullptr) {
                return;
            }
            n = std::min(n, bytes);
            n -= n % FrameBytes;
            if (n == 0) {
                pa_stream_cancel_write(stream);
                return;
            }
            auto* out = static_cast<std::int16_t*>(buffer);
            const auto frames = static_cast<std::int32_t>(n / FrameBytes);
            const std::int64_t now = SoundRings::SteadyNowNs();
            const std::int32_t given = asked ? sound->Rings_.FetchAt(out, frames, now)
                                             : sound->Rings_.HandOver(out, frames, now);
            if (given == 0) {
                pa_stream_cancel_write(stream);
                return; // the rest comes at the server's next request
            }
            const std::size_t written = static_cast<std::size_t>(given) * FrameBytes;
            if (pa_stream_write(stream, buffer, written, nullptr, 0, PA_SEEK_RELATIVE) < 0 ||
                written < n) {
                return;
            }
            bytes -= n;
        }
    }

    // The UI thread read a half while capture waited: go on storing what the server holds.
    static void Wake(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* self) {
        auto* sound = static_cast<PulseAudioSound*>(self);
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(fd, &count, sizeof count);
        if (sound->Record_ != nullptr && pa_stream_get_state(sound->Record_) == PA_STREAM_READY) {
            Read(sound->Record_, 0, sound);
        }
    }

    // The server's answer to a look at the playback stream's timing.
    static void Timing(pa_stream* stream, int success, void* self) {
        auto* sound = static_cast<PulseAudioSound*>(self);
        if (stream != sound->Playback_) {
            return;
        }
        sound->TimingAsked_ = false;
        const pa_timing_info* timing = success != 0 ? pa_stream_get_timing_info(stream) : nullptr;
        if (timing == nullptr || timing->read_index_corrupt != 0) {
            return;
        }
        if (sound->ReadIndexKnown_ && timing->read_index > sound->ReadIndex_) {
            sound->Rings_.NoteDevicePlaying(SoundRings::SteadyNowNs());
        }
        sound->ReadIndex_ = timing->read_index;
        sound->ReadIndexKnown_ = true;
    }

    static void Xrun(pa_stream*, void* self) {
        static_cast<PulseAudioSound*>(self)->Xruns_.fetch_add(1, std::memory_order_relaxed);
    }

    static void Underflow(pa_stream*, void* self) {
        auto* sound = static_cast<PulseAudioSound*>(self);
        sound->Xruns_.fetch_add(1, std::memory_order_relaxed);
        sound->Rings_.NoteRanDry();
    }
};

PulseAudioSound::PulseAudioSound(std::string captureDevice, std::string playbackDevice)
    : CaptureDevice_(std::move(captureDevice)), PlaybackDevice_(std::move(playbackDevice)) {
    Rings_.SetFollowsClock(true);
    // A server that takes all that was written has its position on the first frame of the
    // segment written next, which the block exchange reads as a collision: a PulseAudio sink
    // input moved to another sink runs dry there and its refill took all (traced: every
    // restart at a move, 6 of 24 starts, until the frame was held back); pipewire-pulse,
    // its queue flushed at the restart that ends a healed stall, asks for 3072 frames a cycle
    // and soon took all (a restart in 5 of 24 starts with two stops each; none in 11 with the
    // frame held back, and none in 10 starts with moves).
    Rings_.SetKeepsLastFrame(true);
}

PulseAudioSound::~PulseAudioSound() {
    Shutdown();
    CloseRoot();
}

PulseAudioSound::ServerAnswer PulseAudioSound::ProbeServer(int timeoutMs) {
    ShortConnection connection;
    if (connection.Connect(timeoutMs).empty()) {
        return ServerAnswer::Answers;
    }
    return connection.Silent() ? ServerAnswer::Silent : ServerAnswer::Absent;
}

bool PulseAudioSound::ServerReachable(int timeoutMs) {
    return ProbeServer(timeoutMs) == ServerAnswer::Answers;
}

SoundStatus PulseAudioSound::ListDevices(std::vector<SoundDeviceInfo>& capture,
                                         std::vector<SoundDeviceInfo>& playback) {
    capture.clear();
    playback.clear();
    ShortConnection connection;
    if (std::string why = connection.Connect(ConnectTimeoutMs); !why.empty()) {
        return SoundStatus::Unable(SoundOp::CreateRoot, "reach the sound server", why);
    }
    pa_threaded_mainloop* loop = connection.Loop();
    DeviceList sources{&capture, loop};
    DeviceList sinks{&playback, loop};
    pa_threaded_mainloop_lock(loop);
    pa_operation* a = pa_context_get_source_info_list(connection.Context(), &AddSource, &sources);
    pa_operation* b = pa_context_get_sink_info_list(connection.Context(), &AddSink, &sinks);
    const bool done = a != nullptr && b != nullptr && WaitLocked(loop, ConnectTimeoutMs, [&] {
                          return sources.Done && sinks.Done;
                      });
    for (pa_operation* op : {a, b}) {
        if (op != nullptr) {
            pa_operation_cancel(op);
            pa_operation_unref(op);
        }
    }
    pa_threaded_mainloop_unlock(loop);
    if (!done) {
        return SoundStatus::Unable(SoundOp::CreateRoot, "list the sound devices",
                                   "the sound server did not answer");
    }
    return {};
}

SoundStatus PulseAudioSound::OpenRoot() {
    Loop_ = pa_threaded_mainloop_new();
    if (Loop_ == nullptr || pa_threaded_mainloop_start(Loop_) < 0) {
        CloseRoot();
        return SoundStatus::Unable(SoundOp::CreateRoot, "create the sound system",
                                   "the sound server's client library did not start");
    }
    pa_threaded_mainloop_lock(Loop_);
    WakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (WakeFd_ >= 0) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(Loop_);
        WakeEvent_ = api->io_new(api, WakeFd_, PA_IO_EVENT_INPUT, &Hooks::Wake, this);
    }
    NewContext();
    const bool settled = Context_ != nullptr && WaitLocked(Loop_, ConnectTimeoutMs, [this] {
                             return ContextSettled(Context_);
                         });
    const bool ready = settled && pa_context_get_state(Context_) == PA_CONTEXT_READY;
    const int error = Context_ != nullptr ? pa_context_errno(Context_) : PA_ERR_INTERNAL;
    if (ready) {
        struct Answer {
            pa_threaded_mainloop* Loop;
            bool Done = false;
            bool PipeWire = false;
        } answer{Loop_};
        pa_operation* op = pa_context_get_server_info(
            Context_,
            [](pa_context*, const pa_server_info* info, void* user) {
                auto* a = static_cast<Answer*>(user);
                a->PipeWire =
                    info != nullptr && info->server_name != nullptr &&
                    std::string_view(info->server_name).find("PipeWire") != std::string_view::npos;
                a->Done = true;
                SignalLoop(a->Loop);
            },
            &answer);
        if (op != nullptr) {
            WaitLocked(Loop_, ConnectTimeoutMs, [&] { return answer.Done; });
            pa_operation_cancel(op);
            pa_operation_unref(op);
        }
        OnPipeWire_ = answer.PipeWire;
    }
    pa_threaded_mainloop_unlock(Loop_);
    if (!ready) {
        CloseRoot();
        return SoundStatus::Unable(SoundOp::CreateRoot, "create the sound system",
                                   settled ? pa_strerror(error)
                                           : "the sound server did not answer");
    }
    return {};
}

void PulseAudioSound::CloseRoot() {
    if (Loop_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(Loop_);
    Wanted_ = false;
    DropStreams();
    DropContext();
    if (WakeEvent_ != nullptr) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(Loop_);
        api->io_free(static_cast<pa_io_event*>(WakeEvent_));
        WakeEvent_ = nullptr;
    }
    pa_threaded_mainloop_unlock(Loop_);
    pa_threaded_mainloop_stop(Loop_);
    pa_threaded_mainloop_free(Loop_);
    Loop_ = nullptr;
    if (WakeFd_ >= 0) {
        ::close(WakeFd_);
        WakeFd_ = -1;
    }
}

void PulseAudioSound::NewContext() {
    Context_ = pa_context_new(pa_threaded_mainloop_get_api(Loop_), "Corvane");
    if (Context_ == nullptr) {
        return;
    }
    pa_context_set_state_callback(Context_, &Hooks::ContextState, this);
    // A failed connect leaves the context FAILED, which the state callback reports.
    pa_context_connect(Context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
}

void PulseAudioSound::DropContext() {
    if (Context_ != nullptr) {
        pa_context_set_state_callback(Context_, nullptr, nullptr);
        pa_context_disconnect(Context_);
        pa_context_unref(Context_);
        Context_ = nullptr;
    }
}

void PulseAudioSound::ConnectStreams() {
    PlaybackUncorked_ = false;
    Pacer_.Start();
    SourceKnown_ = false;
    Record_ = pa_stream_new(Context_, "I/Q input", &SampleSpec, nullptr);
    Playback_ = pa_stream_new(Context_, "Receiver audio", &SampleSpec, nullptr);
    if (Record_ == nullptr || Playback_ == nullptr) {
        StreamsFailed(pa_context_errno(Context_), "the sound streams");
        return;
    }
    for (pa_stream* s : {Record_, Playback_}) {
        pa_stream_set_state_callback(s, &Hooks::StreamState, this);
    }
    pa_stream_set_read_callback(Record_, &Hooks::Read, this);
    pa_stream_set_overflow_callback(Record_, &Hooks::Xrun, this);
    pa_stream_set_write_callback(Playback_, &Hooks::Write, this);
    pa_stream_set_underflow_callback(Playback_, &Hooks::Underflow, this);

    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY);
    pa_buffer_attr capture{};
    capture.maxlength = static_cast<std::uint32_t>(-1);
    const StreamSizes sizes = OnPipeWire_ ? PipeWireSizes : PulseAudioSizes;
    capture.fragsize = sizes.CaptureFragmentBytes;
    capture.tlength = capture.prebuf = capture.minreq = static_cast<std::uint32_t>(-1);
    pa_buffer_attr playback{};
    playback.maxlength = static_cast<std::uint32_t>(-1);
    playback.tlength = sizes.PlaybackQueueBytes;
    playback.minreq = sizes.PlaybackRequestBytes;
    // No prebuffering after an underrun: the stream plays on through it like a sound card, the
    // late frames are dropped and the fetch position keeps time. With the default the server
    // pauses until the queue has refilled, and every underrun put the player further behind the
    // capture clock until the writer overtook it (on PipeWire once by a whole lap of the ring,
    // which replayed a block four blocks late).
    playback.prebuf = 0;
    playback.fragsize = static_cast<std::uint32_t>(-1);
    const char* source = CaptureDevice_.empty() ? nullptr : CaptureDevice_.c_str();
    const char* sink = PlaybackDevice_.empty() ? nullptr : PlaybackDevice_.c_str();
    if (pa_stream_connect_record(Record_, source, &capture, flags) < 0 ||
        pa_stream_connect_playback(Playback_, sink, &playback,
                                   static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED),
                                   nullptr, nullptr) < 0) {
        StreamsFailed(pa_context_errno(Context_), "the sound streams");
    }
}

// Wakes the record side when `frames` more may be stored.
void PulseAudioSound::PaceLater(std::int32_t frames) {
    const pa_usec_t at =
        pa_rtclock_now() + static_cast<pa_usec_t>(Pacer_.WaitNs(frames) / 1000 + 1);
    if (PaceEvent_ == nullptr) {
        PaceEvent_ = pa_context_rttime_new(Context_, at, &Hooks::PaceTimer, this);
    } else {
        pa_context_rttime_restart(Context_, static_cast<pa_time_event*>(PaceEvent_), at);
    }
}

void PulseAudioSound::DropStreams() {
    HaveFragment_ = false;
    if (PaceEvent_ != nullptr) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(Loop_);
        api->time_free(static_cast<pa_time_event*>(PaceEvent_));
        PaceEvent_ = nullptr;
    }
    PlaybackUncorked_ = false;
    TimingAsked_ = false; // a dropped stream's look is never answered
    ReadIndexKnown_ = false;
    for (pa_stream** s : {&Record_, &Playback_}) {
        if (*s == nullptr) {
            continue;
        }
        pa_stream_set_state_callback(*s, nullptr, nullptr);
        pa_stream_set_read_callback(*s, nullptr, nullptr);
        pa_stream_set_write_callback(*s, nullptr, nullptr);
        pa_stream_set_overflow_callback(*s, nullptr, nullptr);
        pa_stream_set_underflow_callback(*s, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(*s))) {
            pa_stream_disconnect(*s); // only a request to the server: never waits
        }
        pa_stream_unref(*s);
        *s = nullptr;
    }
}

void PulseAudioSound::StreamsFailed(int error, const char* where) {
    FailureError_.store(error, std::memory_order_relaxed);
    FailureWhere_.store(where, std::memory_order_relaxed);
    Wanted_ = false; // one report per run; the window stops the device next
    SignalStreamFailure();
}

void PulseAudioSound::NoteCaptureGap(std::uint64_t us) {
    const auto value = static_cast<std::int64_t>(std::min<std::uint64_t>(us, 60'000'000));
    if (value > CaptureGapUs_.load(std::memory_order_relaxed)) {
        CaptureGapUs_.store(value, std::memory_order_relaxed);
    }
}

void PulseAudioSound::CaptureReleased() {
    if (WakeFd_ >= 0 && ReaderWaiting_.exchange(false, std::memory_order_seq_cst)) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(WakeFd_, &one, sizeof one);
    }
}

// What the server has not taken yet of the segment the writer writes next goes to it first
// (see SoundRings::UntakenAtRisk): the server queues more than it asked for for a moment.
// A PulseAudio sink that rewound holds enough and does not ask for a while; PipeWire's graph
// now and then leaves the stream out for a cycle or two (the stream moved, another program's
// stream joining, a busy machine) and then asks for the missed cycles at once. A stream that
// does not ask has its server's read position looked at, so that one that plays from what it
// holds goes on being fed and a stopped one is not.
void PulseAudioSound::BeforePlayPositions() {
    const std::int64_t now = SoundRings::SteadyNowNs();
    Rings_.KeepLead(now);
    // A look without the lock first (the ring's counts are atomic): nearly every block has
    // nothing at risk and a server that asks, and the main loop's lock is then not taken.
    const bool quiet = Rings_.Playing() && Rings_.DeviceQuietFor(now, WatchServerAfterNs);
    if (Loop_ == nullptr || (!quiet && Rings_.UntakenAtRisk(now) == 0)) {
        return;
    }
    pa_threaded_mainloop_lock(Loop_);
    if (Playback_ != nullptr && pa_stream_get_state(Playback_) == PA_STREAM_READY) {
        if (quiet && !TimingAsked_) {
            if (pa_operation* op = pa_stream_update_timing_info(Playback_, &Hooks::Timing, this);
                op != nullptr) {
                TimingAsked_ = true;
                pa_operation_unref(op);
            }
        }
        const std::int32_t untaken = Rings_.UntakenAtRisk(SoundRings::SteadyNowNs());
        if (untaken > 0) {
            Hooks::Give(Playback_, this, static_cast<std::size_t>(untaken) * FrameBytes, false);
        }
    }
    pa_threaded_mainloop_unlock(Loop_);
}

// While the input was missing the player gave the server silence for whatever it asked, and
// PipeWire, stopped and continued, asks for the whole stop at once: that silence sat in its
// queue ahead of the blocks written after the stall, in half the starts so far ahead that
// nothing was heard again. The restart after the stall begins with an empty queue instead.
// PulseAudio renders the stop's time at once and was heard again every time; a flush there
// only cost a restart or two after each stall, so it is left alone.
void PulseAudioSound::PlaybackResumed() {
    if (Loop_ == nullptr || !OnPipeWire_) {
        return;
    }
    pa_threaded_mainloop_lock(Loop_);
    if (Playback_ != nullptr && pa_stream_get_state(Playback_) == PA_STREAM_READY) {
        if (pa_operation* op = pa_stream_flush(Playback_, nullptr, nullptr); op != nullptr) {
            pa_operation_unref(op);
        }
    }
    pa_threaded_mainloop_unlock(Loop_);
}

SoundStatus PulseAudioSound::RunDevice(bool /*afterFailure*/) {
    if (Loop_ == nullptr) {
        return SoundStatus::Unable(SoundOp::StartCapture, "there is no sound system");
    }
    pa_threaded_mainloop_lock(Loop_);
    DropStreams();
    Wanted_ = true;
    // A context whose server went away (stopped, restarted) is replaced by a new connection;
    // the streams follow once it is ready.
    if (Context_ == nullptr || !PA_CONTEXT_IS_GOOD(pa_context_get_state(Context_))) {
        DropContext();
        NewContext();
    }
    if (Context_ == nullptr) {
        StreamsFailed(PA_ERR_INTERNAL, "the sound server");
    } else if (pa_context_get_state(Context_) == PA_CONTEXT_READY) {
        ConnectStreams();
    }
    pa_threaded_mainloop_unlock(Loop_);
    return {};
}

SoundStatus PulseAudioSound::HaltDevice() {
    if (Loop_ != nullptr) {
        pa_threaded_mainloop_lock(Loop_);
        Wanted_ = false;
        DropStreams();
        pa_threaded_mainloop_unlock(Loop_);
    }
    return {};
}

std::string PulseAudioSound::StreamFailureText() const {
    const int error = FailureError_.load(std::memory_order_relaxed);
    return std::string("The sound stream stopped: ") +
           FailureWhere_.load(std::memory_order_relaxed) + " failed (" + pa_strerror(error) +
           "). The sound server may have stopped or the device was removed.";
}

std::string PulseAudioSound::DeviceNames() const {
    return "in: " + (CaptureDevice_.empty() ? std::string("default source") : CaptureDevice_) +
           ", out: " + (PlaybackDevice_.empty() ? std::string("default sink") : PlaybackDevice_) +
           (OnPipeWire_ ? " (PipeWire's PulseAudio server)" : " (PulseAudio server)");
}

double PulseAudioSound::OutputLatencySeconds() const {
    return static_cast<double>(GrantedLatencyFrames_.load(std::memory_order_relaxed)) / SampleRate;
}

} // namespace corvane
