// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "BlockExchange.h"
#include "Constants.h"
#include "Displays.h"
#include "FormTimer.h"
#include "IqCorrector.h"
#include "IqRecorder.h"
#include "ModDsp.h"
#include "PictureBoxWidget.h"
#include "ReceiverSettings.h"
#include "RemoteProtocol.h"
#include "SoundSystem.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

class QAbstractButton;
class QCheckBox;
class QCloseEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace corvane {

class WaterfallWindow;
class RemoteServer;

// The receiver's only window: its controls, start-up, the operator's handlers, tuning, power,
// timers and closing. It owns the signal chain, the displays and the block exchange; the sound
// system is the caller's (PortAudio in the program, a virtual card in tests and tools) and must
// outlive the window.
//
// Use: construct, call Form_Load() once, then show(). Form_Load returns false when the sound
// devices could not be made; the operator has then been told and the program should end.
class frmReceiver final : public QWidget, public ExchangeClient {
public:
    static constexpr std::int32_t OuterWidth = 1024; // the window laid out for a 1024 x 768 screen
    static constexpr std::int32_t OuterHeight = 768;
    // The drawing area inside a 3-pixel border and a 22-pixel title bar: what the controls are
    // placed in. Slider1 (1019 wide) overhangs it by one pixel, as it always has.
    static constexpr std::int32_t ClientWidth = OuterWidth - 2 * 3;
    static constexpr std::int32_t ClientHeight = OuterHeight - 2 * 3 - 22;

    explicit frmReceiver(SoundSystem& sound, const ChainOptions& chain = {},
                         QWidget* parent = nullptr);
    ~frmReceiver() override;
    frmReceiver(const frmReceiver&) = delete;
    frmReceiver& operator=(const frmReceiver&) = delete;

    // Start-up, once, before the window is first shown.
    bool Form_Load();

    // --- Handlers of the operator's controls.
    void OptAgcFast_Click();
    void OptAgcSlow_Click();
    void OptAgcOff_Click();
    void ApplyGain();
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void OptCW100_Click();
    void OptCW500_Click();
    void OptUsb_Click();
    void OptLsb_Click();
    void Option4_Click();
    void Option5_Click();
    void Option6_Click();
    void Option7_Click();
    void Picture2_MouseDown(std::int16_t Button, std::int16_t Shift, double X, double Y);
    void Picture2_MouseMove(std::int16_t Button, std::int16_t Shift, double X, double Y);
    // The wheel over the wide spectrum: `notches` up (positive) or down, 10 Hz each in CW and
    // 50 Hz in SSB.
    void Picture2_Wheel(std::int32_t notches);
    void Slider1_Change();
    void Slider1_Scroll();
    void CmdP_Click(std::int32_t Index);
    void CmdM_Click(std::int32_t Index);
    void UpdateTuning();
    // Tunes to `offsetHz` as a click on the wide spectrum does: Slider1 (rounded, limited to
    // its range), then the tuning routine.
    void TuneTo(double offsetHz);

    // --- Power, timers, closing.
    void cmdOn_Click();
    void cmdOff_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Form_Unload(bool& Cancel);
    // Runs once when the window is up and its displays are built (the first tick), where an
    // operator's first clicks would land: the program makes remembered choices here.
    std::function<void()> Started;
    // Runs once when the window is about to close for good (not when closing is refused),
    // before anything is let go: the program keeps the operator's choices here when asked to.
    std::function<void()> Closing;

    // --- The block exchange's calls into the window.
    void ProcessBlock(std::span<const std::int16_t> InBlock,
                      std::span<std::int16_t> OutBlock) override;
    void DoEvents() override;
    void ShowRunTime(double meanSeconds) override;
    void SoundFailed(const SoundStatus& status) override;
    void ShowCounters(const SoundCounters& sound, std::uint64_t restarts,
                      std::uint64_t stalledBlocks) override;
    void ShowInputState(InputState state) override;

    // --- Recording the captured I/Q ("Rec I/Q").
    // Records from now on into `path` (replaced), ticking the box; false and a message when it
    // cannot be opened. Later ticks record into new time-stamped files in the same folder.
    bool StartIqRecording(const std::string& path);
    void chkRecord_Click();
    IqRecorder Recorder;
    std::string RecordFolder; // where ticking the box records; empty: the home folder

    // --- The front end: which way it is wired, its imbalance, its frequency.
    // Both off by default; ticking either box sets these (and starts the estimates afresh).
    bool SwapIq = false;    // "Swap I/Q": left and right exchanged before anything else
    bool CorrectIq = false; // "I/Q corr.": blind balance and DC correction before anything else
    IqCorrector IqCorrection;
    // The frequency of the front end's oscillator, Hz: the readout shows it plus the tuning
    // offset. Between 24000 and 99976000 (the readout's eight digits); others are ignored.
    static constexpr std::int32_t DefaultLoHz = 7056000;
    static constexpr std::int32_t MinLoHz = 24000;    // the band's low edge stays above 0 Hz
    static constexpr std::int32_t MaxLoHz = 99976000; // its high edge within 99.99999 MHz
    void SetLoFrequency(std::int32_t hz);
    std::int32_t LoFrequency() const { return LoFrequencyHz; }

