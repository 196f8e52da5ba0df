// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The window's looks: how each control is made (caption, colour, font, first selection) and
// where it stands. Behaviour lives in frmReceiver.cpp.
#include "frmReceiver.h"

#include "Tuning.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <array>
#include <cmath>

namespace corvane {

namespace {

// Window faces and their substitutes from the Debian font packages the install script brings.
// Sizes are the original point sizes at 96 dots per inch, in device-independent pixels, so the
// layout does not depend on the screen's DPI setting and follows its scale factor.
const QStringList SansFaces{"Liberation Sans", "Arial", "MS Sans Serif", "DejaVu Sans"};
const QStringList HeavyFaces{"DejaVu Sans", "Arial Black", "Liberation Sans"};

QFont MakeFont(const QStringList& faces, int pixels, QFont::Weight weight) {
    QFont font;
    font.setFamilies(faces);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    font.setItalic(false);
    return font;
}

const QFont& PlainFont() { // "MS Sans Serif" 8.25
    static const QFont font = MakeFont(SansFaces, 11, QFont::Normal);
    return font;
}

void Paint(QWidget* widget, QColor background, QColor text = QColor()) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Button, background);
    if (text.isValid()) {
        palette.setColor(QPalette::WindowText, text);
        palette.setColor(QPalette::ButtonText, text);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// An option or command button drawn as a push button in its background colour; a selected
// option stays pressed.
void PushLook(QPushButton* button, QColor background, int border) {
    // Raised: light top and left edges; pressed or selected: the edges swap.
    button->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: black; padding: 0px;"
                       " border-style: solid; border-width: %2px;"
                       " border-color: white rgb(64, 64, 64) rgb(64, 64, 64) white; }"
                       " QPushButton:pressed, QPushButton:checked {"
                       " border-color: rgb(64, 64, 64) white white rgb(64, 64, 64); }")
            .arg(background.name())
            .arg(border));
}

QPushButton* OptionButton(const QString& caption, QColor background, const QFont& font,
                          QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setCheckable(true);
    button->setAutoExclusive(true); // the buttons of one frame are one group
    button->setFocusPolicy(Qt::TabFocus);
    button->setFont(font);
    PushLook(button, background, 2);
    return button;
}

QGroupBox* Frame(const QString& caption, int titlePixels, bool bold, QWidget* parent) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setFont(MakeFont(SansFaces, titlePixels, bold ? QFont::Bold : QFont::Normal));
    return frame;
}

template <typename T> T* Plain(T* widget) {
    widget->setFont(PlainFont());
    return widget;
}

const QColor PushYellow(255, 255, 192);
const QColor PushGreen(128, 255, 128);
const QColor StepGreen(192, 255, 192);
const QColor ReadoutBlue(0, 0, 128);

constexpr std::array<int, 7> StepLeft{25, 50, 90, 115, 140, 180, 205};
constexpr std::array<int, 9> DigitLeft{25, 50, 75, 90, 115, 140, 165, 180, 205};

} // namespace

// ------------------------------------------------------------------------------------------
// The controls as they stand at creation: captions, colours, fonts, start selections.

