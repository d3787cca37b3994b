// The program with the in-memory spreadsheet, capturing until it is killed: what a test kills
// to leave a capture behind that did not end normally. Its only argument is the folder of the
// master workbook; settings, documents and journal are those of its environment.

#include "frmmain.h"
#include "memoryspreadsheet.h"
#include "modmain.h"

#include <QApplication>
#include <QPushButton>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    modMain program(std::make_unique<MemorySpreadsheetFactory>());
    if (!program.Main({false, QString::fromLocal8Bit(argv[1])}))
        return 1;
    program.mainWindow()->findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();
    if (program.mainWindow()->captureState() != 1)
        return 1;
    return app.exec();
}
