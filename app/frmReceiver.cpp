// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "frmReceiver.h"

#include "Constants.h"
#include "ModeTable.h"
#include "RemoteServer.h"
#include "RunCaption.h"
#include "Tuning.h"
#include "WaterfallWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace corvane {

namespace {

// Step of the "+"/"-" button pairs 0..6: the digit above or below which each one stands.
constexpr std::array<std::int32_t, 7> StepHz{0, 0, 0, 10000, 1000, 100, 10};

} // namespace

frmReceiver::frmReceiver(SoundSystem& sound, const ChainOptions& chain, QWidget* parent)
    : QWidget(parent), Screens(Settings), Dsp(std::make_unique<modDSP>(Settings, Screens, chain)),
      Exchange(std::make_unique<BlockExchange>(sound, *this)), Timer1([this] { Timer1_Timer(); }),
      Timer2([this] { Timer2_Timer(); }), Timer3([this] { Timer3_Timer(); }) {
    const QString point = QLocale().decimalPoint();
    DecimalPoint = point.isEmpty() ? '.' : point.at(0).toLatin1();
    CreateControls();
    ConnectControls();
}

frmReceiver::~frmReceiver() {
    if (Running != 0) { // the program is ending without OFF: silence the card first
        [[maybe_unused]] const SoundStatus ignored = Exchange->StopBuffers();
    }
}

void frmReceiver::ConnectControls() {
    // A selected option runs its handler.
    const auto onSelect = [this](QAbstractButton* button, auto handler) {
        QObject::connect(button, &QAbstractButton::toggled, this, [this, handler](bool on) {
            if (on) {
                handler();
            }
        });
    };
    onSelect(OptCW100, [this] { OptCW100_Click(); });
    onSelect(OptCW500, [this] { OptCW500_Click(); });
    onSelect(OptUsb, [this] { OptUsb_Click(); });
    onSelect(OptLsb, [this] { OptLsb_Click(); });
    onSelect(OptAgcFast, [this] { OptAgcFast_Click(); });
    onSelect(OptAgcSlow, [this] { OptAgcSlow_Click(); });
    onSelect(OptAgcOff, [this] { OptAgcOff_Click(); });
    onSelect(Option1, [this] { Option1_Click(); });
    onSelect(Option2, [this] { Option2_Click(); });
    onSelect(Option3, [this] { Option3_Click(); });
    onSelect(Option4, [this] { Option4_Click(); });
    onSelect(Option5, [this] { Option5_Click(); });
    onSelect(Option6, [this] { Option6_Click(); });
    onSelect(Option7, [this] { Option7_Click(); });
    // The test selection has no handlers: the chain reads it from the settings record.
    onSelect(Option8, [this] { Settings.Test = TestSignal::None; });
    onSelect(Option9, [this] { Settings.Test = TestSignal::IPlusQ; });
    onSelect(Option10, [this] { Settings.Test = TestSignal::IMinusQ; });
    onSelect(Option11, [this] { Settings.Test = TestSignal::IOnly; });
    QObject::connect(Check1, &QCheckBox::toggled, this,
                     [this](bool on) { Settings.TestPlus20dB = on; });

    // valueChanged runs before setValue returns, as the tuning routine expects. While the
    // thumb is held, each move is the slider's scroll notification.
    QObject::connect(Slider1, &QSlider::valueChanged, this, [this] {
        Settings.TuningOffset = Slider1->value();
        if (Slider1->isSliderDown()) {
            Slider1_Scroll();
        } else {
            Slider1_Change();
        }
    });
    QObject::connect(Slider2, &QSlider::valueChanged, this, [this] { ApplyGain(); });

    Picture2->MouseDown = [this](std::int16_t b, std::int16_t s, double x, double y) {
        Picture2_MouseDown(b, s, x, y);
    };
    Picture2->MouseMove = [this](std::int16_t b, std::int16_t s, double x, double y) {
        Picture2_MouseMove(b, s, x, y);
    };

    Picture2->Wheel = [this](std::int32_t notches) { Picture2_Wheel(notches); };
    Picture1->Wheel = Picture2->Wheel; // the scale around the trace is the wide spectrum too

    // The estimates belong to one wiring: either switch starts them afresh.
    QObject::connect(chkIqCorrect, &QCheckBox::toggled, this, [this](bool on) {
        CorrectIq = on;
        IqCorrection.Reset();
    });
    QObject::connect(chkSwapIq, &QCheckBox::toggled, this, [this](bool on) {
        SwapIq = on;
        IqCorrection.Reset();
    });

    QObject::connect(chkWaterfall, &QCheckBox::toggled, this, [this] { chkWaterfall_Click(); });
    auto* waterfallKey = new QShortcut(QKeySequence(Qt::Key_W), this);
    QObject::connect(waterfallKey, &QShortcut::activated, this, [this] { chkWaterfall->toggle(); });

    QObject::connect(chkRecord, &QCheckBox::clicked, this, [this] { chkRecord_Click(); });
    QObject::connect(cmdOn, &QPushButton::clicked, this, [this] { cmdOn_Click(); });
    QObject::connect(cmdOff, &QPushButton::clicked, this, [this] { cmdOff_Click(); });
}

