#include "programrun.h"

#include "calcspreadsheet.h"
#include "frmmain.h"
#include "modalanswer.h"
#include "modmain.h"
#include "saveasanswer.h"
#include "settings.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <chrono>

ProgramRun::ProgramRun() = default;

ProgramRun::~ProgramRun() {
    if (window() && window()->captureState() != 0) {
        // A run that did not get to its stop: closing stops it, the question for a name cancelled.
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
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    {
        const auto settings = openSettings();
        settings->setValue(QStringLiteral("Communication/ComPort"), QStringLiteral("1"));
        settings->setValue(QStringLiteral("Ports/COM1"), m_pty.deviceA());
    }
    m_program = std::make_unique<modMain>(
        std::make_unique<CalcSpreadsheetFactory>(CalcOptions::fromEnvironment(), &m_waiting));
    if (!m_program->Main({false, QCoreApplication::applicationDirPath()}) ||
        !QTest::qWaitForWindowExposed(window()))
        return fail(QStringLiteral("the program did not start"));
    clickButton("cmdStart");
    if (window()->captureState() != 1)
        return fail(QStringLiteral("Start failed: ") + statusText());
    return true;
}

bool ProgramRun::playInstrument(const char* model, qint64 count, int baud,
                                std::chrono::milliseconds timeout) {
    m_instrument.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_instrument.start(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/celvane-instrument"),
                       {QStringLiteral("--model"), QLatin1String(model),
                        QStringLiteral("--interval"), QStringLiteral("0"),
                        QStringLiteral("--count"), QString::number(count), QStringLiteral("--baud"),
                        QString::number(baud), QStringLiteral("--device"), m_pty.deviceB()});
    if (!m_instrument.waitForStarted(10000) ||
        !QTest::qWaitFor([this] { return m_instrument.state() == QProcess::NotRunning; },
                         int(timeout.count())) ||
        m_instrument.exitStatus() != QProcess::NormalExit || m_instrument.exitCode() != 0)
        return fail(QStringLiteral("the instrument failed: ") + m_instrument.errorString());
    return true;
}

bool ProgramRun::waitUntilWritten(qint64 bytes, std::chrono::milliseconds timeout) {
    if (!QTest::qWaitFor([&] { return bytesWritten() >= bytes; }, int(timeout.count())))
        return fail(QStringLiteral("%1 of %2 bytes written; status \"%3\"")
                        .arg(bytesWritten())
                        .arg(bytes)
                        .arg(statusText()));
    return true;
}

qint64 ProgramRun::bytesWritten() const {
    return window()->receivePath().bytesReceived() - window()->receivePath().receiveBuffer().size();
}

QString ProgramRun::statusText() const {
    return window()->findChild<QLabel*>(QStringLiteral("panStatus"))->text();
}

// Stop writes what waits first, in passes between which the window goes on answering.
constexpr int kPatienceMs = 3600 * 1000;

bool ProgramRun::stopSavingAs(const QString& path) {
    const ModalAnswer answer = answerSaveAs(path, kPatienceMs);
    const auto clicked = std::chrono::steady_clock::now();
    clickButton("cmdStop");
    if (!QTest::qWaitFor([&] { return answer.reached(); }, kPatienceMs) || !answer.closedByUser())
        return fail(QStringLiteral("the question for a new name was not answered"));
    m_stopToQuestion =
        std::chrono::duration_cast<std::chrono::milliseconds>(answer.reachedAt() - clicked);
    return true;
}

bool ProgramRun::stop() {
    const ModalAnswer cancel([](QDialog*) {});
    clickButton("cmdStop");
    if (!QTest::qWaitFor([this] { return startEnabled(); }, kPatienceMs))
        return fail(QStringLiteral("the stop did not end"));
    return true;
}

bool ProgramRun::startEnabled() const {
    return window()->findChild<QPushButton*>(QStringLiteral("cmdStart"))->isEnabled();
}

void ProgramRun::watchEventLoop() {
    m_longestGap = 0;
    m_turn.start();
    m_watch.callOnTimeout([this] {
        m_longestGap = qMax(m_longestGap, m_turn.restart());
        if (QApplication::activeModalWidget())
            m_watch.stop();
    });
    m_watch.start(10);
}

namespace {

constexpr qint64 kIndexes = 10000; // the index has four digits and wraps round

// The row holds one whole ORVA line in columns 1 to 8 and nothing beside it.
bool isOrvaRow(const QMap<int, QVariant>& row) {
    QStringList cells;
    for (auto cell = row.cbegin(); cell != row.cend(); ++cell)
        cells << QStringLiteral("%1%2:%3")
                     .arg(cell.key())
                     .arg(cell.value().typeId() == QMetaType::Double ? "n" : "t")
                     .arg(cell.value().toString());
    static const QRegularExpression orva(QStringLiteral(
        R"(^1n:0 2n:\d{1,4} 3t:\d\d-\d\d-\d{4} 4t:\d\d:\d\d:\d\d 5n:(4\d|5\d|60) 6t:\(RAW\) 7n:2[0-5] 8t:\(C\)$)"));
    return orva.match(cells.join(u' ')).hasMatch();
}

} // namespace

OrvaRows readOrvaRows(const QList<SheetCells>& sheets, qint64 linesSent) {
    OrvaRows result;
    const auto note = [&result](const QString& problem) {
        result.firstProblem = result.firstProblem.isEmpty() ? problem : result.firstProblem;
    };
    qint64 next = 0; // the running index of the line expected next
    for (qsizetype sheet = 0; sheet < sheets.size(); ++sheet) {
        QMap<int, QMap<int, QVariant>> rows;
        for (auto cell = sheets[sheet].cbegin(); cell != sheets[sheet].cend(); ++cell)
            rows[cell.key().first].insert(cell.key().second, cell.value());
        for (auto row = rows.cbegin(); row != rows.cend(); ++row) {
            const QString at = QStringLiteral("sheet %1 row %2: ").arg(sheet + 1).arg(row.key());
            if (!isOrvaRow(row.value())) {
                ++result.malformed;
                note(at + QStringLiteral("not an ORVA line in columns 1-8"));
                continue;
            }
            ++result.rows;
            const qint64 index = qint64(row.value()[2].toDouble());
            const qint64 ahead = ((index - next) % kIndexes + kIndexes) % kIndexes;
            if (ahead != 0)
                note(at +
                     QStringLiteral("index %1 where %2 was due").arg(index).arg(next % kIndexes));
            if (ahead < kIndexes / 2) {
                result.lost += ahead;
                next += ahead + 1;
            } else {
                ++result.doubled;
            }
        }
    }
    if (next != linesSent)
        note(QStringLiteral("%1 lines sent, %2 found").arg(linesSent).arg(next));
    result.lost += qMax(linesSent - next, qint64(0));
    result.doubled += qMax(next - linesSent, qint64(0));
    return result;
}