void frmReceiver::CreateControls() {
    setWindowTitle(QStringLiteral("Corvane 2.1"));
    setFont(PlainFont());

    Slider1 = new QSlider(Qt::Horizontal, this);
    Slider1->setRange(-TuningLimitHz, TuningLimitHz);
    Slider1->setSingleStep(10);
    Slider1->setPageStep(50);
    Slider1->setValue(0);

    Picture1 = new PictureBoxWidget(QColor(0, 0, 192), 0, this);
    Picture2 = new PictureBoxWidget(Qt::black, 0, Picture1);
    Picture3 = new PictureBoxWidget(QColor(0, 128, 0), 1, this);
    Picture4 = new PictureBoxWidget(Qt::black, 1, Picture3);
    Picture5 = new PictureBoxWidget(QColor(192, 192, 192), 0, this);

    frPower = Frame(QStringLiteral("Power"), 11, true, this);
    FrWindow = Frame(QStringLiteral("Window"), 11, true, this);
    FrTest = Frame(QStringLiteral("Test"), 11, true, this);
    FrTuning = Frame(QStringLiteral("Tuning-Demod."), 13, true, this);
    FrAGC = Frame(QStringLiteral("AGC"), 11, true, this);
    Frame1 = Frame(QStringLiteral("Run mS"), 11, true, this);
    Frame2 = Frame(QString(), 11, false, this);

    cmdOn = Plain(new QPushButton(QStringLiteral("ON"), frPower));
    cmdOff = Plain(new QPushButton(QStringLiteral("OFF"), frPower));
    PushLook(cmdOn, PushYellow, 2);
    PushLook(cmdOff, PushYellow, 2);

    Option1 = Plain(new QRadioButton(QStringLiteral("No W."), FrWindow));
    Option2 = Plain(new QRadioButton(QStringLiteral("B. H."), FrWindow));
    Option3 = Plain(new QRadioButton(QStringLiteral("Hann."), FrWindow));
    Option2->setChecked(true);

    Label2 = Plain(new QLabel(QStringLiteral("     10kHz "), FrTest));
    Label4 = Plain(new QLabel(QStringLiteral("  - 100dBV"), FrTest));
    Option8 = Plain(new QRadioButton(QStringLiteral("No T."), FrTest));
    Option9 = Plain(new QRadioButton(QStringLiteral("I + Q"), FrTest));
    Option10 = Plain(new QRadioButton(QStringLiteral("I - Q"), FrTest));
    Option11 = Plain(new QRadioButton(QStringLiteral("I"), FrTest));
    Check1 = Plain(new QCheckBox(QStringLiteral("+ 20dB"), FrTest));
    Option8->setChecked(true);

    // Element 0 of each readout array; Form_Load adds the others as copies of it.
    lbFreq[0] = LoadDigit(0);
    CmdP[0] = LoadStep(0, true);
    CmdM[0] = LoadStep(0, false);
    LbMhz = new QLabel(QStringLiteral("MHz"), FrTuning);
    LbMhz->setFont(MakeFont(SansFaces, 19, QFont::Bold)); // "Arial" 14.25 bold
    Line1 = new QFrame(FrTuning);
    Paint(Line1, QColor(0, 128, 0));

    frFilter = Frame(QStringLiteral("Video F."), 11, true, FrTuning);
    Option4 = OptionButton(QStringLiteral("1   x"), PushGreen, PlainFont(), frFilter);
    Option5 = OptionButton(QStringLiteral("4   x"), PushGreen, PlainFont(), frFilter);
    Option6 = OptionButton(QStringLiteral("8   x"), PushGreen, PlainFont(), frFilter);
    // The front end's two switches, in the free space between the Mode and Video F. frames.
    chkIqCorrect = Plain(new QCheckBox(QStringLiteral("I/Q corr."), FrTuning));
    chkIqCorrect->setToolTip(
        QStringLiteral("Correct the front end's I/Q gain and phase imbalance and its DC"));
    chkSwapIq = Plain(new QCheckBox(QStringLiteral("Swap I/Q"), FrTuning));
    chkSwapIq->setToolTip(QStringLiteral("The front end's I and Q reach the other inputs"));
    chkWaterfall = Plain(new QCheckBox(QStringLiteral("Waterfall"), FrTuning));
    chkWaterfall->setToolTip(
        QStringLiteral("The whole band's waterfall in a window of its own (W)"));
    Option7 = OptionButton(QStringLiteral("16 x"), PushGreen, PlainFont(), frFilter);
    Option5->setChecked(true);

    frMode = Frame(QStringLiteral("Mode"), 11, true, FrTuning);
    const QFont small = MakeFont(SansFaces, 9, QFont::Normal); // "Small Fonts" 6.75
    OptCW100 = OptionButton(QStringLiteral("CW 100Hz"), PushGreen, small, frMode);
    OptCW500 = OptionButton(QStringLiteral("CW 500Hz"), PushGreen, small, frMode);
    OptUsb = OptionButton(QStringLiteral("USB2.7kHz"), PushGreen, small, frMode);
    OptLsb = OptionButton(QStringLiteral("LSB2.7kHz"), PushGreen, small, frMode);
    OptCW500->setChecked(true);

    Label5 = Plain(new QLabel(QStringLiteral("GAIN"), FrAGC));
    Label5->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Slider2 = new QSlider(Qt::Vertical, FrAGC);
    Slider2->setRange(40, 100);
    Slider2->setSingleStep(1);
    Slider2->setPageStep(5);
    Slider2->setInvertedAppearance(true); // 40 (most gain) at the top
    // Up, Page Up and the wheel turned up move the thumb up, as the keys' arrows say.
    Slider2->setInvertedControls(true);
    OptAgcOff = OptionButton(QStringLiteral("Off"), PushGreen, PlainFont(), FrAGC);
    OptAgcSlow = OptionButton(QStringLiteral("Slow"), PushGreen, PlainFont(), FrAGC);
    OptAgcFast = OptionButton(QStringLiteral("Fast"), PushGreen, PlainFont(), FrAGC);
    OptAgcFast->setChecked(true);

    Label1 = Plain(new QLabel(Frame1));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Paint(Label1, palette().color(QPalette::Base), palette().color(QPalette::Text));

    lbCounters = new QLabel(Frame2);
    lbCounters->setFont(MakeFont(SansFaces, 10, QFont::Normal));
    lbCounters->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbCounters->setToolTip(QStringLiteral(
        "Blocks lost on the way (capture overruns, device xruns) and playback restarts"));
    ShowCounters({}, 0, 0);
    chkRecord = new QCheckBox(QStringLiteral("Rec I/Q"), Frame2);
    chkRecord->setFont(MakeFont(SansFaces, 10, QFont::Normal));
    chkRecord->setToolTip(QStringLiteral("Record the captured I/Q to a WAV file"));
}