    // --- The waterfall of the whole band in a window of its own ("Waterfall" under "Swap I/Q",
    // or the key W). Made the first time it is opened or asked for, then kept with its history
    // until this window goes; while closed the blocks do not reach it at all.
    void chkWaterfall_Click();
    bool WaterfallOpen() const;
    void SetWaterfallOpen(bool open); // ticks or clears the box, as the operator would
    WaterfallWindow& WaterfallPanel();
    WaterfallWindow* frmWaterfall = nullptr; // null until first needed

    // --- Remote control over Hamlib's network protocol (--remote): off unless started.
    // Listens at `at` (port 0: any free one); empty when listening, else why not, for the
    // operator. Clients act on the controls as the operator does, between blocks.
    std::string StartRemote(const RemoteEndpoint& at);
    std::unique_ptr<RemoteServer> Remote;       // null without --remote
    RemoteState RemoteView() const;             // what a client reads
    void RemoteAct(const RemoteAction& action); // a client's request, made on the controls

    // One line on stderr with the loss counters at every OFF, failure and exit.
    bool LogCounters = false;
    std::string CountersLine() const;

    // --- Owned parts, reachable for tools and tests.
    ReceiverSettings Settings; // what the chain and the displays read instead of the controls
    Displays Screens;          // Spectrum and VuMeter
    std::unique_ptr<modDSP> Dsp;
    std::unique_ptr<BlockExchange> Exchange;

    // --- Fields of the window.
    std::int32_t VideoFilter = 0; // averaging factor of both spectra: 1, 4, 8 or 16
    std::int32_t PassLow = 0;     // audio pass band of the mode, Hz
    std::int32_t PassHigh = 0;
    std::int16_t UseLowIf = 0; // -1: IF filter designed for 6000 Hz; 0: for 18000 Hz
    std::int16_t Running = 0;  // -1 between ON and OFF
    double TuneOffset = 0.0;   // Hz after snapping and limits; the readout shows the LO + this
    std::int32_t ModeHandlerRuns = 0; // mode handlers run since construction (diagnostics)

    // --- Controls. Positions are set by Form_Load.
    QSlider* Slider1 = nullptr;
    PictureBoxWidget* Picture1 = nullptr;
    PictureBoxWidget* Picture2 = nullptr;
    PictureBoxWidget* Picture3 = nullptr;
    PictureBoxWidget* Picture4 = nullptr;
    PictureBoxWidget* Picture5 = nullptr;
    QGroupBox* frPower = nullptr;
    QGroupBox* FrWindow = nullptr;
    QGroupBox* FrTest = nullptr;
    QGroupBox* FrTuning = nullptr;
    QGroupBox* FrAGC = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* frFilter = nullptr;
    QGroupBox* frMode = nullptr;
    QPushButton* cmdOn = nullptr;
    QPushButton* cmdOff = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QRadioButton* Option8 = nullptr;
    QRadioButton* Option9 = nullptr;
    QRadioButton* Option10 = nullptr;
    QRadioButton* Option11 = nullptr;
    QCheckBox* Check1 = nullptr;
    std::array<QLabel*, 9> lbFreq{};
    std::array<QPushButton*, 7> CmdP{};
    std::array<QPushButton*, 7> CmdM{};
    QLabel* LbMhz = nullptr;
    QFrame* Line1 = nullptr;
    QPushButton* Option4 = nullptr;
    QPushButton* Option5 = nullptr;
    QPushButton* Option6 = nullptr;
    QPushButton* Option7 = nullptr;
    QPushButton* OptCW100 = nullptr;
    QPushButton* OptCW500 = nullptr;
    QPushButton* OptUsb = nullptr;
    QPushButton* OptLsb = nullptr;
    QLabel* Label5 = nullptr;
    QSlider* Slider2 = nullptr;
    QPushButton* OptAgcOff = nullptr;
    QPushButton* OptAgcSlow = nullptr;
    QPushButton* OptAgcFast = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lbCounters = nullptr; // in Frame2: what was lost on the way
    QString CountersText;         // what lbCounters shows while input flows
    InputState InputShown = InputState::Flowing;
    QCheckBox* chkRecord = nullptr;
    QCheckBox* chkIqCorrect = nullptr; // "I/Q corr.", between the Mode and Video F. frames
    QCheckBox* chkSwapIq = nullptr;    // "Swap I/Q", below it
    QCheckBox* chkWaterfall = nullptr; // "Waterfall", below that
    FormTimer Timer1;
    FormTimer Timer2;
    FormTimer Timer3;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void LayOutControls(); // start-up steps 4-6
    void ConnectControls();
    QLabel* LoadDigit(std::int32_t index);
    QPushButton* LoadStep(std::int32_t index, bool up);
    // A mode handler's steps with the numbers of its mode.
    void ChangeMode(DemodMode mode);
    void RerunMode();
    // Every value a click, drag or step asks for goes to Slider1 through here.
    void SetTuningSlider(double requested);
    void StepTuning(std::int32_t Index, std::int32_t direction);
    void ShowMessage(const QString& text, const QString& title);
    void StopIqRecording();
    void ShowReadout();

    bool Released = false;   // the sound system has been let go (the window closed)
    char DecimalPoint = '.'; // the user's decimal separator, for "Run mS"
    std::int32_t LoFrequencyHz = DefaultLoHz;
    // The captured block after the swap and the correction (only when one of them is on).
    std::array<std::int16_t, BlockSamples> FrontEndBlock{};
};

} // namespace corvane
