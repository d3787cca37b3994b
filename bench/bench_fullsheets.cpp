// Two full worksheets of the real size (65,536 rows each) through the receive path into a
// headless LibreOffice, saved as .xls and read back by an independent reader: every row on
// both sheets, ORVA lines past the last row of the first sheet going on in the second in
// order. Prints the times and whether the saved workbook is complete; the test suite does the
// same on small sheets.

#include "capturerig.h"
#include "officetesthome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const OfficeTestHome home;
    if (!home.isReady()) {
        std::fprintf(stderr, "cannot start a headless LibreOffice\n");
        return 1;
    }

    // The first sheet's rows but two hold one number each; five ORVA lines take its last two
    // rows and the first three of the second sheet, whose other rows hold numbers again.
    constexpr int kOrvaLines = 5;
    const int firstNumbers = SheetMaxRows - 2;
    const int lastNumber = 2 * SheetMaxRows - kOrvaLines;
    QString received = asLines(numbers(1, firstNumbers));
    for (int index = 0; index < kOrvaLines; ++index)
        received += orvaLine(index, 40 + index, 20 + index);
    received += asLines(numbers(firstNumbers + 1, lastNumber));
    SheetCells first, second;
    addColumn(first, 1, 1, 1, firstNumbers);
    for (int index = 0; index < kOrvaLines; ++index) {
        const int row = firstNumbers + 1 + index;
        if (row <= SheetMaxRows)
            addOrvaRow(first, row, index, 40 + index, 20 + index);
        else
            addOrvaRow(second, row - SheetMaxRows, index, 40 + index, 20 + index);
    }
    addColumn(second, 1, kOrvaLines - 1, firstNumbers + 1, lastNumber);

    CaptureRig rig(QCoreApplication::applicationDirPath());
    if (!rig.capture.CaptureStart()) {
        std::fprintf(stderr, "capture start failed: %s\n", qPrintable(rig.view.status));
        return 1;
    }
    const qint64 cells = first.size() + second.size();
    std::printf("%lld rows, %lld cells through the receive path into LibreOffice\n",
                qint64(2 * SheetMaxRows), cells);
    QElapsedTimer clock;
    clock.start();
    if (!rig.receive(received)) {
        std::fprintf(stderr, "a write failed: %s\n", qPrintable(rig.view.status));
        return 1;
    }
    const double writeSeconds = clock.nsecsElapsed() / 1e9;
    std::printf("written in %.1f s: %.0f rows/s, %.0f cells/s\n", writeSeconds,
                2 * SheetMaxRows / writeSeconds, cells / writeSeconds);

    const QTemporaryDir files;
    const QString saved = files.filePath(QStringLiteral("full.xls"));
    clock.restart();
    if (!rig.stopSavingAs(saved)) {
        std::fprintf(stderr, "the question for a new name was not answered\n");
        return 1;
    }
    std::printf("stopped and saved as .xls in %.1f s\n", clock.nsecsElapsed() / 1e9);

    clock.restart();
    const QList<SheetCells> sheets = readXls(saved);
    if (sheets.isEmpty()) {
        std::fprintf(stderr, "the saved workbook cannot be read\n");
        return 1;
    }
    std::printf("read back in %.1f s: %lld sheets\n", clock.nsecsElapsed() / 1e9,
                qint64(sheets.size()));
    for (qsizetype sheet = 0; sheet < sheets.size(); ++sheet)
        std::printf("sheet %lld: %lld cells\n", qint64(sheet + 1), qint64(sheets[sheet].size()));
    const QString difference = firstDifference(sheets, {first, second});
    const bool complete = difference.isEmpty();
    if (!complete)
        std::printf("%s\n", qPrintable(difference));
    std::printf("%s\n", complete ? "COMPLETE" : "INCOMPLETE");
    return complete ? 0 : 1;
}