// ------------------------------------------------------------------------------------------
// Start-up.

bool frmReceiver::Form_Load() {
    // 1-3. Fixed size: the layout below is in device-independent pixels, which Qt scales by
    // the screen's factor, so nothing is converted and nothing ever reflows.
    setFixedSize(ClientWidth, ClientHeight);
    QCoreApplication::processEvents();

    // 4-6. Every control at its place, and the readout's arrays.
    LayOutControls();

    // 7-10. The chain's start-up state, reached through the same handlers the operator uses.
    Dsp->MakeWindow(WindowKind::BlackmanHarris, BlockFrames);
    VideoFilter = 4;
    OptCW500_Click();
    OptAgcFast_Click();
    // 11. A change (the mode handler already moved the slider to 250), so tuning runs again.
    Slider1->setValue(0);
    // 12. GAIN in the middle of its range.
    Slider2->setRange(40, 100);
    Slider2->setValue((Slider2->minimum() + Slider2->maximum()) / 2);
    // 13.
    UseLowIf = 0;
    // 14. Persistent drawing: every picture box keeps the last picture it was given.

    // 15. The displays are built on the first tick, once the window is up.
    Timer1.SetInterval(50);

    // 16. Sound devices and capture notifications; capture itself waits for ON.
    SoundStatus status = Exchange->CreateDevices();
    if (!status.Ok() && BlockExchange::EndsProgram(status)) {
        Timer1.SetInterval(0);
        ShowMessage(QString::fromStdString(status.Message), windowTitle());
        return false;
    }
    if (status.Ok()) {
        status = Exchange->SetEvents();
    }
    if (!status.Ok()) {
        // Not fatal: the receiver stays usable and ON makes the missing pieces again.
        ShowMessage(QString::fromStdString(status.Message), windowTitle());
    }
    // 17.
    Exchange->WarmupCount = 0;
    return true;
}

// ------------------------------------------------------------------------------------------
// AGC, gain, analysis window, video filter.

void frmReceiver::OptAgcFast_Click() {
    Dsp->AgcOn = -1;
    Dsp->AgcLength = 4;
    ApplyGain();
}

void frmReceiver::OptAgcSlow_Click() {
    Dsp->AgcOn = -1;
    Dsp->AgcLength = 9;
    ApplyGain();
}

void frmReceiver::OptAgcOff_Click() {
    Dsp->AgcOn = 0;
}

void frmReceiver::ApplyGain() {
    Dsp->MaxGain = GainCeiling(Slider2->value());
}

void frmReceiver::Option1_Click() {
    Dsp->MakeWindow(WindowKind::None, BlockFrames);
}

void frmReceiver::Option2_Click() {
    Dsp->MakeWindow(WindowKind::BlackmanHarris, BlockFrames);
}

void frmReceiver::Option3_Click() {
    Dsp->MakeWindow(WindowKind::Hann, BlockFrames);
}

void frmReceiver::Option4_Click() {
    VideoFilter = 1;
}

void frmReceiver::Option5_Click() {
    VideoFilter = 4;
}

void frmReceiver::Option6_Click() {
    VideoFilter = 8;
}

void frmReceiver::Option7_Click() {
    VideoFilter = 16;
}

// ------------------------------------------------------------------------------------------
// Modes.

void frmReceiver::OptCW100_Click() {
    ChangeMode(DemodMode::Cw100);
}

