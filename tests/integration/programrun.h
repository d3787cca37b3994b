#pragma once

#include "calcspreadsheet.h"
#include "frmmain.h"
#include "frmwaiting.h"
#include "modmain.h"
#include "ptypair.h"
#include "saveasanswer.h"
#include "settings.h"

#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>

// The program as a user runs it, in this process and home: the entry routine with Calc, COM 1
// mapped to one end of a pseudo-terminal pair, celvane-instrument on the other. Calls that can
// fail return false and say why in problem().
class ProgramRun {
public:
    ~ProgramRun() {
        if (window() && window()->captureState() != 0) {
            // Not stopped: closing stops it, the question for a new name cancelled.
            const ModalAnswer cancel([](QDialog*) {});
            m_program.reset();
        }
    }

    // port: COM 1's keys beside its device, such as {"COM1Time", "on"}; device: COM 1's device
    // in place of a pseudo-terminal pair.
    bool start(const QMap<QString, QString>& port = {}, const QString& device = {}) {
        if (device.isEmpty() && !m_pty.start())
            return fail("socat could not make a pseudo-terminal pair");
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
        const auto settings = openSettings();
        settings->remove("Ports");
        settings->setValue("Communication/ComPort", "1");
        settings->setValue("Ports/COM1", device.isEmpty() ? m_pty.deviceA() : device);
        for (const auto& [key, value] : port.asKeyValueRange())
            settings->setValue("Ports/" + key, value);
        settings->sync();
        m_program = std::make_unique<modMain>(
            std::make_unique<CalcSpreadsheetFactory>(CalcOptions::fromEnvironment(), &m_waiting));
        if (!m_program->Main({false, QCoreApplication::applicationDirPath()}) ||
            !QTest::qWaitForWindowExposed(window()))
            return fail("the program did not start");
        click("cmdStart");
        return window()->captureState() == 1 || fail("Start failed: " + statusText());
    }
    // Plays the model, count outputs at the line speed without pause, until the instrument ends;
    // more: further options of celvane-instrument.
    bool playInstrument(const char* model, qint64 count, int baud,
                        std::chrono::milliseconds timeout, const QStringList& more = {}) {
        m_instrument.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString options = QString("--model %1 --interval 0 --count %2 --baud %3 --device")
                                    .arg(QLatin1String(model))
                                    .arg(count)
                                    .arg(baud);
        m_instrument.start(QCoreApplication::applicationDirPath() + "/celvane-instrument",
                           options.split(u' ') << m_pty.deviceB() << more);
        const bool ended =
            m_instrument.waitForStarted(10000) &&
            turnUntil([this] { return m_instrument.state() == QProcess::NotRunning; }, timeout);
        return (ended && m_instrument.exitStatus() == QProcess::NormalExit &&
                m_instrument.exitCode() == 0) ||
               fail("the instrument failed: " + m_instrument.errorString());
    }
    // Runs until the bytes are received and every complete line is written.
    bool waitUntilWritten(qint64 bytes, std::chrono::milliseconds timeout) {
        return turnUntil([&] { return bytesWritten() >= bytes; }, timeout) ||
               fail(QString("%1 of %2 bytes written; status \"%3\"")
                        .arg(bytesWritten())
                        .arg(bytes)
                        .arg(statusText()));
    }
    bool stopSavingAs(const QString& path) {
        const ModalAnswer answer = answerSaveAs(path, kPatienceMs);
        click("cmdStop");
        return (turnUntil([&] { return answer.reached(); },
                          std::chrono::milliseconds(kPatienceMs)) &&
                answer.closedByUser()) ||
               fail("the question for a new name was not answered");
    }
    frmMain* window() const { return m_program ? m_program->mainWindow() : nullptr; }
    QString statusText() const { return window()->findChild<QLabel*>("panStatus")->text(); }
    qint64 bytesWritten() const {
        return window()->receivePath().bytesReceived() -
               window()->receivePath().receiveBuffer().size();
    }
    QString problem() const { return m_problem; }

    // Turns the event loop until done or the timeout, looking every 10 ms. Unlike QTest::qWaitFor
    // it never sleeps with events waiting: the program reads its port as promptly as in its own
    // event loop.
    static bool turnUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        QEventLoop loop;
        QTimer look;
        look.callOnTimeout([&] {
            if (done())
                loop.quit();
        });
        look.start(10);
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        loop.exec();
        return done();
    }

private:
    // Stop writes what waits first, in passes between which the window goes on answering.
    static constexpr int kPatienceMs = 3600 * 1000;

    bool fail(const QString& problem) { return m_problem = problem, false; }
    void click(const char* name) {
        QTest::mouseClick(window()->findChild<QPushButton*>(name), Qt::LeftButton);
    }

    PtyPair m_pty;
    QProcess m_instrument;
    frmWaiting m_waiting; // as the program shows it while the office keeps it waiting
    std::unique_ptr<modMain> m_program;
    QString m_problem;
};
