// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "RememberedSettings.h"

#include "ReceiverControls.h"
#include "Tuning.h"
#include "WaterfallWindow.h"
#include "frmReceiver.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QStringList>
#include <QWidget>

#include <array>
#include <optional>
#include <utility>

namespace corvane {

namespace {

// One remembered choice: its key, what a valid value looks like (for the warning), how the
// window shows it now (empty: not kept this time, the key goes), and how it is made again on
// the window's controls (false when the text is not a valid value; nothing is touched then).
struct Setting {
    const char* Key;
    const char* Expected;
    QString (*Read)(const frmReceiver&);
    bool (*Make)(frmReceiver&, const QString&);
};

// The words of a choice among buttons, in the order of the values they stand for.
template <typename Choice, std::size_t N> struct Words {
    std::array<std::pair<const char*, Choice>, N> List;

    std::optional<Choice> Find(const QString& text) const {
        for (const auto& [word, value] : List) {
            if (text == QLatin1String(word)) {
                return value;
            }
        }
        return std::nullopt;
    }
    QString Of(Choice value) const {
        for (const auto& [word, v] : List) {
            if (v == value) {
                return QString::fromLatin1(word);
            }
        }
        return {};
    }
};

constexpr Words<DemodMode, 4> ModeWords{{{
    {"cw100", DemodMode::Cw100},
    {"cw500", DemodMode::Cw500},
    {"usb", DemodMode::Usb},
    {"lsb", DemodMode::Lsb},
}}};
constexpr Words<AgcChoice, 3> AgcWords{{{
    {"fast", AgcChoice::Fast},
    {"slow", AgcChoice::Slow},
    {"off", AgcChoice::Off},
}}};
constexpr Words<WindowKind, 3> WindowWords{{{
    {"none", WindowKind::None},
    {"blackman-harris", WindowKind::BlackmanHarris},
    {"hann", WindowKind::Hann},
}}};
constexpr Words<std::int32_t, 4> VideoFilterWords{{{
    {"1", 1},
    {"4", 4},
    {"8", 8},
    {"16", 16},
}}};
constexpr Words<bool, 2> BoxWords{{{
    {"true", true},
    {"false", false},
}}};

// A whole number within [low, high] as written, or nothing.
std::optional<std::int32_t> WholeIn(const QString& text, std::int32_t low, std::int32_t high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// Makes `value` with `make` when there is one; whether there was.
template <typename Value, typename Make> bool Made(const std::optional<Value>& value, Make make) {
    if (value) {
        make(*value);
    }
    return value.has_value();
}

constexpr std::int32_t GainLow = 40; // GAIN's slider range
constexpr std::int32_t GainHigh = 100;

// In the order they are made at start: the mode before the tuning, which the mode's pass band
// limits, as an operator would choose them.
const Setting Remembered[] = {
    {"window", "none, blackman-harris or hann",
     [](const frmReceiver& w) {
         return WindowWords.Of(w.Option1->isChecked()   ? WindowKind::None
                               : w.Option3->isChecked() ? WindowKind::Hann
                                                        : WindowKind::BlackmanHarris);
     },
     [](frmReceiver& w, const QString& text) {
         return Made(WindowWords.Find(text),
                     [&](auto kind) { ReceiverControls(w).SelectAnalysisWindow(kind); });
     }},
    {"video-filter", "1, 4, 8 or 16",
     [](const frmReceiver& w) { return VideoFilterWords.Of(w.VideoFilter); },
     [](frmReceiver& w, const QString& text) {
         return Made(VideoFilterWords.Find(text),
                     [&](auto blocks) { ReceiverControls(w).SelectVideoFilter(blocks); });
     }},
    {"mode", "cw100, cw500, usb or lsb",
     [](const frmReceiver& w) {
         return ModeWords.Of(w.OptCW100->isChecked() ? DemodMode::Cw100
                             : w.OptUsb->isChecked() ? DemodMode::Usb
                             : w.OptLsb->isChecked() ? DemodMode::Lsb
                                                     : DemodMode::Cw500);
     },
     [](frmReceiver& w, const QString& text) {
         return Made(ModeWords.Find(text),
                     [&](auto mode) { ReceiverControls(w).SelectMode(mode); });
     }},
    {"agc", "fast, slow or off",
     [](const frmReceiver& w) {
         return AgcWords.Of(w.OptAgcOff->isChecked()    ? AgcChoice::Off
                            : w.OptAgcSlow->isChecked() ? AgcChoice::Slow
                                                        : AgcChoice::Fast);
     },
     [](frmReceiver& w, const QString& text) {
         return Made(AgcWords.Find(text), [&](auto agc) { ReceiverControls(w).SelectAgc(agc); });
     }},
    {"gain", "a whole number from 40 to 100",
     [](const frmReceiver& w) { return QString::number(w.Slider2->value()); },
     [](frmReceiver& w, const QString& text) {
         return Made(WholeIn(text, GainLow, GainHigh),
                     [&](auto gain) { ReceiverControls(w).SetGain(gain); });
     }},
    {"tuning", "a whole number of Hz from -23800 to 23800",
     [](const frmReceiver& w) { return QString::number(w.Slider1->value()); },
     [](frmReceiver& w, const QString& text) {
         return Made(WholeIn(text, -TuningLimitHz, TuningLimitHz),
                     [&](auto hz) { ReceiverControls(w).Tune(hz); });
     }},
    {"swap-iq", "true or false",
     [](const frmReceiver& w) { return BoxWords.Of(w.chkSwapIq->isChecked()); },
     [](frmReceiver& w, const QString& text) {
         return Made(BoxWords.Find(text), [&](auto on) { ReceiverControls(w).SetSwapIq(on); });
     }},
    {"iq-correction", "true or false",
     [](const frmReceiver& w) { return BoxWords.Of(w.chkIqCorrect->isChecked()); },
     [](frmReceiver& w, const QString& text) {
         return Made(BoxWords.Find(text),
                     [&](auto on) { ReceiverControls(w).SetIqCorrection(on); });
     }},
    // The waterfall's window: where it stands, its colours and range, then whether it is open,
    // so that it opens where it was. While Auto chooses the range, the floor and ceiling are
    // not the operator's and are not kept; kept, they were set with Auto off.
    {"waterfall-geometry", "a window geometry saved by Corvane",
     [](const frmReceiver& w) -> QString {
         if (w.frmWaterfall == nullptr) {
             return {};
         }
         return QString::fromLatin1(w.frmWaterfall->saveGeometry().toBase64());
     },
     [](frmReceiver& w, const QString& text) {
         // Tried on a window of no consequence first: one that is not a geometry leaves the
         // waterfall unmade, as at start.
         const QByteArray geometry = QByteArray::fromBase64(text.toLatin1());
         QWidget probe;
         return probe.restoreGeometry(geometry) && w.WaterfallPanel().restoreGeometry(geometry);
     }},
    {"waterfall-palette", "classic or viridis",
     [](const frmReceiver& w) -> QString {
         if (w.frmWaterfall == nullptr) {
             return {};
         }
         return w.frmWaterfall->PaletteName();
     },
     [](frmReceiver& w, const QString& text) {
         // A name that is not one leaves the waterfall unmade, as at start.
         return Waterfall::PaletteNamed(text.toStdString()).has_value() &&
                w.WaterfallPanel().SetPaletteName(text);
     }},
    {"waterfall-floor", "a whole number of dBV from -140 to -1",
     [](const frmReceiver& w) -> QString {
         if (w.frmWaterfall == nullptr || w.frmWaterfall->AutoRange()) {
             return {};
         }
         return QString::number(w.frmWaterfall->FloorDb());
     },
     [](frmReceiver& w, const QString& text) {
         return Made(WholeIn(text, -140, -1), [&](auto db) {
             w.WaterfallPanel().SetAutoRange(false);
             w.WaterfallPanel().SetFloorDb(db);
         });
     }},
    {"waterfall-ceiling", "a whole number of dBV from -139 to 0",
     [](const frmReceiver& w) -> QString {
         if (w.frmWaterfall == nullptr || w.frmWaterfall->AutoRange()) {
             return {};
         }
         return QString::number(w.frmWaterfall->CeilingDb());
     },
     [](frmReceiver& w, const QString& text) {
         return Made(WholeIn(text, -139, 0), [&](auto db) {
             w.WaterfallPanel().SetAutoRange(false);
             w.WaterfallPanel().SetCeilingDb(db);
         });
     }},
    {"waterfall-auto", "true or false",
     [](const frmReceiver& w) -> QString {
         if (w.frmWaterfall == nullptr) {
             return {};
         }
         return BoxWords.Of(w.frmWaterfall->AutoRange());
     },
     [](frmReceiver& w, const QString& text) {
         return Made(BoxWords.Find(text), [&](auto on) { w.WaterfallPanel().SetAutoRange(on); });
     }},
    {"waterfall", "true or false",
     [](const frmReceiver& w) -> QString { return BoxWords.Of(w.WaterfallOpen()); },
     [](frmReceiver& w, const QString& text) {
         return Made(BoxWords.Find(text), [&](auto open) { w.SetWaterfallOpen(open); });
     }},
};

// A value as written: QSettings reads "a,b" as a list; it is given back whole.
QString Written(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString().trimmed();
}

} // namespace

QString RememberedSettings::DefaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/corvane/remembered.conf");
}

std::vector<std::string> RememberedSettings::Restore(frmReceiver& window) const {
    std::vector<std::string> warnings;
    const QFileInfo info(Path);
    if (!info.exists()) {
        return warnings; // the first start with remembering on
    }
    const std::string file = Path.toStdString();
    if (!info.isFile() || !info.isReadable()) {
        warnings.push_back(file + " cannot be read; the settings start at their defaults");
        return warnings;
    }
    const QSettings stored(Path, QSettings::IniFormat);
    if (stored.status() != QSettings::NoError) {
        warnings.push_back(file + " is not a settings file; the settings start at their defaults");
        return warnings;
    }
    for (const Setting& setting : Remembered) {
        const QString key = QString::fromLatin1(setting.Key);
        if (!stored.contains(key)) {
            continue;
        }
        const QString text = Written(stored.value(key));
        if (!setting.Make(window, text)) {
            warnings.push_back(file + ": " + setting.Key + "=" + text.toStdString() + " is not " +
                               setting.Expected + "; ignored");
        }
    }
    return warnings;
}

std::string RememberedSettings::Save(const frmReceiver& window) const {
    QSettings stored(Path, QSettings::IniFormat);
    for (const Setting& setting : Remembered) {
        const QString key = QString::fromLatin1(setting.Key);
        if (const QString value = setting.Read(window); !value.isEmpty()) {
            stored.setValue(key, value);
        } else { // as at its default (a waterfall never made is as it starts)
            stored.remove(key);
        }
    }
    stored.sync();
    if (stored.status() != QSettings::NoError) {
        return "the settings could not be saved to " + Path.toStdString();
    }
    return {};
}

} // namespace corvane
