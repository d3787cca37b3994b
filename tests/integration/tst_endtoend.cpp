// The whole program into a real headless office, with an instrument on a pseudo-terminal pair.

#include "officetesthome.h"
#include "programrun.h"

#include <QRegularExpression>
#include <QtTest>

#include <csignal>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

constexpr qint64 kLineBytes = 50; // of an ORVA line

class tst_EndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_home.isReady()); }

    void linesLandRowByRow_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("stuck"); // the office stopped while the lines come
        QTest::newRow("115200 baud") << 115200 << 400 << false;
        QTest::newRow("921600 baud, Stop writes what waits") << 921600 << 5000 << true;
    }

    void linesLandRowByRow() {
        QFETCH(int, baud);
        QFETCH(int, lines);
        QFETCH(bool, stuck);
        const qint64 bytes = lines * kLineBytes;
        const QString path = m_home.file(u"orva.xls"_s);
        ProgramRun run;
        QVERIFY2(run.start(), qPrintable(run.problem()));
        const pid_t office = officeProcesses().value(0);
        if (stuck)
            ::kill(office, SIGSTOP);
        QVERIFY2(run.playInstrument("orva", lines, baud, 120s), qPrintable(run.problem()));
        QTRY_COMPARE_WITH_TIMEOUT(run.window()->receivePath().bytesReceived(), bytes, 120000);
        if (stuck)
            ::kill(office, SIGCONT); // Stop then writes what still waits
        else
            QVERIFY2(run.waitUntilWritten(bytes, 120s), qPrintable(run.problem()));
        QTRY_COMPARE_WITH_TIMEOUT(run.statusText(), u"Bytes Received: %1"_s.arg(bytes), 60000);
        QVERIFY(!stuck || run.bytesWritten() < bytes);
        QFile::remove(path); // the dialog would ask whether to replace it
        QVERIFY2(run.stopSavingAs(path), qPrintable(run.problem()));
        QCOMPARE(run.statusText(), QString()); // saved, nothing kept elsewhere
        QCOMPARE(officeProcesses(), QList<pid_t>{});
        // Line i whole in row i + 1 of one sheet, in columns 1 to 8, nothing beside or below.
        const QList<SheetCells> sheets = readXls(path);
        QVERIFY(sheets.size() == 1 && sheets[0].size() == lines * 8);
        static const QRegularExpression orva(
            uR"(^n0 n(\d+) t\d\d-\d\d-\d{4} t\d\d:\d\d:\d\d n(4\d|5\d|60) t\(RAW\) n2[0-5] t\(C\)$)"_s);
        for (int row = 1; row <= lines; ++row) {
            QStringList cells;
            for (int column = 1; column <= 8; ++column) {
                const QVariant cell = sheets[0].value({row, column});
                cells << (cell.typeId() == QMetaType::Double ? u"n"_s : u"t"_s) + cell.toString();
            }
            const QRegularExpressionMatch line = orva.match(cells.join(u' '));
            QVERIFY2(line.hasMatch() && line.captured(1).toInt() == (row - 1) % 10000,
                     qPrintable(u"row %1: "_s.arg(row) + cells.join(u' ')));
        }
    }

private:
    OfficeTestHome m_home;
};

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
