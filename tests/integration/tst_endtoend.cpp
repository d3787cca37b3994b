// The whole program into a real headless office, with an instrument on a pseudo-terminal pair.

#include "officetesthome.h"
#include "programrun.h"

#include <QRegularExpression>
#include <QtTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class tst_EndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_home.isReady()); }

    void linesLandRowByRow() {
        const int lines = 400;
        const qint64 bytes = lines * 50; // an ORVA line is 50 bytes
        const QString path = m_home.file(u"orva.xls"_s);
        ProgramRun run;
        QVERIFY2(run.start(), qPrintable(run.problem()));
        QVERIFY2(run.playInstrument("orva", lines, 115200, 120s), qPrintable(run.problem()));
        QTRY_COMPARE_WITH_TIMEOUT(run.statusText(), u"Bytes Received: %1"_s.arg(bytes), 60000);
        QVERIFY2(run.stopSavingAs(path), qPrintable(run.problem()));
        QCOMPARE(run.statusText(), QString()); // saved, nothing kept elsewhere
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
            QVERIFY2(line.hasMatch() && line.captured(1).toInt() == row - 1,
                     qPrintable(u"row %1: "_s.arg(row) + cells.join(u' ')));
        }
    }

private:
    OfficeTestHome m_home;
};

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
