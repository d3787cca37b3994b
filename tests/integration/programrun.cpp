#include "programrun.h"

#include "calcspreadsheet.h"
#include "frmmain.h"
#include "modalanswer.h"
#include "modmain.h"
#include "saveasanswer.h"
#include "settings.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

ProgramRun::ProgramRun() = default;

ProgramRun::~ProgramRun() {
    if (m_instrument.state() != QProcess::NotRunning) {
        m_instrument.kill();
        m_instrument.waitForFinished(5000);
    }
    if (m_program && window() && window()->captureState() != 0) {
        // A run that did not get to its stop: closing stops the capture, and the question for
        // a new name is cancelled.
        const ModalAnswer cancel([](QDialog*) {});
        m_program.reset();
    }
}

bool ProgramRun::fail(const QString& problem) {
    m_problem = problem;
    return false;
}

frmMain* ProgramRun::window() const {
    return m_program ? m_program->mainWindow() : nullptr;
}

void ProgramRun::clickButton(const char* name) {
    QTest::mouseClick(window()->findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
}

bool ProgramRun::start() {
    if (!m_pty.start())
        return fail(QStringLiteral("socat could not make a pseudo-terminal pair"));
    // The settings file lies in the configuration folder of the home this process runs in.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    {
        const auto settings = openSettings();
        settings->setValue(QStringLiteral("Communication/ComPort"), QStringLiteral("1"));
        settings->setValue(QStringLiteral("Ports/COM1"), m_pty.deviceA());
    }
    m_program = std::make_unique<modMain>(std::make_unique<CalcSpreadsheetFactory>());
    if (!m_program->Main({false, QCoreApplication::applicationDirPath()}))
        return fail(QStringLiteral("the program refused to start: another copy runs"));
    if (!QTest::qWaitForWindowExposed(window()))
        return fail(QStringLiteral("the main window did not show"));
    clickButton("cmdStart");
    if (window()->captureState() != 1)
        return fail(QStringLiteral("Start failed: ") + statusText());
    return true;
}

bool ProgramRun::playInstrument(const QStringList& arguments) {
    m_instrument.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_instrument.start(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/celvane-instrument"),
                       arguments + QStringList{QStringLiteral("--device"), m_pty.deviceB()});
    if (!m_instrument.waitForStarted(10000))
        return fail(QStringLiteral("celvane-instrument did not start: ") +
                    m_instrument.errorString());
    return true;
}

bool ProgramRun::waitForInstrument(std::chrono::milliseconds timeout) {
    if (!QTest::qWaitFor([this] { return m_instrument.state() == QProcess::NotRunning; },
                         int(timeout.count())))
        return fail(QStringLiteral("the instrument is still sending"));
    if (m_instrument.exitStatus() != QProcess::NormalExit || m_instrument.exitCode() != 0)
        return fail(
            QStringLiteral("the instrument failed, exit code %1").arg(m_instrument.exitCode()));
    return true;
}

bool ProgramRun::waitUntilReceived(qint64 bytes, std::chrono::milliseconds timeout) {
    const ReceivePath& receive = window()->receivePath();
    if (!QTest::qWaitFor([&] { return receive.bytesReceived() >= bytes; }, int(timeout.count())))
        return fail(QStringLiteral("%1 of %2 bytes received; status \"%3\"")
                        .arg(receive.bytesReceived())
                        .arg(bytes)
                        .arg(statusText()));
    return true;
}

bool ProgramRun::waitUntilWritten(qint64 bytes, std::chrono::milliseconds timeout) {
    const ReceivePath& receive = window()->receivePath();
    if (!QTest::qWaitFor([&] { return bytesWritten() >= bytes; }, int(timeout.count())))
        return fail(QStringLiteral("%1 of %2 bytes received, %3 written; status \"%4\"")
                        .arg(receive.bytesReceived())
                        .arg(bytes)
                        .arg(bytesWritten())
                        .arg(statusText()));
    return true;
}

qint64 ProgramRun::bytesWritten() const {
    const ReceivePath& receive = window()->receivePath();
    return receive.bytesReceived() - receive.receiveBuffer().size();
}

QString ProgramRun::statusText() const {
    return window()->findChild<QLabel*>(QStringLiteral("panStatus"))->text();
}

bool ProgramRun::stopSavingAs(const QString& path) {
    const ModalAnswer answer = answerSaveAs(path);
    clickButton("cmdStop");
    if (!answer.reached() || !answer.closedByUser())
        return fail(QStringLiteral("the question for a new name was not answered"));
    return true;
}
