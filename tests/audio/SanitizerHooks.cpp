// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Sanitizer settings for the sound-server test only. ALSA's plug-ins and PulseAudio's client
// libraries are not built with the sanitizers: PulseAudio's threads synchronise in ways
// ThreadSanitizer cannot see, and ALSA's plug-ins keep per-process state until exit. The
// receiver's own code stays fully checked.

extern "C" {

// The slow unwinder sees through the uninstrumented plug-ins to the suppression below.
const char* __lsan_default_options() {
    return "fast_unwind_on_malloc=0";
}

const char* __lsan_default_suppressions() {
    return "leak:snd_dlopen\n";
}

const char* __tsan_default_suppressions() {
    return "race:libpulse.so\n"
           "race:libpulsecommon\n"
           "race:libasound_module_pcm_pulse.so\n"
           "mutex:libpulsecommon\n";
}

} // extern "C"