void frmReceiver::OptCW500_Click() {
    ChangeMode(DemodMode::Cw500);
}

void frmReceiver::OptUsb_Click() {
    ChangeMode(DemodMode::Usb);
}

void frmReceiver::OptLsb_Click() {
    ChangeMode(DemodMode::Lsb);
}

void frmReceiver::ChangeMode(DemodMode mode) {
    ++ModeHandlerRuns;
    // The sideband and the audio trace read the mode from here: it changes with the filters.
    Settings.Mode = mode;
    const ModeBands bands = BandsFor(mode);
    PassLow = bands.PassLow;
    PassHigh = bands.PassHigh;
    DesignModeFilters(*Dsp, mode, UseLowIf != 0);
    // May flip UseLowIf and run this handler again inside itself.
    UpdateTuning();
    Screens.Traces.DrawAudioScale(bands.AudioScaleFlag);
}

void frmReceiver::RerunMode() {
    if (OptCW100->isChecked()) {
        OptCW100_Click();
    }
    if (OptCW500->isChecked()) {
        OptCW500_Click();
    }
    if (OptUsb->isChecked()) {
        OptUsb_Click();
    }
    if (OptLsb->isChecked()) {
        OptLsb_Click();
    }
}

// ------------------------------------------------------------------------------------------
// Tuning.

void frmReceiver::SetTuningSlider(double requested) {
    // Clicks near the edges of the wide spectrum, drags out of it and big steps ask for more
    // than the band holds: they get the nearest end of the slider's range.
    const double value =
        std::clamp(std::nearbyint(requested), double{-TuningLimitHz}, double{TuningLimitHz});
    Slider1->setValue(static_cast<int>(value));
}

void frmReceiver::Picture2_MouseDown(std::int16_t, std::int16_t, double X, double) {
    // 1000 pixels show 48000 Hz; pixel 500 is 0 Hz.
    TuneTo((X - 500) * (48000.0 / 1000.0));
}

void frmReceiver::TuneTo(double offsetHz) {
    SetTuningSlider(offsetHz);
    UpdateTuning(); // also when the request lands on the current offset
}

void frmReceiver::Picture2_MouseMove(std::int16_t Button, std::int16_t, double X, double) {
    if (Button == 1) { // the left button alone drags the tuning
        SetTuningSlider((X - 500) * (48000.0 / 1000.0));
    }
}

void frmReceiver::Picture2_Wheel(std::int32_t notches) {
    const std::int32_t step = Settings.IsCw() ? 10 : 50;
    SetTuningSlider(Slider1->value() + static_cast<double>(notches * step));
}

void frmReceiver::Slider1_Change() {
    UpdateTuning();
}

void frmReceiver::Slider1_Scroll() {
    UpdateTuning();
}

void frmReceiver::StepTuning(std::int32_t Index, std::int32_t direction) {
    if (Index < 0 || Index >= static_cast<std::int32_t>(StepHz.size())) {
        return;
    }
    const std::int32_t step = StepHz[static_cast<std::size_t>(Index)];
    if (step != 0) {
        SetTuningSlider(Slider1->value() + direction * static_cast<double>(step));
    }
    Slider1_Change(); // the MHz and hundreds-of-kHz buttons only refresh
}

void frmReceiver::CmdP_Click(std::int32_t Index) {
    StepTuning(Index, +1);
}

void frmReceiver::CmdM_Click(std::int32_t Index) {
    StepTuning(Index, -1);
}

