#pragma once

#include "ptypair.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class frmMain;
class modMain;

// The program as a user runs it, in this process: the entry routine with LibreOffice Calc as
// its spreadsheet, COM 1 mapped in the settings file to one end of a pseudo-terminal pair, and
// celvane-instrument playing an instrument on the other end. The process's home (documents,
// configuration, the office's profile) is the caller's.
class ProgramRun {
public:
    ProgramRun();
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Makes the pseudo-terminal pair, maps COM 1 to it, starts the program and clicks Start.
    // True once the capture runs; otherwise problem() says why.
    bool start();

    // Starts celvane-instrument on the other end with the arguments (--device is added).
    bool playInstrument(const QStringList& arguments);
    // Lets the program run until the instrument has ended; true when it ended by itself
    // having sent everything.
    bool waitForInstrument(std::chrono::milliseconds timeout);
    // Lets the program run until it has taken the bytes from the port, written or not.
    bool waitUntilReceived(qint64 bytes, std::chrono::milliseconds timeout);
    // Lets the program run until it has received the bytes and written every complete line.
    bool waitUntilWritten(qint64 bytes, std::chrono::milliseconds timeout);

    // Clicks Stop and answers the question for a new workbook name with path. True when the
    // question came and was answered.
    bool stopSavingAs(const QString& path);

    frmMain* window() const;
    // What the status text shows.
    QString statusText() const;
    // Received bytes already written into cells (the receive buffer holds the rest).
    qint64 bytesWritten() const;
    QString problem() const { return m_problem; }

private:
    bool fail(const QString& problem);
    void clickButton(const char* name);

    PtyPair m_pty;
    QProcess m_instrument;
    std::unique_ptr<modMain> m_program;
    QString m_problem;
};
