// corvane: the receiver on the system's default sound card through PortAudio.
#include "PortAudioSound.h"
#include "frmReceiver.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    corvane::PortAudioSound sound; // outlives the window, which releases it when it closes
    corvane::frmReceiver window(sound);
    if (!window.Form_Load()) {
        return 1; // no sound card: the operator has been told
    }
    window.show();
    return app.exec();
}
