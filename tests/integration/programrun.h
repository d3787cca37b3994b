#pragma once

#include "frmwaiting.h"
#include "officetesthome.h"
#include "ptypair.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <chrono>
#include <memory>

class frmMain;
class modMain;

// The program as a user runs it, in this process and home: the entry routine with Calc, COM 1
// mapped to one end of a pseudo-terminal pair, celvane-instrument on the other. Calls that can
// fail return false and say why in problem().
class ProgramRun {
public:
    ProgramRun();
    ~ProgramRun();

    // Starts the program and clicks Start; true once the capture runs.
    bool start();
    // Plays the model, count outputs at the line speed without pause, until the instrument ends.
    bool playInstrument(const char* model, qint64 count, int baud,
                        std::chrono::milliseconds timeout);
    // Runs until the bytes are received and every complete line is written.
    bool waitUntilWritten(qint64 bytes, std::chrono::milliseconds timeout);
    // Clicks Stop and answers the question for a new name with path.
    bool stopSavingAs(const QString& path);
    // Clicks Stop and runs until it is over; a question for a new name is cancelled.
    bool stop();
    // No capture runs and no stop is under way.
    bool startEnabled() const;
    // From the last click on Stop to the question.
    std::chrono::milliseconds stopToQuestion() const { return m_stopToQuestion; }
    // The longest time between two turns of the event loop from now to the next question
    // (within the watching timer's 10 ms).
    void watchEventLoop();
    qint64 longestGapMs() const { return m_longestGap; }

    frmMain* window() const;
    QString statusText() const;
    // Received bytes already written into cells.
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

// What a saved workbook holds of ORVA lines sent with a running index (0000 ... 9999, 0000 ...),
// read in row order over all sheets. Each row must be one whole line in columns 1 to 8.
struct OrvaRows {
    qint64 rows = 0;      // whole ORVA lines
    qint64 lost = 0;      // lines sent that no row holds
    qint64 doubled = 0;   // rows holding a line again, or out of order
    qint64 malformed = 0; // rows that are no whole ORVA line
    QString firstProblem;

    bool complete() const { return lost == 0 && doubled == 0 && malformed == 0; }
};

OrvaRows readOrvaRows(const QList<SheetCells>& sheets, qint64 linesSent);
