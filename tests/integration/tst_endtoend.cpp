// The whole chain as a user meets it: an instrument on a serial line (a pseudo-terminal pair),
// the program started through its entry routine with a real headless LibreOffice, Start, the
// instrument's lines, Stop with a new name, and the saved workbook read back by an independent
// reader.

#include "capturecells.h"
#include "frmmain.h"
#include "officetesthome.h"
#include "orvarows.h"
#include "processes.h"
#include "programrun.h"

#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

// Every ORVA line is 50 characters: the index has four digits, measurement and temperature
// two each.
constexpr qint64 kOrvaLineBytes = 50;
// QUORILEX sends "9999" CR LF or a separator of three CR LF: six characters either way.
constexpr qint64 kQuorilexOutputBytes = 6;

QStringList instrument(const char* model, int count, int baud) {
    return {QStringLiteral("--model"), QLatin1String(model),      QStringLiteral("--interval"),
            QStringLiteral("0"),       QStringLiteral("--count"), QString::number(count),
            QStringLiteral("--baud"),  QString::number(baud)};
}

enum class StopWhen { AllWritten, AllReceived };

} // namespace

Q_DECLARE_METATYPE(StopWhen)

class tst_EndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void orvaLinesLandRowByRow_data();
    void orvaLinesLandRowByRow();
    void quorilexBlocksGoRight();

private:
    // Runs the program with the instrument, then stops it saving under path: once every byte
    // is written, or as soon as every byte has arrived (Stop then writes what waits). The
    // office is gone afterwards.
    void capture(const QStringList& arguments, qint64 bytes, const QString& path,
                 StopWhen stopWhen = StopWhen::AllWritten);

    std::unique_ptr<OfficeTestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_files;
};

void tst_EndToEnd::initTestCase() {
    m_home = std::make_unique<OfficeTestHome>();
    QVERIFY(m_home->isValid());
    QVERIFY(m_home->prepareProfile());
    QVERIFY(QFileInfo::exists(QCoreApplication::applicationDirPath() +
                              QStringLiteral("/celvane-instrument")));
}

void tst_EndToEnd::init() {
    m_files = std::make_unique<QTemporaryDir>();
}

void tst_EndToEnd::cleanup() {
    m_files.reset();
    QCOMPARE(officeProcesses(), QList<pid_t>{});
}

void tst_EndToEnd::capture(const QStringList& arguments, qint64 bytes, const QString& path,
                           StopWhen stopWhen) {
    ProgramRun run;
    QVERIFY2(run.start(), qPrintable(run.problem()));
    QCOMPARE(run.statusText(), QStringLiteral("Ready"));
    // The window as the user sees it, the icons beside the lamps included.
    for (const char* icon : {"imgComPort", "imgExcel"})
        QVERIFY2(!run.window()->findChild<QLabel*>(QLatin1String(icon))->pixmap().isNull(), icon);
    const QList<pid_t> offices = officeProcesses();
    QCOMPARE(offices.size(), 1);

    QVERIFY2(run.playInstrument(arguments), qPrintable(run.problem()));
    QVERIFY2(run.waitForInstrument(120s), qPrintable(run.problem()));
    if (stopWhen == StopWhen::AllWritten) {
        QVERIFY2(run.waitUntilWritten(bytes, 120s), qPrintable(run.problem()));
        // The pump goes on while the instrument is silent: the count is shown once written.
        QTRY_COMPARE(run.statusText(), QStringLiteral("Bytes Received: %1").arg(bytes));
    } else {
        QVERIFY2(run.waitUntilReceived(bytes, 120s), qPrintable(run.problem()));
    }
    QCOMPARE(run.window()->receivePath().bytesReceived(), bytes);

    QVERIFY2(run.stopSavingAs(path), qPrintable(run.problem()));
    QCOMPARE(run.window()->captureState(), qint16(0));
    QCOMPARE(run.statusText(), QString()); // saved, nothing kept elsewhere
    QVERIFY(processGone(offices.first()));
}

void tst_EndToEnd::orvaLinesLandRowByRow_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("lines");
    QTest::addColumn<StopWhen>("stopWhen");
    QTest::newRow("9600 baud") << 9600 << 60 << StopWhen::AllWritten;
    QTest::newRow("115200 baud") << 115200 << 400 << StopWhen::AllWritten;
    // Faster than the office takes cells: Stop writes the lines still waiting.
    QTest::newRow("115200 baud, Stop at once") << 115200 << 400 << StopWhen::AllReceived;
}

void tst_EndToEnd::orvaLinesLandRowByRow() {
    QFETCH(int, baud);
    QFETCH(int, lines);
    QFETCH(StopWhen, stopWhen);
    const QString saved = m_files->filePath(QStringLiteral("orva.xls"));
    capture(instrument("orva", lines, baud), lines * kOrvaLineBytes, saved, stopWhen);
    if (QTest::currentTestFailed())
        return;

    const auto sheets = readXls(saved);
    QVERIFY(sheets);
    QCOMPARE(sheets->size(), 1);
    const OrvaRows rows = readOrvaRows(*sheets, lines);
    QVERIFY2(rows.complete(), qPrintable(rows.firstProblem));
    QCOMPARE(rows.rows, qint64(lines));
    // Row by row from the top, nothing beside or below.
    QCOMPARE(sheets->at(0).lastKey(), qMakePair(lines, 8));
}

void tst_EndToEnd::quorilexBlocksGoRight() {
    // A separator first, then three blocks of sixteen samples, each after its separator.
    constexpr int outputs = 3 * 17;
    const QString saved = m_files->filePath(QStringLiteral("quorilex.xls"));
    capture(instrument("quorilex", outputs, 9600), outputs * kQuorilexOutputBytes, saved);
    if (QTest::currentTestFailed())
        return;

    const auto sheets = readXls(saved);
    QVERIFY(sheets);
    QCOMPARE(sheets->size(), 1);
    const SheetCells& cells = sheets->at(0);
    SheetCells samples; // everything but the time stamps
    for (auto cell = cells.cbegin(); cell != cells.cend(); ++cell) {
        if (cell.key().first != 1)
            samples.insert(cell.key(), cell.value());
    }
    SheetCells expected;
    for (int column = 2; column <= 4; ++column) {
        for (int row = 2; row <= 17; ++row)
            expected.insert({row, column}, 9999.0);
    }
    const QString difference = firstDifference(samples, expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // Row 1 holds each block's time stamp, hours since midnight as a number; column 1 stays
    // empty (the first block starts at the first separator).
    QVERIFY(!cells.contains({1, 1}));
    for (int column = 2; column <= 4; ++column) {
        const QVariant stamp = cells.value({1, column});
        QCOMPARE(stamp.typeId(), QMetaType::Double);
        QVERIFY2(stamp.toDouble() >= 0 && stamp.toDouble() < 24, qPrintable(stamp.toString()));
    }
    QCOMPARE(cells.lastKey(), qMakePair(17, 4));
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
