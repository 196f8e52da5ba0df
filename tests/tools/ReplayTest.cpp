// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane-replay end to end: the program itself on recordings made here.
#include "IqFiles.h"
#include "ToolsTestSupport.h"
#include "WindowHarness.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QThread>

#include <sndfile.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <numbers>
#include <sstream>
#include <string_view>

namespace corvane::test {
namespace {

constexpr std::int32_t Block = 2048;
constexpr std::size_t BlockSamples = 2 * Block;

ProgramRun Replay(QStringList args) {
    args.prepend(QStringLiteral("--quiet"));
    return RunProgram(CORVANE_REPLAY, args);
}

QString Q(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

void Write(const std::filesystem::path& path, std::span<const std::int16_t> samples) {
    ASSERT_EQ(tools::WriteIqWav(path, samples), "");
}

std::vector<std::int16_t> ReadOutput(const std::filesystem::path& path) {
    std::int32_t rate = 0;
    std::vector<std::int16_t> samples = tools::ReadAllFrames(path, rate);
    EXPECT_EQ(rate, 48000);
    return samples;
}

// Any libsndfile format, for the inputs a 16-bit stereo WAV writer cannot make.
void WriteFile(const std::filesystem::path& path, int format, int channels, int rate,
               const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(file);
}

TEST(ReplayInput, EveryUnusableRecordingIsNamedAndNothingIsLeftBehind) {
    ScratchDir dir;
    std::ofstream(dir / "notes.wav") << "not a recording\n";
    WriteFile(dir / "mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000,
              std::vector<float>(48000, 0.1f));
    WriteFile(dir / "slow.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100,
              std::vector<float>(2 * 44100, 0.1f));
    WriteFile(dir / "empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, {});
    Write(dir / "cut.wav", Tones({{1000, 3000}}, 48000));
    std::filesystem::resize_file(dir / "cut.wav", 100000); // a copy broken off part-way
    std::filesystem::create_directory(dir / "folder.wav");
    // The other containers libsndfile reads, each broken off half-way: each says so in its own
    // words, and a compressed stream loses its length altogether.
    std::vector<float> second(2 * 48000);
    for (std::size_t j = 0; j < second.size(); ++j) {
        second[j] = 0.25f * static_cast<float>(std::sin(0.05 * static_cast<double>(j * j % 7919)));
    }
    const std::vector<std::pair<std::string, int>> containers{
        {"cut.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16},
        {"cut.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"cut.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16},
        {"cut.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    };
    for (const auto& [name, format] : containers) {
        WriteFile(dir / name, format, 2, 48000, second);
        std::filesystem::resize_file(dir / name, std::filesystem::file_size(dir / name) / 2);
    }
    // A pipe nobody writes: opening it would wait for ever.
    ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    const std::vector<std::string> before = dir.Names();

    const std::vector<std::pair<std::string, std::string>> cases{
        {"missing.wav", "no such file"},  {"notes.wav", "not a sound file"},
        {"mono.wav", "1 channel"},        {"slow.wav", "44100 Hz"},
        {"empty.wav", "holds no audio"},  {"cut.wav", "truncated"},
        {"folder.wav", "is a directory"}, {"cut.rf64", "truncated"},
        {"cut.aiff", "truncated"},        {"cut.w64", "truncated"},
        {"cut.ogg", "cut short"},         {"pipe.wav", "not a regular file"},
    };
    for (const auto& [name, what] : cases) {
        SCOPED_TRACE(name);
        const ProgramRun run =
            Replay({Q(dir / name), Q(dir / "out.wav"), QStringLiteral("--stats"),
                    Q(dir / "s.jsonl"), QStringLiteral("--screenshot"), Q(dir / "s.png")});
        EXPECT_EQ(run.Status, 3);
        EXPECT_NE(run.Err.find((dir / name).string()), std::string::npos) << run.Err;
        EXPECT_NE(run.Err.find(what), std::string::npos) << run.Err;
        EXPECT_EQ(dir.Names(), before);
    }
}

// What corvane-replay prints for --help, and after the message of every usage error.
constexpr std::string_view Usage =
    "usage: corvane-replay [options] INPUT OUTPUT\n"
    "  INPUT    I/Q recording: 2 channels (I left, Q right), 48000 Hz, any format\n"
    "           libsndfile reads (float samples are clipped to 16 bits)\n"
    "  OUTPUT   the receiver's audio: WAV, 48000 Hz, 16-bit, 2 equal channels\n"
    "options (set after start-up, in this order, as the operator would):\n"
    "  --window none|bh|hann      analysis window, default bh\n"
    "  --video 1|4|8|16           video filter, default 4\n"
    "  --mode cw100|cw500|usb|lsb mode, default cw500\n"
    "  --agc fast|slow|off        AGC, default fast\n"
    "  --gain N                   GAIN slider 40..100, default 70\n"
    "  --offset HZ                tuning offset -23800..23800 Hz\n"
    "  --test none|iq|i-q|i       test selection, default none\n"
    "  --plus20                   tick \"+ 20dB\"\n"
    "  --swap-iq                  tick \"Swap I/Q\" (I and Q wired the other way)\n"
    "  --iq-correct               tick \"I/Q corr.\" (blind I/Q balance and DC correction)\n"
    "  --lo-frequency HZ          the front end's frequency for the readout,\n"
    "                             24000..99976000, default 7056000\n"
    "  --screenshot FILE.png      the whole window after the last block\n"
    "  --stats FILE.jsonl         one JSON line per block\n"
    "  --waterfall FILE.png       the recording's waterfall, one row per block\n"
    "  --quiet                    no progress bar\n"
    "  --help                     this text\n"
    "exit status: 0 done, 1 output not written, 2 usage error, 3 input unusable,\n"
    "             130 stopped by a signal (Ctrl-C, a kill, a closed terminal)\n";

// Every command line that ends before the first block: its exit status, its exact words (the
// first thing wrong from the left, the usage after a usage error; the usage alone for --help
// when nothing wrong comes before it), and the folder left as it was, whichever output was
// refused.
TEST(ReplayInput, EveryCommandLineEndsWithItsStatusAndMessageAndTouchesNothing) {
    ScratchDir dir;
    Write(dir / "in.wav", Tones({{1000, 3000}}, 4096));
    std::filesystem::create_directory(dir / "d");
    const std::vector<std::string> before = dir.Names();
    const QString in = Q(dir / "in.wav");
    const QString out = Q(dir / "out.wav");
    const auto at = [&dir](const char* name) { return (dir / name).string(); };
    const auto q = [&dir](const char* name) { return Q(dir / name); };
    const auto s = [](const char* text) { return QString::fromUtf8(text); };
    const std::string gain = "--gain must be a whole number from 40 to 100, not ";
    const std::string offset = "--offset must be a whole number of Hz from -23800 to 23800, not ";
    const std::string lo =
        "--lo-frequency must be a whole number of Hz from 24000 to 99976000, not ";
    const std::string help; // the usage on standard output, status 0
    struct Case {
        QStringList Args;
        int Status;
        std::string Message; // after "corvane-replay: "
    };
    const std::vector<Case> cases{
        // Files
        {{}, 2, "INPUT and OUTPUT are needed"},
        {{in}, 2, "INPUT and OUTPUT are needed"},
        {{in, out, q("third.wav")}, 2, "too many file names"},
        {{s(""), in, out}, 2, "too many file names"},
        {{s("--plus20"), s("1"), in, out}, 2, "too many file names"},
        {{in, in}, 2, at("in.wav") + " is the input recording; it would be overwritten"},
        {{in, q("./in.wav")},
         2,
         at("./in.wav") + " is the input recording; it would be overwritten"},
        {{s("-"), s("-")}, 2, "- is the input recording; it would be overwritten"},
        {{s("--screenshot"), in, in, out},
         2,
         at("in.wav") + " is the input recording; it would be overwritten"},
        {{s("--stats=") + in, in, out},
         2,
         at("in.wav") + " is the input recording; it would be overwritten"},
        {{in, out, s("--stats"), out}, 2, at("out.wav") + " is named for two outputs"},
        {{s("--screenshot=") + q("./out.wav"), in, out},
         2,
         at("out.wav") + " is named for two outputs"},
        {{s("--stats=") + q("a.jsonl"), s("--screenshot=") + q("a.jsonl"), in, out},
         2,
         at("a.jsonl") + " is named for two outputs"},
        {{s("--waterfall"), in, in, out},
         2,
         at("in.wav") + " is the input recording; it would be overwritten"},
        {{s("--waterfall=") + q("./out.wav"), in, out},
         2,
         at("out.wav") + " is named for two outputs"},
        {{s("--screenshot"), q("p.png"), s("--waterfall"), q("p.png"), in, out},
         2,
         at("p.png") + " is named for two outputs"},
        {{s("--"), s("--gain"), in}, 3, "--gain: no such file"},
        {{q("é.wav"), out}, 3, at("é.wav") + ": no such file"},
        // Options and their values, as "--name value" and "--name=value"
        {{s("--volume"), s("3"), in, out}, 2, "unknown option --volume"},
        {{s("--version")}, 2, "unknown option --version"},
        {{s("---x"), in, out}, 2, "unknown option ---x"},
        {{s("-x"), in, out}, 2, "unknown option -x"},
        {{s("-gain"), s("50"), in, out}, 2, "unknown option -gain"},
        {{s("-hx")}, 2, "unknown option -hx"},
        {{s("-h=1")}, 2, "unknown option -h=1"},
        {{s("--gain"), s("30"), in, out}, 2, gain + "\"30\""},
        {{s("--gain=30"), in, out}, 2, gain + "\"30\""},
        {{s("--gain"), s("7O"), in, out}, 2, gain + "\"7O\""},
        {{s("--gain"), s(" 50"), in, out}, 2, gain + "\" 50\""},
        {{s("--gain"), s("+50"), in, out}, 2, gain + "\"+50\""},
        {{s("--gain"), s("-50"), in, out}, 2, gain + "\"-50\""},
        {{s("--video"), s("3"), in, out}, 2, "--video must be 1, 4, 8 or 16, not \"3\""},
        {{s("--video="), in, out}, 2, "--video must be 1, 4, 8 or 16, not \"\""},
        {{s("--mode"), s("am"), in, out}, 2, "--mode: unknown choice \"am\""},
        {{s("--mode"), s("CW500"), in, out}, 2, "--mode: unknown choice \"CW500\""},
        {{s("--mode=usb=x"), in, out}, 2, "--mode: unknown choice \"usb=x\""},
        {{s("--window=tri"), in, out}, 2, "--window: unknown choice \"tri\""},
        {{s("--agc=medium"), in, out}, 2, "--agc: unknown choice \"medium\""},
        {{s("--test=q"), in, out}, 2, "--test: unknown choice \"q\""},
        {{s("--offset"), s("30000"), in, out}, 2, offset + "\"30000\""},
        {{s("--offset=-23801"), in, out}, 2, offset + "\"-23801\""},
        {{s("--offset"), s("--"), in, out}, 2, offset + "\"--\""},
        {{s("--lo-frequency"), s("7.056"), in, out}, 2, lo + "\"7.056\""},
        {{s("--lo-frequency"), s("99976001"), in, out}, 2, lo + "\"99976001\""},
        {{s("--lo-frequency=abc"), in, out}, 2, lo + "\"abc\""},
        {{s("--quiet=yes"), in, out}, 2, "--quiet takes no value"},
        {{s("--plus20=1"), in, out}, 2, "--plus20 takes no value"},
        {{s("--swap-iq=no"), in, out}, 2, "--swap-iq takes no value"},
        {{s("--iq-correct=1"), in, out}, 2, "--iq-correct takes no value"},
        {{in, out, s("--stats")}, 2, "--stats needs a value"},
        {{s("--gain")}, 2, "--gain needs a value"},
        {{s("--window")}, 2, "--window needs a value"},
        {{s("--stats="), in, out}, 2, "--stats needs a file name"},
        {{s("--screenshot"), s(""), in, out}, 2, "--screenshot needs a file name"},
        {{s("--waterfall="), in, out}, 2, "--waterfall needs a file name"},
        {{in, out, s("--waterfall")}, 2, "--waterfall needs a value"},
        {{s("--waterfall=x.png"), s("--gain"), s("7")}, 2, gain + "\"7\""},
        // Values at their limits, repeated options and ticks: only the files are missing
        {{s("--offset"), s("-23800"), in}, 2, "INPUT and OUTPUT are needed"},
        {{s("--video=16"), s("--gain=100"), s("--offset=23800"), s("--lo-frequency=24000"), in},
         2,
         "INPUT and OUTPUT are needed"},
        {{s("--quiet")}, 2, "INPUT and OUTPUT are needed"},
        {{s("--quiet"), s("--quiet"), in}, 2, "INPUT and OUTPUT are needed"},
        {{s("--test"), s("none"), s("--test"), s("iq"), s("--test=i"), in},
         2,
         "INPUT and OUTPUT are needed"},
        {{s("--window"), s("hann"), s("--window"), s("none"), s("--mode"), s("lsb"), s("--agc"),
          s("slow"), s("--test"), s("i-q"), s("--plus20"), s("--swap-iq"), s("--iq-correct"), in},
         2,
         "INPUT and OUTPUT are needed"},
        {{s("--waterfall"), q("w.png"), s("--stats=") + q("s.jsonl"), in},
         2,
         "INPUT and OUTPUT are needed"},
        {{s("--stats"), s("--help"), in}, 2, "INPUT and OUTPUT are needed"}, // a file name
        {{s("--=x"), s("--gain")}, 2, "INPUT and OUTPUT are needed"},        // "--" ends options
        // The first thing wrong from the left is the one told, and --help only before it
        {{s("--gain"), s("50"), s("--gain"), s("30"), in, out}, 2, gain + "\"30\""},
        {{s("--gain"), s("30"), s("--volume"), s("3"), in, out}, 2, gain + "\"30\""},
        {{s("--volume"), s("3"), s("--gain"), s("30"), in, out}, 2, "unknown option --volume"},
        {{s("--gain"), s("30"), s("--gain")}, 2, gain + "\"30\""},
        {{s("--bogus"), s("--gain")}, 2, "unknown option --bogus"},
        {{s("--bogus"), s("--help")}, 2, "unknown option --bogus"},
        {{s("--help")}, 0, help},
        {{s("-h")}, 0, help},
        {{s("--help=x")}, 0, help},
        {{s("--help"), s("--bogus")}, 0, help},
        {{s("-h"), s("--bogus")}, 0, help},
        {{s("--gain=50"), s("--help")}, 0, help},
        // Outputs that cannot be written: refused before the first block, none left behind
        {{in, q("no-such-folder/out.wav")},
         1,
         at("no-such-folder/out.wav") + ": cannot be written: No such file or directory"},
        {{s("--stats"), q("s.jsonl"), s("--screenshot"), q("p.png"), in, q("d")},
         1,
         at("d") + ": cannot be written: it is a directory"},
        {{s("--screenshot"), q("p.png"), s("--stats"), q("d"), in, out},
         1,
         at("d") + ": cannot be written: it is a directory"},
        {{s("--stats"), q("s.jsonl"), s("--screenshot"), q("no-such-folder/p.png"), in, out},
         1,
         at("no-such-folder/p.png") + ": cannot be written: No such file or directory"},
        {{s("--waterfall"), q("w.png"), s("--stats"), q("s.jsonl"), in, q("no-such-folder/o.wav")},
         1,
         at("no-such-folder/o.wav") + ": cannot be written: No such file or directory"},
        {{s("--waterfall"), q("d"), s("--stats"), q("s.jsonl"), in, out},
         1,
         at("d") + ": cannot be written: it is a directory"},
        {{s("--stats"), q("s.jsonl"), s("--waterfall"), q("no-such-folder/w.png"), in, out},
         1,
         at("no-such-folder/w.png") + ": cannot be written: No such file or directory"},
    };
    // Each as given, and after --quiet, which changes nothing here.
    for (const Case& c : cases) {
        for (const QStringList& args : {c.Args, QStringList{s("--quiet")} + c.Args}) {
            SCOPED_TRACE((s("'") + args.join(s("' '")) + s("'")).toStdString());
            const ProgramRun run = RunProgram(CORVANE_REPLAY, args);
            EXPECT_EQ(run.Status, c.Status);
            if (c.Status == 0) {
                EXPECT_EQ(run.Out, Usage);
                EXPECT_EQ(run.Err, "");
            } else {
                EXPECT_EQ(run.Out, "");
                EXPECT_EQ(run.Err, "corvane-replay: " + c.Message + "\n" +
                                       std::string(c.Status == 2 ? Usage : std::string_view()));
            }
            EXPECT_EQ(dir.Names(), before);
        }
    }
}

// "-" is a file like any other (libsndfile would read standard input), and a folder the user
// may not search is not reported as a missing file.
TEST(ReplayInput, NamesMeanFilesAndAccessFailuresSayWhy) {
    ScratchDir dir;
    Write(dir / "-", Tones({{1500, 3000}}, 12 * Block));
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path);
    const ProgramRun dash =
        Replay({QStringLiteral("--"), QStringLiteral("-"), QStringLiteral("a.wav")});
    const ProgramRun plain = Replay({QStringLiteral("-"), QStringLiteral("b.wav")});
    std::filesystem::current_path(home);
    EXPECT_EQ(dash.Status, 0) << dash.Err;
    EXPECT_EQ(plain.Status, 0) << plain.Err;
    EXPECT_EQ(ReadOutput(dir / "a.wav").size(), 12 * BlockSamples);

    // Root searches every folder, so the program runs as nobody for this part.
    std::filesystem::create_directory(dir / "locked");
    Write(dir / "locked" / "in.wav", Tones({{1500, 3000}}, 4096));
    std::filesystem::permissions(dir.Path, std::filesystem::perms(0755));
    std::filesystem::permissions(dir / "locked", std::filesystem::perms(0700));
    const QString replay = QStringLiteral(CORVANE_REPLAY);
    QStringList args{QStringLiteral("--quiet"), Q(dir / "locked" / "in.wav"), Q(dir / "out.wav")};
    if (::geteuid() == 0) {
        args = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                           QStringLiteral("--clear-groups"), replay} +
               args;
    }
    const ProgramRun locked = RunProgram(::geteuid() == 0 ? "setpriv" : CORVANE_REPLAY, args);
    EXPECT_EQ(locked.Status, 3) << locked.Err;
    EXPECT_NE(locked.Err.find("Permission denied"), std::string::npos) << locked.Err;
    EXPECT_EQ(locked.Err.find("no such file"), std::string::npos) << locked.Err;
}

// The same file under another name (a bind mount of its folder) is still the input.
TEST(ReplayInput, OutputThatIsTheInputUnderAnotherMountIsRefused) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "real");
    std::filesystem::create_directory(dir / "alias");
    Write(dir / "real" / "in.wav", Tones({{1500, 3000}}, 4096));
    const std::string real = (dir / "real").string();
    const std::string alias = (dir / "alias").string();
    if (std::system(("mount --bind '" + real + "' '" + alias + "' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "bind mounts are not allowed here";
    }
    const ProgramRun run = Replay({Q(dir / "real" / "in.wav"), Q(dir / "alias" / "in.wav")});
    const ProgramRun twice = Replay({QStringLiteral("--stats"), Q(dir / "real" / "s.jsonl"),
                                     Q(dir / "real" / "in.wav"), Q(dir / "alias" / "s.jsonl")});
    EXPECT_EQ(std::system(("umount '" + alias + "'").c_str()), 0);
    EXPECT_EQ(run.Status, 2) << run.Err;
    EXPECT_NE(run.Err.find("is the input recording"), std::string::npos) << run.Err;
    EXPECT_EQ(twice.Status, 2) << twice.Err;
    EXPECT_NE(twice.Err.find("named for two outputs"), std::string::npos) << twice.Err;
    EXPECT_EQ(ReadOutput(dir / "real" / "in.wav").size(), 2 * 4096u);
}

TEST(ReplayOutput, BlockForBlockWithWarmupSilenceAndAPaddedLastBlock) {
    ScratchDir dir;
    constexpr std::int32_t Frames = 20 * Block + Block / 2; // ends half-way through block 20
    Write(dir / "in.wav", Tones({{1500, 3000}}, Frames));
    const ProgramRun run = Replay({QStringLiteral("--offset"), QStringLiteral("1500"),
                                   Q(dir / "in.wav"), Q(dir / "out.wav")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("07.057.50"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("21 blocks"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("real time"), std::string::npos) << run.Out;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"in.wav", "out.wav"}));

    const std::vector<std::int16_t> out = ReadOutput(dir / "out.wav");
    ASSERT_EQ(out.size(), 21 * BlockSamples);
    for (std::size_t j = 0; j < out.size(); j += 2) {
        ASSERT_EQ(out[j], out[j + 1]) << "frame " << j / 2;
    }
    const std::span<const std::int16_t> all(out);
    EXPECT_EQ(Rms(all.first(10 * BlockSamples)), 0.0);
    for (std::size_t k = 16; k < 21; ++k) { // past the filters' delay
        EXPECT_GT(Rms(all.subspan(k * BlockSamples, BlockSamples)), 1000.0) << "block " << k;
    }
}

TEST(ReplayOutput, FloatRecordingSoundsLikeItsSixteenBitCopy) {
    ScratchDir dir;
    std::vector<std::int16_t> samples = Tones({{-2500, 2000}, {9000, 900}}, 30 * Block);
    samples[4000] = 32767; // full scale, clipped from 1.5 below
    std::vector<float> floats(samples.begin(), samples.end());
    for (float& v : floats) {
        v /= 32768.0f;
    }
    floats[4000] = 1.5f;
    // Values no card delivers: silence for a NaN, full scale for infinities.
    samples[5000] = 0;
    floats[5000] = std::numeric_limits<float>::quiet_NaN();
    samples[5001] = 32767;
    floats[5001] = std::numeric_limits<float>::infinity();
    samples[5002] = -32768;
    floats[5002] = -std::numeric_limits<float>::infinity();
    Write(dir / "s16.wav", samples);
    WriteFile(dir / "float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, floats);
    for (const char* name : {"s16", "float"}) {
        const ProgramRun run =
            Replay({QStringLiteral("--mode"), QStringLiteral("usb"), QStringLiteral("--offset"),
                    QStringLiteral("-3000"), Q(dir / (std::string(name) + ".wav")),
                    Q(dir / (std::string(name) + "-out.wav"))});
        ASSERT_EQ(run.Status, 0) << run.Err;
    }
    const std::vector<std::int16_t> a = ReadOutput(dir / "s16-out.wav");
    EXPECT_GT(Rms(a), 100.0);
    EXPECT_EQ(a, ReadOutput(dir / "float-out.wav"));
}

// --- Reception -------------------------------------------------------------------------------

std::vector<std::int16_t> Receive(const std::vector<std::int16_t>& recording, QStringList args) {
    ScratchDir dir;
    Write(dir / "in.wav", recording);
    args << Q(dir / "in.wav") << Q(dir / "out.wav");
    const ProgramRun run = Replay(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    std::vector<std::int16_t> out = ReadOutput(dir / "out.wav");
    // The settled part: past the warm-up and the filters' and AGC's start.
    return out.size() > 30 * BlockSamples
               ? std::vector<std::int16_t>(out.begin() + 30 * BlockSamples, out.end())
               : std::vector<std::int16_t>{};
}

constexpr double CwPitchHz = 825.0; // the middle of both CW pass bands

TEST(ReplayReception, CwCarrierComesOutAtThePitchOnBothSidesAndBeyondFifteenKilohertz) {
    for (const int offset : {1500, -3000, 16000, -17200}) {
        SCOPED_TRACE(offset);
        for (const char* mode : {"cw500", "cw100"}) {
            SCOPED_TRACE(mode);
            const auto out = Receive(Tones({{offset, 2000}, {offset + 3000, 2000}}, 60 * Block),
                                     {QStringLiteral("--mode"), QString::fromLatin1(mode),
                                      QStringLiteral("--offset"), QString::number(offset)});
            ASSERT_FALSE(out.empty());
            EXPECT_NEAR(DominantHz(out, 200, 3000), CwPitchHz, 2.0);
            EXPECT_GT(Rms(out), 3000.0);
        }
    }
}

// The dial shows the middle of the 2700 Hz pass band: a sideband station whose suppressed
// carrier is at C is tuned at C + 1650 Hz in USB and C - 1650 Hz in LSB.
TEST(ReplayReception, SidebandSignalsComeOutUprightInTheirOwnModeOnly) {
    constexpr double Carrier = 5000.0;
    // Two tones of different strength: upright audio has the stronger at 600 Hz, the weaker at
    // 1800 Hz; the wrong sideband turns them over to other frequencies.
    const auto upper = Tones({{Carrier + 600, 2000}, {Carrier + 1800, 700}}, 60 * Block);
    const auto lower = Tones({{Carrier - 600, 2000}, {Carrier - 1800, 700}}, 60 * Block);
    const auto receive = [&](const std::vector<std::int16_t>& rec, const char* mode, double dial) {
        return Receive(rec, {QStringLiteral("--mode"), QString::fromLatin1(mode),
                             QStringLiteral("--agc"), QStringLiteral("off"),
                             QStringLiteral("--offset"), QString::number(dial)});
    };
    struct Case {
        const std::vector<std::int16_t>* Recording;
        const char* Own;
        const char* Other;
        double Dial;
    };
    for (const Case& c :
         {Case{&upper, "usb", "lsb", Carrier + 1650}, Case{&lower, "lsb", "usb", Carrier - 1650}}) {
        SCOPED_TRACE(c.Own);
        const auto upright = receive(*c.Recording, c.Own, c.Dial);
        const auto inverted = receive(*c.Recording, c.Other, c.Dial);
        ASSERT_FALSE(upright.empty());
        ASSERT_FALSE(inverted.empty());
        EXPECT_NEAR(DominantHz(upright, 200, 3000), 600.0, 2.0);
        EXPECT_NEAR(ToneAmplitude(upright, 600) / ToneAmplitude(upright, 1800), 2000.0 / 700.0,
                    0.3);
        // The other mode at the same dial: the voice comes out turned over, not as sent.
        EXPECT_LT(ToneAmplitude(inverted, 600), 0.01 * ToneAmplitude(upright, 600));
        EXPECT_LT(ToneAmplitude(inverted, 1800), 0.01 * ToneAmplitude(upright, 1800));
        EXPECT_GT(Rms(inverted), 0.5 * Rms(upright));
    }
    // The same station in its own mode, tuned to the other side of its carrier: not heard.
    const auto wrongSide = receive(upper, "usb", Carrier - 1650);
    EXPECT_LT(Rms(wrongSide), 0.01 * Rms(receive(upper, "usb", Carrier + 1650)));
}

// --- The same path as the window tests ------------------------------------------------------

// Replays `recording` tuned as the window was (USB at 6500 Hz) and expects the window's
// played blocks back, block for block.
void ExpectReplayGives(const std::filesystem::path& recording, const std::filesystem::path& out,
                       const std::vector<std::int16_t>& window, int blocks) {
    const ProgramRun run =
        Replay({QStringLiteral("--mode"), QStringLiteral("usb"), QStringLiteral("--offset"),
                QStringLiteral("6500"), Q(recording), Q(out)});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::vector<std::int16_t> replay = ReadOutput(out);
    EXPECT_GT(Rms(std::span(window).last(10 * BlockSamples)), 1000.0);
    ASSERT_EQ(replay.size(), window.size());
    for (int k = 0; k < blocks; ++k) {
        ASSERT_TRUE(std::equal(window.begin() + k * BlockSamples,
                               window.begin() + (k + 1) * BlockSamples,
                               replay.begin() + k * BlockSamples))
            << "block " << k;
    }
}

TEST(ReplayPath, OutputIsBitIdenticalToTheWindowOnTheVirtualCard) {
    constexpr int Blocks = 40;
    // The window tests' receiver: shown, stepped block by block, the operator's clicks.
    Receiver rx(-7000.0, 2000.0);
    ASSERT_TRUE(rx.Load());
    rx.WaitForDisplays();
    Click(rx.Window->OptUsb);
    rx.Window->Slider1->setValue(6500);
    Click(rx.Window->cmdOn);
    std::vector<std::int16_t> window;
    for (int k = 0; k < Blocks; ++k) {
        rx.Block();
        const auto& played = rx.Window->Exchange->PlayBlock;
        window.insert(window.end(), played.begin(), played.begin() + BlockSamples);
    }
    // The same capture as a recording: the harness's tone source (at +7000 Hz in the receiver's
    // convention), block for block.
    ToneSource source(-7000.0, 2000.0);
    std::vector<std::int16_t> recording(Blocks * BlockSamples);
    for (int k = 0; k < Blocks; ++k) {
        source.Fill(std::span(recording).subspan(k * BlockSamples, BlockSamples));
    }
    ScratchDir dir;
    Write(dir / "in.wav", recording);
    ExpectReplayGives(dir / "in.wav", dir / "out.wav", window, Blocks);
}

// The live receiver records what it captures ("Rec I/Q"); replaying that recording with the
// same settings gives back, block for block, the audio the live receiver played.
TEST(ReplayPath, RecordingOfTheLiveReceiverReplaysToTheSameAudio) {
    constexpr int Blocks = 40;
    ScratchDir dir;
    const std::filesystem::path recorded = dir / "live-iq.wav";
    Receiver rx(-7000.0, 2000.0);
    ASSERT_TRUE(rx.Load());
    rx.WaitForDisplays();
    ASSERT_TRUE(rx.Window->StartIqRecording(recorded.string()));
    EXPECT_TRUE(rx.Window->chkRecord->isChecked());
    Click(rx.Window->OptUsb);
    rx.Window->Slider1->setValue(6500);
    Click(rx.Window->cmdOn);
    std::vector<std::int16_t> window;
    for (int k = 0; k < Blocks; ++k) {
        rx.Block();
        const auto& played = rx.Window->Exchange->PlayBlock;
        window.insert(window.end(), played.begin(), played.begin() + BlockSamples);
    }
    Click(rx.Window->cmdOff);
    Click(rx.Window->chkRecord); // stops and closes the recording
    EXPECT_FALSE(rx.Window->Recorder.Recording());
    EXPECT_EQ(rx.Window->Recorder.BlocksWritten(), Blocks);

    // What was recorded is exactly what was captured.
    ToneSource source(-7000.0, 2000.0);
    std::vector<std::int16_t> captured(Blocks * BlockSamples);
    for (int k = 0; k < Blocks; ++k) {
        source.Fill(std::span(captured).subspan(k * BlockSamples, BlockSamples));
    }
    std::int32_t rate = 0;
    EXPECT_EQ(tools::ReadAllFrames(recorded, rate), captured);
    EXPECT_EQ(rate, 48000);

    ExpectReplayGives(recorded, dir / "out.wav", window, Blocks);
}

TEST(ReplayPath, RecordingIntoAnUnwritablePlaceIsRefusedWithAMessage) {
    ScratchDir dir;
    Receiver rx(-7000.0, 2000.0);
    ASSERT_TRUE(rx.Load());
    MessageBoxAnswer answer;
    answer.Arm();
    EXPECT_FALSE(rx.Window->StartIqRecording((dir / "no-such-folder" / "iq.wav").string()));
    EXPECT_FALSE(rx.Window->chkRecord->isChecked());
    EXPECT_FALSE(rx.Window->Recorder.Recording());
    EXPECT_TRUE(answer.Seen);
    EXPECT_TRUE(answer.Text.startsWith(QStringLiteral("Unable to record the I/Q")))
        << answer.Text.toStdString();
}

// --- The front end ----------------------------------------------------------------------------

// A front end wired the other way round: "Swap I/Q" hears exactly what the right wiring gives.
TEST(ReplayFrontEnd, SwapHearsWhatTheOtherWiringGives) {
    ScratchDir dir;
    std::vector<std::int16_t> band = Tones({{1500, 3000}, {-4000, 2000}}, 60 * Block);
    Write(dir / "right.wav", band);
    for (std::size_t j = 0; j + 1 < band.size(); j += 2) {
        std::swap(band[j], band[j + 1]);
    }
    Write(dir / "swapped.wav", band);
    const QStringList tune{QStringLiteral("--offset"), QStringLiteral("1500")};
    ASSERT_EQ(Replay(tune + QStringList{Q(dir / "right.wav"), Q(dir / "a.wav")}).Status, 0);
    const ProgramRun swapped = Replay(
        tune + QStringList{QStringLiteral("--swap-iq"), Q(dir / "swapped.wav"), Q(dir / "b.wav")});
    ASSERT_EQ(swapped.Status, 0) << swapped.Err;
    const std::vector<std::int16_t> a = ReadOutput(dir / "a.wav");
    EXPECT_GT(Rms(a), 100.0);
    EXPECT_EQ(a, ReadOutput(dir / "b.wav"));
}

// An imbalanced front end (0.5 dB, 2 degrees, DC): tuned to the mirror of a carrier, the
// receiver hears it about 30 dB down; with "I/Q corr." far further.
TEST(ReplayFrontEnd, IqCorrectionSilencesTheMirror) {
    ScratchDir dir;
    constexpr std::int32_t Frames = 8 * 48000;
    std::vector<std::int16_t> band = Tones({{3000, 6000}}, Frames);
    const double g = std::pow(10.0, 0.5 / 20.0);
    const double phi = 2.0 * std::numbers::pi / 180.0;
    for (std::size_t j = 0; j + 1 < band.size(); j += 2) {
        const double im = band[j];
        const double re = band[j + 1];
        band[j] = static_cast<std::int16_t>(
            std::lround(g * (im * std::cos(phi) + re * std::sin(phi)) + 60.0));
        band[j + 1] = static_cast<std::int16_t>(std::lround(re - 40.0));
    }
    Write(dir / "in.wav", band);
    // The audio level after the first 4 s, tuned to +F and to -F, CW 500, AGC off.
    const auto level = [&](const char* offset, bool correct) {
        QStringList args{QStringLiteral("--mode"),   QStringLiteral("cw500"),
                         QStringLiteral("--agc"),    QStringLiteral("off"),
                         QStringLiteral("--offset"), QString::fromLatin1(offset)};
        if (correct) {
            args << QStringLiteral("--iq-correct");
        }
        args << Q(dir / "in.wav") << Q(dir / "out.wav");
        const ProgramRun run = Replay(args);
        EXPECT_EQ(run.Status, 0) << run.Err;
        const std::vector<std::int16_t> out = ReadOutput(dir / "out.wav");
        return Rms(std::span<const std::int16_t>(out).subspan(2 * 4 * 48000));
    };
    const double plain = 20.0 * std::log10(level("3000", false) / level("-3000", false));
    const double corrected = 20.0 * std::log10(level("3000", true) / level("-3000", true));
    EXPECT_LT(plain, 36.0);
    EXPECT_GT(corrected, 60.0) << "without correction " << plain << " dB";
}

// The front end's frequency moves the readout; a bad one is a usage error.
TEST(ReplayFrontEnd, LoFrequencyMovesTheReadout) {
    ScratchDir dir;
    Write(dir / "in.wav", Tones({{1500, 3000}}, 12 * Block));
    const ProgramRun run = Replay({QStringLiteral("--lo-frequency"), QStringLiteral("14070000"),
                                   Q(dir / "in.wav"), Q(dir / "out.wav")});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("14.070.25 MHz"), std::string::npos) << run.Out;
    EXPECT_EQ(Replay({QStringLiteral("--lo-frequency"), QStringLiteral("7.056"), Q(dir / "in.wav"),
                      Q(dir / "out2.wav")})
                  .Status,
              2);
}

// --- Statistics and pictures -----------------------------------------------------------------

struct StatLine {
    std::int64_t Index = -1;
    bool Processed = false;
    double AgcPeak = 0.0;
    double SmeterLevel = 0.0;
    double Ms = -1.0;
};

// The number after "key": in a line, checked to be in shortest round-trip form.
double Field(const std::string& line, const std::string& key) {
    const std::string tag = "\"" + key + "\":";
    const std::size_t at = line.find(tag);
    EXPECT_NE(at, std::string::npos) << line;
    if (at == std::string::npos) {
        return 0.0;
    }
    const char* begin = line.data() + at + tag.size();
    double value = 0.0;
    const auto [end, ec] = std::from_chars(begin, line.data() + line.size(), value);
    EXPECT_EQ(ec, std::errc()) << line;
    std::array<char, 64> again{};
    const auto written = std::to_chars(again.data(), again.data() + again.size(), value).ptr;
    EXPECT_EQ(std::string(begin, end), std::string(again.data(), written)) << "not shortest";
    return value;
}

std::vector<StatLine> ReplayStats(double amplitude, const ScratchDir& dir) {
    const std::string name = "in-" + std::to_string(static_cast<int>(amplitude));
    Write(dir / (name + ".wav"), Tones({{1500, amplitude}}, 40 * Block));
    const ProgramRun run = Replay({QStringLiteral("--offset"), QStringLiteral("1500"),
                                   QStringLiteral("--stats"), Q(dir / (name + ".jsonl")),
                                   Q(dir / (name + ".wav")), Q(dir / (name + "-out.wav"))});
    EXPECT_EQ(run.Status, 0) << run.Err;
    std::ifstream in(dir / (name + ".jsonl"));
    std::vector<StatLine> lines;
    for (std::string text; std::getline(in, text);) {
        StatLine s;
        s.Index = static_cast<std::int64_t>(Field(text, "index"));
        s.Processed = text.find("\"processed\":true") != std::string::npos;
        EXPECT_TRUE(s.Processed || text.find("\"processed\":false") != std::string::npos);
        s.AgcPeak = Field(text, "AgcPeak");
        s.SmeterLevel = Field(text, "SmeterLevel");
        s.Ms = Field(text, "ms");
        // A replay runs the device as fast as blocks are handled: nothing may be lost.
        for (const char* counter : {"lost", "merged", "restarts", "xruns"}) {
            EXPECT_EQ(Field(text, counter), 0.0) << counter << " in " << text;
        }
        lines.push_back(s);
    }
    return lines;
}

TEST(ReplayStats, OneLinePerBlockWhoseLevelsFollowTheInput) {
    ScratchDir dir;
    const std::vector<StatLine> quiet = ReplayStats(300.0, dir);
    const std::vector<StatLine> loud = ReplayStats(3000.0, dir);
    ASSERT_EQ(quiet.size(), 40u);
    ASSERT_EQ(loud.size(), 40u);
    for (std::size_t k = 0; k < loud.size(); ++k) {
        EXPECT_EQ(loud[k].Index, static_cast<std::int64_t>(k));
        EXPECT_EQ(loud[k].Processed, k >= 10) << k;
        EXPECT_GE(loud[k].Ms, 0.0);
    }
    // Settled: ten times the amplitude is ten times the peak and 20 dB more on the meter
    // (1000 meter units span 140 dB).
    for (std::size_t k = 20; k < 40; ++k) {
        EXPECT_NEAR(loud[k].AgcPeak / quiet[k].AgcPeak, 10.0, 0.5) << k;
        EXPECT_NEAR(loud[k].SmeterLevel - quiet[k].SmeterLevel, 20.0 * 1000.0 / 140.0, 10.0) << k;
    }
}

TEST(ReplayStats, ScreenshotShowsTheWholeWindowWithTheSignal) {
    ScratchDir dir;
    Write(dir / "in.wav", Tones({{1500, 3000}}, 30 * Block));
    const ProgramRun run =
        Replay({QStringLiteral("--offset"), QStringLiteral("1500"), QStringLiteral("--screenshot"),
                Q(dir / "window.png"), Q(dir / "in.wav"), Q(dir / "out.wav")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const QImage shot(Q(dir / "window.png"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(frmReceiver::ClientWidth, frmReceiver::ClientHeight));
    // A window that only started shows no trace; this one shows the tone in the wide spectrum.
    const QImage startup = RenderStartup();
    EXPECT_GT(DifferentPixels(shot, startup), 0.001);
    EXPECT_LT(DifferentPixels(shot, startup), 0.2);
}

// A run shorter than the window's start-up still shows the displays the operator would see: the
// grid of the wide spectrum and the meter's face.
TEST(ReplayStats, ShortRunScreenshotShowsTheDisplays) {
    ScratchDir dir;
    Write(dir / "in.wav", std::vector<std::int16_t>(2 * 48000 * 2, 0));
    const ProgramRun run =
        Replay({QStringLiteral("--test"), QStringLiteral("iq"), QStringLiteral("--video"),
                QStringLiteral("1"), QStringLiteral("--screenshot"), Q(dir / "window.png"),
                Q(dir / "in.wav"), Q(dir / "out.wav")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const QImage shot(Q(dir / "window.png"));
    ASSERT_FALSE(shot.isNull());
    const auto share = [&shot](QRect area, auto counts) {
        std::int64_t n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                n += counts(shot.pixelColor(x, y)) ? 1 : 0;
            }
        }
        return static_cast<double>(n) / (area.width() * area.height());
    };
    // The wide trace box (1000 x 280 at 9, 31): black without its grid and labels.
    EXPECT_GT(share(QRect(9, 31, 1000, 280), [](QColor c) { return c != QColor(Qt::black); }),
              0.01);
    // The meter (180 x 180 at 110, 400): the grey of an empty box until its face is drawn.
    EXPECT_LT(share(QRect(110, 400, 180, 180), [](QColor c) { return c == QColor(192, 192, 192); }),
              0.5);
    // Nothing about the run environment on the terminal.
    EXPECT_EQ(run.Err.find("XDG_RUNTIME_DIR"), std::string::npos) << run.Err;
}

// Starts a long replay with two outputs, sends `signal` once both exist, and checks the end.
void Interrupt(const ScratchDir& dir, int signal) {
    QProcess process;
    ASSERT_TRUE(StartProgram(process, CORVANE_REPLAY,
                             {QStringLiteral("--quiet"), QStringLiteral("--stats"),
                              Q(dir / "stats.jsonl"), Q(dir / "in.wav"), Q(dir / "out.wav")}));
    // The outputs exist under their temporary names once the run has begun.
    const auto started = [&dir] {
        std::size_t partial = 0;
        for (const std::string& name : dir.Names()) {
            partial += name.find(".partial") != std::string::npos ? 1 : 0;
        }
        return partial == 2;
    };
    for (int waited = 0; !started() && waited < 30000; waited += 5) {
        QThread::msleep(5);
    }
    ASSERT_TRUE(started()) << "the replay never began";
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), signal), 0);
    const ProgramRun run = FinishProgram(process);
    EXPECT_EQ(run.Status, 130) << run.Err;
    EXPECT_NE(run.Err.find("interrupted"), std::string::npos) << run.Err;
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.wav"});
}

// Ctrl-C part-way through, or any other signal that ends a program: the run ends with 130 and
// takes its unfinished outputs with it.
TEST(ReplayInput, InterruptedRunRemovesItsUnfinishedOutputs) {
    ScratchDir dir;
    // Two minutes: the replay is still running when the signal comes.
    Write(dir / "in.wav", std::vector<std::int16_t>(120 * 48000 * 2, 0));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGPIPE}) {
        SCOPED_TRACE(signal);
        Interrupt(dir, signal);
    }
}

} // namespace
} // namespace corvane::test