void frmReceiver::UpdateTuning() {
    // Every write to Slider1 below runs this routine again before setValue returns; the value
    // written is already snapped and limited, so the nested run ends in the state this one
    // reaches, and this run reads the slider again after its writes.
    const std::int32_t B = PassHigh - PassLow;
    const auto signedOffset = [](double magnitude, std::int32_t sign) {
        const auto rounded = static_cast<int>(std::nearbyint(magnitude));
        return sign < 0 ? -rounded : rounded;
    };

    // 1. Truncate toward 0 to a multiple of 10 Hz.
    const int v = Slider1->value();
    Slider1->setValue(v - v % 10);
    // 2.
    std::int32_t f = Slider1->value();
    double a = std::abs(f);
    // 3. Keep the pass band inside the sampled band.
    const std::int32_t h = B / 2;
    if (h + a >= 24000) {
        a = 24000 - h;
        Slider1->setValue(signedOffset(a, f));
    }
    // 4. Keep it clear of 0 Hz; 0 itself goes up.
    if (a - B / 2.0 < 0) {
        a = B / 2.0;
        Slider1->setValue(signedOffset(a, f));
    }
    // 5.
    f = Slider1->value();
    Settings.TuningOffset = f;
    // 6. Channel filter around the offset.
    const BandEdges channel = ChannelFilterEdges(a, B);
    Dsp->DesignFilter(FilterIndex::Channel, channel.Low, channel.High);
    // 7.
    TuneOffset = f;
    // 8. Intermediate frequency; a change redesigns the mode's IF filter.
    std::int32_t intermediate = HighIfHz;
    if (a >= IfSplitHz) {
        if (UseLowIf == 0) {
            UseLowIf = -1;
            RerunMode();
        }
        intermediate = LowIfHz;
    } else {
        if (UseLowIf == -1) {
            UseLowIf = 0;
            RerunMode();
        }
        intermediate = HighIfHz;
    }
    // 9.
    const std::int16_t sign = f < 0 ? -1 : (f > 0 ? 1 : 0);
    Dsp->SetOscillators(a, sign, IfSplitHz, intermediate, PassLow, PassHigh);
    // 10. Pass-band marker, negative below 0 Hz.
    const double markerHz = f < 0 ? -B : B;
    Screens.Traces.SetMarkerWidth(static_cast<std::int32_t>(std::nearbyint(markerHz / 48)));
    // 11. Readout: the front end's frequency (7.056 MHz unless set) plus the offset.
    ShowReadout();
    if (frmWaterfall != nullptr) { // its pass band follows the marker
        frmWaterfall->TuningChanged();
    }
}

void frmReceiver::ShowReadout() {
    // To tens of hertz: the eighth digit (units) is not shown.
    const QString s = QStringLiteral("%1").arg(
        LoFrequencyHz + static_cast<int>(std::nearbyint(TuneOffset)), 8, 10, QLatin1Char('0'));
    if (lbFreq[8] == nullptr) {
        return; // before start-up has made the digits
    }
    lbFreq[0]->setText(s.mid(0, 1));
    lbFreq[1]->setText(s.mid(1, 1));
    lbFreq[3]->setText(s.mid(2, 1));
    lbFreq[4]->setText(s.mid(3, 1));
    lbFreq[5]->setText(s.mid(4, 1));
    lbFreq[7]->setText(s.mid(5, 1));
    lbFreq[8]->setText(s.mid(6, 1));
}

void frmReceiver::SetLoFrequency(std::int32_t hz) {
    if (hz < MinLoHz || hz > MaxLoHz) {
        return;
    }
    LoFrequencyHz = hz;
    ShowReadout();
    if (frmWaterfall != nullptr) {
        frmWaterfall->LoFrequencyChanged();
    }
}

// ------------------------------------------------------------------------------------------
// The waterfall window.

WaterfallWindow& frmReceiver::WaterfallPanel() {
    if (frmWaterfall == nullptr) {
        frmWaterfall = new WaterfallWindow(*this); // a child: it goes with this window
    }
    return *frmWaterfall;
}

void frmReceiver::chkWaterfall_Click() {
    if (chkWaterfall->isChecked()) {
        WaterfallWindow& waterfall = WaterfallPanel();
        Screens.Traces.SetWideTap(&waterfall);
        waterfall.show();
        waterfall.raise();
    } else if (frmWaterfall != nullptr) {
        Screens.Traces.SetWideTap(nullptr);
        frmWaterfall->hide();
    }
}

bool frmReceiver::WaterfallOpen() const {
    return chkWaterfall->isChecked();
}

void frmReceiver::SetWaterfallOpen(bool open) {
    chkWaterfall->setChecked(open);
}

// ------------------------------------------------------------------------------------------
// Remote control.

std::string frmReceiver::StartRemote(const RemoteEndpoint& at) {
    Remote = std::make_unique<RemoteServer>(
        RemoteServer::Receiver{[this] { return RemoteView(); },
                               [this](const RemoteAction& action) { RemoteAct(action); }});
    std::string why = Remote->Listen(at);
    if (!why.empty()) {
        Remote.reset();
    }
    return why;
}

