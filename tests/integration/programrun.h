#pragma once

#include "frmwaiting.h"
#include "officetesthome.h"
#include "ptypair.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

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

    // Makes the pseudo-terminal pair, maps COM 1 to it, starts the program and clicks Start.
    // True once the capture runs; otherwise problem() says why.
    bool start();

    // Plays celvane-instrument as the model on the other end, count outputs with no pause at
    // the line speed, and lets the program run until the instrument has ended; true when it
    // ended by itself having sent everything.
    bool playInstrument(const char* model, qint64 count, int baud,
                        std::chrono::milliseconds timeout);
    // Lets the program run until it has received the bytes and written every complete line.
    bool waitUntilWritten(qint64 bytes, std::chrono::milliseconds timeout);

    // Clicks Stop and answers the question for a new workbook name with path. True when the
    // question came and was answered.
    bool stopSavingAs(const QString& path);
    // Clicks Stop and lets the program run until the stop is over; a question for a new name,
    // should one come, is cancelled.
    bool stop();
    // The Start button is live: no capture runs, and a stop has done its spreadsheet's part.
    bool startEnabled() const;
    // How long the last stop took from the click to the question.
    std::chrono::milliseconds stopToQuestion() const { return m_stopToQuestion; }

    // From now on until the next question the program asks, the longest time between two turns
    // of the event loop is measured, to within the 10 ms of the timer that watches it.
    void watchEventLoop();
    qint64 longestGapMs() const { return m_longestGap; }

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
    frmWaiting m_waiting; // as the program shows it while the office keeps it waiting
    std::unique_ptr<modMain> m_program;
    QString m_problem;
    std::chrono::milliseconds m_stopToQuestion{-1};
    QTimer m_watch;
    QElapsedTimer m_turn;
    qint64 m_longestGap = 0;
};

// What a saved workbook holds of the lines an ORVA instrument sent with a running index
// (0000, 0001, ... 9999, 0000, ...), read in row order over all its sheets.
struct OrvaRows {
    qint64 rows = 0;      // rows holding a whole ORVA line in columns 1 to 8
    qint64 lost = 0;      // lines sent that no row holds
    qint64 doubled = 0;   // rows whose line a row before already held, or out of order
    qint64 malformed = 0; // rows that are not a whole ORVA line in columns 1 to 8
    QString firstProblem; // what was wrong first, for a reader of the test's output

    bool complete() const { return lost == 0 && doubled == 0 && malformed == 0; }
};

// Every row must be one line, in the order sent: the leading 0, the index, the date and time
// as texts, the measurement (40 to 60) and temperature (20 to 25) as numbers, with their unit
// tags, and nothing right of column 8.
OrvaRows readOrvaRows(const QList<SheetCells>& sheets, qint64 linesSent);
