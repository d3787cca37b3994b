#include "capturerig.h"

#include "saveasanswer.h"

CaptureRig::CaptureRig(const QString& masterFolder)
    : clock(QDateTime(QDate(2026, 12, 6), QTime(14, 30, 0)))
    , capture(globals, serial, factory, shell, view, masterFolder) {}

pid_t CaptureRig::officePid() const {
    const auto* office = dynamic_cast<const CalcSpreadsheet*>(globals.excelApp.get());
    return office ? office->officePid() : 0;
}

bool CaptureRig::receive(const QString& text) {
    serial.arrived += text;
    QString waiting;
    do {
        waiting = path.receiveBuffer();
        path.pump();
        if (view.excelLamp == LampColour::Red)
            return false;
        // A pass writes for a while only; an incomplete last line waits for more text.
    } while (view.excelLamp == LampColour::Yellow || path.receiveBuffer() != waiting);
    return true;
}

bool CaptureRig::stopSavingAs(const QString& path) {
    const ModalAnswer answer = answerSaveAs(path);
    capture.CaptureStop();
    return answer.reached() && answer.closedByUser();
}