RemoteState frmReceiver::RemoteView() const {
    RemoteState state;
    state.LoHz = LoFrequencyHz;
    state.OffsetHz = static_cast<std::int32_t>(std::nearbyint(TuneOffset));
    state.Mode = Settings.Mode;
    state.Agc = OptAgcOff->isChecked()    ? AgcChoice::Off
                : OptAgcSlow->isChecked() ? AgcChoice::Slow
                                          : AgcChoice::Fast;
    state.SmeterLevel = Dsp->SmeterLevel;
    return state;
}

void frmReceiver::RemoteAct(const RemoteAction& action) {
    // Each request is what the operator's control does: the same clicks, the same handlers.
    ReceiverControls controls(*this);
    switch (action.What) {
    case RemoteAction::Kind::None:
        break;
    case RemoteAction::Kind::Tune:
        TuneTo(action.OffsetHz);
        break;
    case RemoteAction::Kind::Mode:
        controls.SelectMode(action.Mode);
        break;
    case RemoteAction::Kind::Agc:
        controls.SelectAgc(action.Agc);
        break;
    }
}

// ------------------------------------------------------------------------------------------
// Power, timers, closing.

void frmReceiver::cmdOn_Click() {
    // Starts capture (again, when already on) and asks for a playback restart from segment 0.
    const SoundStatus status = Exchange->StartCapture();
    if (!status.Ok()) {
        ShowMessage(QString::fromStdString(status.Message), windowTitle());
        return; // stays off
    }
    Running = -1;
    Timer2.SetEnabled(false); // from now on every block redraws the displays
}

void frmReceiver::cmdOff_Click() {
    Running = 0;
    // A failure to stop leaves nothing for the operator to do; the stream is closed on exit.
    [[maybe_unused]] const SoundStatus ignored = Exchange->StopBuffers();
    Timer2.SetEnabled(true);
    if (LogCounters) {
        std::fprintf(stderr, "%s\n", CountersLine().c_str());
    }
}

void frmReceiver::Timer1_Timer() {
    Screens.Traces.InitWideDisplay(*Picture1, *Picture2);
    Screens.Traces.InitAudioDisplay(*Picture3, *Picture4);
    Screens.Meter.InitMeter(*Picture5);
    Timer2.SetInterval(50);
    Timer1.SetInterval(0);
    Timer3.SetInterval(0);
    if (Started) {
        std::exchange(Started, nullptr)();
    }
}

void frmReceiver::Timer2_Timer() {
    Screens.RefreshDisplays();
}

void frmReceiver::Timer3_Timer() {}

void frmReceiver::Form_Unload(bool& Cancel) {
    if (Running != 0) {
        ShowMessage(QStringLiteral("     Acquisizione in corso. Premere OFF      "),
                    QStringLiteral("Richiesta chiusura"));
        Cancel = true;
        return;
    }
    if (Closing) {
        Closing();
    }
    Released = true; // before the event-loop passes of the release
    StopIqRecording();
    Exchange->Release();
    if (LogCounters) {
        std::fprintf(stderr, "%s\n", CountersLine().c_str());
    }
}

void frmReceiver::closeEvent(QCloseEvent* event) {
    bool Cancel = false;
    if (!Released) {
        Form_Unload(Cancel);
    }
    if (Cancel) {
        event->ignore();
    } else {
        Remote.reset(); // clients are let go with the window
        Timer1.SetInterval(0);
        Timer2.SetInterval(0);
        if (frmWaterfall != nullptr) { // goes with the receiver; the box keeps saying it was open
            Screens.Traces.SetWideTap(nullptr);
            frmWaterfall->hide();
        }
        event->accept();
    }
}

void frmReceiver::ShowMessage(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.exec();
}

// ------------------------------------------------------------------------------------------
// The block exchange's calls.

void frmReceiver::ProcessBlock(std::span<const std::int16_t> InBlock,
                               std::span<std::int16_t> OutBlock) {
    if (!SwapIq && !CorrectIq) {
        Dsp->ProcessBlock(InBlock, OutBlock, VideoFilter);
        return;
    }
    // The front end's fixes come before everything else: spectrum, meter and audio all see
    // the corrected block. The captured block itself (what is recorded) stays as it came.
    const std::size_t n = std::min(InBlock.size(), FrontEndBlock.size());
    std::copy_n(InBlock.begin(), n, FrontEndBlock.begin());
    const std::span<std::int16_t> block(FrontEndBlock.data(), n);
    if (SwapIq) {
        for (std::size_t j = 0; j + 1 < n; j += 2) {
            std::swap(block[j], block[j + 1]);
        }
    }
    if (CorrectIq) {
        IqCorrection.Correct(block);
    }
    Dsp->ProcessBlock(block, OutBlock, VideoFilter);
}

