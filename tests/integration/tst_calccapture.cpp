// A capture into a real headless LibreOffice: capture start, the receive path, capture stop
// with the new name answered, and the saved .xls read back by an independent reader.

#include "capturecells.h"
#include "capturerig.h"
#include "officetesthome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_CalcCapture : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void capturedRowsSavedAsXls();
    void secondStartReusesWorkingCopy();
    void fullSheetsGoOnInNewSheets_data();
    void fullSheetsGoOnInNewSheets();

private:
    QString workingCopy() const {
        return m_home->path(QStringLiteral("Documents/spreadsheet.xls"));
    }
    QString file(const QString& name) const { return m_files->filePath(name); }

    std::unique_ptr<OfficeTestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_files;
};

void tst_CalcCapture::initTestCase() {
    m_home = std::make_unique<OfficeTestHome>();
    QVERIFY(m_home->isValid());
    QVERIFY(m_home->prepareProfile());
    QVERIFY(QFileInfo::exists(masterWorkbook()));
}

void tst_CalcCapture::init() {
    m_files = std::make_unique<QTemporaryDir>();
    QFile::remove(workingCopy());
}

void tst_CalcCapture::cleanup() {
    m_files.reset();
}

void tst_CalcCapture::capturedRowsSavedAsXls() {
    CaptureRig rig(QCoreApplication::applicationDirPath());
    QVERIFY(!QFile::exists(workingCopy()));
    QVERIFY(rig.capture.CaptureStart());
    QCOMPARE(rig.view.status, QStringLiteral("Ready"));
    QCOMPARE(rig.view.excelLamp, LampColour::Green);
    QCOMPARE(rig.view.comLamp, LampColour::Green);
    // The working copy was made in the documents folder from the shipped master.
    QCOMPARE(readFile(workingCopy()), readFile(masterWorkbook()));
    const pid_t office = rig.officePid();
    QVERIFY(office > 0);

    // Two ORVA lines, a data line with an empty field, a data line of texts and numbers.
    const QString received = orvaLine(0, 51, 23) + orvaLine(1, 47, 21) +
                             QStringLiteral("3.5\t\t7\r\nabc\tx y\t-2.25\r\n");
    QVERIFY(rig.receive(received));
    QCOMPARE(rig.view.status, QStringLiteral("Bytes Received: %1").arg(received.size()));

    const QString saved = file(QStringLiteral("capture.xls"));
    QVERIFY(rig.stopSavingAs(saved));
    QCOMPARE(rig.view.status, QString()); // saved, nothing kept elsewhere
    QVERIFY(!rig.globals.excelApp);
    QVERIFY(processGone(office));

    SheetCells expected;
    addOrvaRow(expected, 1, 0, 51, 23);
    addOrvaRow(expected, 2, 1, 47, 21);
    expected.insert({3, 1}, 3.5); // the empty field leaves column 2 empty
    expected.insert({3, 3}, 7.0);
    expected.insert({4, 1}, QStringLiteral("abc"));
    expected.insert({4, 2}, QStringLiteral("x y"));
    expected.insert({4, 3}, -2.25);
    const auto sheets = readXls(saved);
    QVERIFY(sheets);
    QCOMPARE(sheets->size(), 1);
    const QString difference = firstDifference(sheets->at(0), expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The program saved under the new name only: the working copy is as it was made.
    QCOMPARE(readFile(workingCopy()), readFile(masterWorkbook()));
}

void tst_CalcCapture::secondStartReusesWorkingCopy() {
    {
        CaptureRig first(QCoreApplication::applicationDirPath());
        QVERIFY(first.capture.CaptureStart());
        QVERIFY(first.receive(orvaLine(7, 40, 20)));
        QVERIFY(first.stopSavingAs(file(QStringLiteral("first.xls"))));
    }
    const QByteArray copyBefore = readFile(workingCopy());
    const QDateTime modifiedBefore = QFileInfo(workingCopy()).lastModified();
    QVERIFY(!copyBefore.isEmpty());

    // No master at all this time: only the working copy can serve.
    const QTemporaryDir noMaster;
    CaptureRig second(noMaster.path());
    second.globals.blockColumn = 9; // left over from the first capture
    QVERIFY(second.capture.CaptureStart());
    QCOMPARE(second.globals.blockColumn, qint16(1));
    QCOMPARE(readFile(workingCopy()), copyBefore);
    QCOMPARE(QFileInfo(workingCopy()).lastModified(), modifiedBefore);
    QVERIFY(second.receive(orvaLine(8, 60, 25)));
    QVERIFY(second.stopSavingAs(file(QStringLiteral("second.xls"))));

    // The second capture began on the unchanged copy: its row 1, nothing of the first.
    SheetCells expected;
    addOrvaRow(expected, 1, 8, 60, 25);
    const auto sheets = readXls(file(QStringLiteral("second.xls")));
    QVERIFY(sheets);
    QCOMPARE(sheets->size(), 1);
    const QString difference = firstDifference(sheets->at(0), expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(readFile(workingCopy()), copyBefore);
}

// Sheets made small through the receive path's test hook, so that the office fills several
// quickly (bench_fullsheets fills two of full size).
void tst_CalcCapture::fullSheetsGoOnInNewSheets_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("received");
    QTest::addColumn<QList<SheetCells>>("expected");

    {
        // ORVA lines and data lines past the last row, a 300-token line and a 300-field line
        // on a sheet of 30 rows and the full 256 columns.
        QString text = asLines(numbers(1, 27));
        for (int index = 0; index < 6; ++index)
            text += orvaLine(index, 40 + index, 20 + index);
        text += asLines(
            {QStringLiteral("1 :: ") + numbers(2, 300).join(u' '), numbers(1, 300).join(u'\t')});
        text += asLines(numbers(28, 52));
        SheetCells first, second;
        addColumn(first, 1, 1, 1, 27);
        for (int index = 0; index < 3; ++index)
            addOrvaRow(first, 28 + index, index, 40 + index, 20 + index);
        for (int index = 3; index < 6; ++index)
            addOrvaRow(second, index - 2, index, 40 + index, 20 + index);
        for (int column = 1; column <= 256; ++column) {
            second.insert({4, column}, double(column)); // tokens past 256 are dropped
            second.insert({5, column}, double(column)); // so are fields
        }
        addColumn(second, 1, 6, 28, 52);
        QTest::newRow("rows") << 30 << 256 << text << QList<SheetCells>{first, second};
    }
    {
        // Blocks of data lines past the last column (3) and past the last row (10): a new
        // block with no column left starts in column 1 of a new sheet, a block with no row
        // left goes on in column 1 of a new sheet under its time stamp.
        const QString separator = QStringLiteral("\r\n\r\n\r\n");
        QString text;
        for (int block = 1; block <= 4; ++block)
            text += separator + asLines(numbers(block * 10 + 1, block * 10 + 4));
        text += separator + asLines(numbers(51, 61));
        SheetCells first, second, third;
        for (int column = 2; column <= 3; ++column)
            first.insert({1, column}, 14.5);
        addColumn(first, 2, 2, 11, 14);
        addColumn(first, 3, 2, 21, 24);
        for (int column = 1; column <= 3; ++column)
            second.insert({1, column}, 14.5);
        addColumn(second, 1, 2, 31, 34);
        addColumn(second, 2, 2, 41, 44);
        addColumn(second, 3, 2, 51, 59);
        third.insert({1, 1}, 14.5);
        addColumn(third, 1, 2, 60, 61);
        QTest::newRow("blocks") << 10 << 3 << text << QList<SheetCells>{first, second, third};
    }
}

void tst_CalcCapture::fullSheetsGoOnInNewSheets() {
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, received);
    QFETCH(QList<SheetCells>, expected);
    CaptureRig rig(QCoreApplication::applicationDirPath());
    rig.path.setSheetLimits(rows, columns);
    QVERIFY(rig.capture.CaptureStart());
    QVERIFY(rig.receive(received));
    QCOMPARE(rig.path.receiveBuffer(), QString());
    QCOMPARE(rig.view.status, QStringLiteral("Bytes Received: %1").arg(received.size()));
    QVERIFY(rig.stopSavingAs(file(QStringLiteral("sheets.xls"))));
    QCOMPARE(rig.view.status, QString());

    const auto sheets = readXls(file(QStringLiteral("sheets.xls")));
    QVERIFY(sheets);
    QCOMPARE(sheets->size(), expected.size());
    for (qsizetype sheet = 0; sheet < expected.size(); ++sheet) {
        const QString difference = firstDifference(sheets->at(sheet), expected.at(sheet));
        QVERIFY2(difference.isEmpty(),
                 qPrintable(QStringLiteral("sheet %1, ").arg(sheet + 1) + difference));
    }
}

QTEST_MAIN(tst_CalcCapture)
#include "tst_calccapture.moc"