QLabel* frmReceiver::LoadDigit(std::int32_t index) {
    auto* digit = new QLabel(QStringLiteral("0"), FrTuning);
    digit->setObjectName(QStringLiteral("lbFreq%1").arg(index));
    digit->setFont(MakeFont(HeavyFaces, 27, QFont::Black)); // "Arial Black" 20.25
    digit->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Paint(digit, ReadoutBlue, Qt::white);
    return digit;
}

QPushButton* frmReceiver::LoadStep(std::int32_t index, bool up) {
    auto* button = new QPushButton(up ? QStringLiteral("+") : QStringLiteral("-"), FrTuning);
    button->setObjectName(QStringLiteral("%1%2").arg(up ? "CmdP" : "CmdM").arg(index));
    button->setFont(MakeFont(HeavyFaces, 11, QFont::Black)); // "Arial Black" 8.25
    button->setFocusPolicy(Qt::TabFocus);
    PushLook(button, StepGreen, 1);
    QObject::connect(button, &QPushButton::clicked, this, [this, index, up] {
        if (up) {
            CmdP_Click(index);
        } else {
            CmdM_Click(index);
        }
    });
    return button;
}

// Steps 4-6 of start-up: every control at its place, then the readout's digit and step arrays
// made from their first elements and placed.
void frmReceiver::LayOutControls() {
    // 4. Every control at its place.
    Slider1->setGeometry(0, 0, 1019, 30);
    Picture1->setGeometry(0, 30, 1018, 345);
    Picture3->setGeometry(310, 380, 260, 330);
    Picture5->setGeometry(110, 400, 180, 180);
    frPower->setGeometry(10, 390, 80, 100);
    FrWindow->setGeometry(210, 600, 80, 110);
    FrTest->setGeometry(10, 500, 80, 210);
    FrTuning->setGeometry(676, 390, 300, 320);
    FrAGC->setGeometry(580, 390, 60, 320);
    Frame1->setGeometry(110, 600, 80, 50);
    Frame2->setGeometry(110, 660, 80, 50);
    Picture2->setGeometry(9, 1, 1000, 280);
    // Picture3's contents are placed inside its 1-pixel border.
    Picture4->setGeometry(1 + 30, 1 + 30, 200, 282);
    cmdOn->setGeometry(10, 20, 60, 30);
    cmdOff->setGeometry(10, 60, 60, 30);
    Option1->setGeometry(10, 20, 65, 20);
    Option2->setGeometry(10, 40, 65, 20);
    Option3->setGeometry(10, 60, 65, 20);
    Label2->setGeometry(5, 20, 65, 20);
    Label4->setGeometry(5, 40, 65, 20);
    Option8->setGeometry(10, 100, 65, 20);
    Option9->setGeometry(10, 120, 65, 20);
    Option10->setGeometry(10, 140, 65, 20);
    Option11->setGeometry(10, 160, 65, 20);
    Check1->setGeometry(10, 180, 65, 20);
    LbMhz->setGeometry(240, 50, 50, 30);
    // The separator and the video filter frame follow FrTuning's width as it stands now.
    const int tuningWidth = FrTuning->width();
    Line1->setGeometry(0, 120 - 1, tuningWidth - 3, 3); // 3 pixels thick, centred on row 120
    frFilter->setGeometry(static_cast<int>(std::nearbyint(tuningWidth * 2.0 / 3.0 + 10)), 130, 80,
                          180);
    Option4->setGeometry(10, 20, 65, 25);
    Option5->setGeometry(10, 60, 65, 25);
    Option6->setGeometry(10, 100, 65, 25);
    Option7->setGeometry(10, 140, 65, 25);
    frMode->setGeometry(10, 130, 90, 180);
    OptCW100->setGeometry(10, 20, 70, 25);
    OptCW500->setGeometry(10, 60, 70, 25);
    OptUsb->setGeometry(10, 100, 70, 25);
    OptLsb->setGeometry(10, 140, 70, 25);
    Label5->setGeometry(5, 20, 40, 20);
    Slider2->setGeometry(5, 35, 30, 160);
    OptAgcOff->setGeometry(10, 215, 40, 25);
    OptAgcSlow->setGeometry(10, 250, 40, 25);
    OptAgcFast->setGeometry(10, 285, 40, 25);
    Label1->setGeometry(10, 20, 60, 20);
    lbCounters->setGeometry(6, 4, 70, 24);
    chkRecord->setGeometry(6, 29, 72, 17);
    chkIqCorrect->setGeometry(110, 150, 90, 20);
    chkSwapIq->setGeometry(110, 180, 90, 20);
    chkWaterfall->setGeometry(110, 210, 90, 20);

    // 5. The rest of the readout arrays.
    for (std::int32_t index = 1; index <= 6; ++index) {
        CmdP[static_cast<std::size_t>(index)] = LoadStep(index, true);
        CmdP[static_cast<std::size_t>(index)]->setVisible(true);
        CmdM[static_cast<std::size_t>(index)] = LoadStep(index, false);
        CmdM[static_cast<std::size_t>(index)]->setVisible(true);
    }
    for (std::int32_t index = 1; index <= 8; ++index) {
        lbFreq[static_cast<std::size_t>(index)] = LoadDigit(index);
        lbFreq[static_cast<std::size_t>(index)]->setVisible(true);
    }

    // 6. Their places; the two points between the digit groups.
    for (std::size_t k = 0; k < lbFreq.size(); ++k) {
        const int width = (k == 2 || k == 6) ? 15 : 25;
        lbFreq[k]->setGeometry(DigitLeft[k], 40, width, 45);
    }
    lbFreq[2]->setText(QStringLiteral("."));
    lbFreq[6]->setText(QStringLiteral("."));
    for (std::size_t k = 0; k < CmdP.size(); ++k) {
        CmdP[k]->setGeometry(StepLeft[k], 24, 25, 10);
        CmdM[k]->setGeometry(StepLeft[k], 87, 25, 10);
    }
}

} // namespace corvane
