// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "ReceiverControls.h"

#include "frmReceiver.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <charconv>

namespace corvane {

namespace {

// The operator's choice and the window's control that makes it.
template <typename Choice, typename Button> struct ChoiceButton {
    Choice Value;
    Button* frmReceiver::*Control;
};

constexpr ChoiceButton<DemodMode, QPushButton> ModeButtons[] = {
    {DemodMode::Cw100, &frmReceiver::OptCW100},
    {DemodMode::Cw500, &frmReceiver::OptCW500},
    {DemodMode::Usb, &frmReceiver::OptUsb},
    {DemodMode::Lsb, &frmReceiver::OptLsb},
};

constexpr ChoiceButton<TestSignal, QRadioButton> TestButtons[] = {
    {TestSignal::None, &frmReceiver::Option8},
    {TestSignal::IPlusQ, &frmReceiver::Option9},
    {TestSignal::IMinusQ, &frmReceiver::Option10},
    {TestSignal::IOnly, &frmReceiver::Option11},
};

// Clicks the control listed for the choice; a choice not listed clicks nothing.
template <typename Table, typename Choice>
void ClickFor(frmReceiver& window, const Table& table, Choice choice) {
    for (const auto& entry : table) {
        if (entry.Value == choice) {
            (window.*entry.Control)->click();
            return;
        }
    }
}

} // namespace

std::optional<std::int32_t> ParseLoFrequency(std::string_view text) {
    std::int32_t hz = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, hz);
    if (text.empty() || ec != std::errc() || stop != end || hz < frmReceiver::MinLoHz ||
        hz > frmReceiver::MaxLoHz) {
        return std::nullopt;
    }
    return hz;
}

void ReceiverControls::SelectAnalysisWindow(WindowKind kind) {
    (kind == WindowKind::None   ? Window.Option1
     : kind == WindowKind::Hann ? Window.Option3
                                : Window.Option2)
        ->click();
}

void ReceiverControls::SelectVideoFilter(std::int32_t blocks) {
    (blocks == 1    ? Window.Option4
     : blocks == 8  ? Window.Option6
     : blocks == 16 ? Window.Option7
                    : Window.Option5)
        ->click();
}

void ReceiverControls::SelectMode(DemodMode mode) {
    ClickFor(Window, ModeButtons, mode);
}

void ReceiverControls::SelectAgc(AgcChoice agc) {
    (agc == AgcChoice::Slow  ? Window.OptAgcSlow
     : agc == AgcChoice::Off ? Window.OptAgcOff
                             : Window.OptAgcFast)
        ->click();
}

void ReceiverControls::SetGain(std::int32_t slider) {
    Window.Slider2->setValue(slider);
}

void ReceiverControls::Tune(std::int32_t offsetHz) {
    Window.Slider1->setValue(offsetHz);
}

void ReceiverControls::SelectTest(TestSignal test) {
    ClickFor(Window, TestButtons, test);
}

void ReceiverControls::SetPlus20(bool on) {
    if (on != Window.Check1->isChecked()) {
        Window.Check1->click();
    }
}

void ReceiverControls::SetIqCorrection(bool on) {
    if (on != Window.chkIqCorrect->isChecked()) {
        Window.chkIqCorrect->click();
    }
}

void ReceiverControls::SetSwapIq(bool on) {
    if (on != Window.chkSwapIq->isChecked()) {
        Window.chkSwapIq->click();
    }
}

void ReceiverControls::PowerOn() {
    Window.cmdOn->click();
}

void ReceiverControls::PowerOff() {
    Window.cmdOff->click();
}

QString ReceiverControls::Readout() const {
    QString text;
    for (const QLabel* digit : Window.lbFreq) {
        text += digit->text();
    }
    return text;
}

} // namespace corvane