void frmReceiver::DoEvents() {
    QCoreApplication::processEvents();
}

void frmReceiver::ShowRunTime(double meanSeconds) {
    Label1->setText(QString::fromStdString(RunCaption(meanSeconds, DecimalPoint)));
}

void frmReceiver::SoundFailed(const SoundStatus& status) {
    // Capture and playback are already stopped: back to OFF, then tell the operator.
    Running = 0;
    Timer2.SetEnabled(true);
    if (LogCounters) {
        std::fprintf(stderr, "corvane: %s\n%s\n", status.Message.c_str(), CountersLine().c_str());
    }
    ShowMessage(QString::fromStdString(status.Message), windowTitle());
}

void frmReceiver::ShowCounters(const SoundCounters& sound, std::uint64_t restarts,
                               std::uint64_t stalledBlocks) {
    const std::uint64_t lost =
        sound.CaptureOverruns + sound.DroppedNotifications + sound.DeviceXruns + stalledBlocks;
    CountersText = QStringLiteral("lost %1\nrestarts %2").arg(lost).arg(restarts);
    if (Exchange == nullptr || Exchange->Input() == InputState::Flowing) {
        lbCounters->setText(CountersText);
    }
}

void frmReceiver::ShowInputState(InputState state) {
    switch (state) {
    case InputState::Flowing:
        lbCounters->setText(CountersText);
        break;
    case InputState::Waiting:
        lbCounters->setText(QStringLiteral("waiting for\ninput"));
        break;
    case InputState::Missing:
        lbCounters->setText(QStringLiteral("no input"));
        break;
    }
    if (LogCounters && (state == InputState::Missing || InputShown == InputState::Missing)) {
        std::fprintf(stderr, "corvane: input %s\n",
                     state == InputState::Missing ? "missing" : "back");
    }
    InputShown = state;
}

std::string frmReceiver::CountersLine() const {
    const SoundCounters c = Exchange->Counters();
    return "corvane: counters lost=" + std::to_string(c.CaptureOverruns + c.DroppedNotifications) +
           " merged=" + std::to_string(c.MergedNotifications) +
           " restarts=" + std::to_string(Exchange->PlaybackRestarts()) +
           " xruns=" + std::to_string(c.DeviceXruns) +
           " stalled=" + std::to_string(Exchange->StalledBlocks()) +
           " slips=" + std::to_string(c.LeadSlips) + " fills=" + std::to_string(c.DryFills);
}

bool frmReceiver::StartIqRecording(const std::string& path) {
    StopIqRecording();
    if (const std::string why = Recorder.Start(path); !why.empty()) {
        chkRecord->setChecked(false);
        ShowMessage(QString::fromStdString("Unable to record the I/Q: " + why + "."),
                    windowTitle());
        return false;
    }
    RecordFolder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
    Exchange->SetCaptureTap(&Recorder);
    chkRecord->setChecked(true);
    chkRecord->setToolTip(
        QStringLiteral("Recording the captured I/Q to %1").arg(QString::fromStdString(path)));
    return true;
}

void frmReceiver::StopIqRecording() {
    Exchange->SetCaptureTap(nullptr);
    const std::string why = Recorder.Stop();
    chkRecord->setChecked(false);
    chkRecord->setToolTip(QStringLiteral("Record the captured I/Q to a WAV file"));
    if (!why.empty()) {
        ShowMessage(QString::fromStdString("The I/Q recording is incomplete: " + why + "."),
                    windowTitle());
    }
}

void frmReceiver::chkRecord_Click() {
    if (!chkRecord->isChecked()) {
        StopIqRecording();
        return;
    }
    const QString folder =
        RecordFolder.empty() ? QDir::homePath() : QString::fromStdString(RecordFolder);
    const QString name =
        QStringLiteral("corvane-iq-%1.wav")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    StartIqRecording(QDir(folder).filePath(name).toStdString());
}

} // namespace corvane
