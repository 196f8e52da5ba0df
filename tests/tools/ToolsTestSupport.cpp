// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "ToolsTestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace corvane::test {

ScratchDir::ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "corvane-tools-XXXXXX").string();
    Path = ::mkdtemp(pattern.data());
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
}

std::vector<std::string> ScratchDir::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool StartProgram(QProcess& process, const char* program, const QStringList& args,
                  const QStringList& environment) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    for (const QString& setting : environment) {
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    }
    process.setProcessEnvironment(env);
    process.start(QString::fromLocal8Bit(program), args);
    return process.waitForStarted(10000);
}

ProgramRun FinishProgram(QProcess& process) {
    ProgramRun run;
    if (!process.waitForFinished(300000)) {
        run.Err = "did not finish";
        return run;
    }
    run.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.Out = process.readAllStandardOutput().toStdString();
    run.Err = process.readAllStandardError().toStdString();
    return run;
}

ProgramRun RunProgram(const char* program, const QStringList& args,
                      const QStringList& environment) {
    QProcess process;
    if (!StartProgram(process, program, args, environment)) {
        ProgramRun run;
        run.Err = "did not run";
        return run;
    }
    return FinishProgram(process);
}

std::vector<std::int16_t> Tones(const std::vector<std::pair<double, double>>& tones,
                                std::int32_t frames) {
    std::vector<std::int16_t> out(2 * static_cast<std::size_t>(frames));
    for (std::int32_t n = 0; n < frames; ++n) {
        double left = 0.0;
        double right = 0.0;
        for (const auto& [hz, amplitude] : tones) {
            const double p = 2.0 * std::numbers::pi * hz * n / 48000.0;
            left += amplitude * std::sin(p);
            right += amplitude * std::cos(p);
        }
        out[2 * static_cast<std::size_t>(n)] = static_cast<std::int16_t>(std::lround(left));
        out[2 * static_cast<std::size_t>(n) + 1] = static_cast<std::int16_t>(std::lround(right));
    }
    return out;
}

double ToneAmplitude(std::span<const std::int16_t> frames, double hz) {
    const double w = 2.0 * std::numbers::pi * hz / 48000.0;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0;
    double s2 = 0.0;
    const std::size_t n = frames.size() / 2;
    for (std::size_t j = 0; j < n; ++j) {
        const double s0 = frames[2 * j] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(n);
}

double DominantHz(std::span<const std::int16_t> frames, double lowHz, double highHz) {
    const auto best = [&](double from, double to, double step) {
        double bestHz = from;
        double bestAmp = -1.0;
        for (double hz = from; hz <= to; hz += step) {
            const double a = ToneAmplitude(frames, hz);
            if (a > bestAmp) {
                bestAmp = a;
                bestHz = hz;
            }
        }
        return bestHz;
    };
    const double coarse = best(lowHz, highHz, 10.0);
    return best(coarse - 10.0, coarse + 10.0, 1.0);
}

double Rms(std::span<const std::int16_t> frames) {
    double sum = 0.0;
    for (std::int16_t v : frames) {
        sum += static_cast<double>(v) * v;
    }
    return frames.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(frames.size()));
}

} // namespace corvane::test
