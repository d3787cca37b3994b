// The program with the in-memory spreadsheet, capturing from the start until a test kills it.
#include "frmmain.h"
#include "memoryspreadsheet.h"
#include "modmain.h"

#include <QApplication>
#include <QPushButton>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    modMain program(std::make_unique<MemorySpreadsheetFactory>());
    if (argc != 2 || !program.Main({false, QString::fromLocal8Bit(argv[1])})) // the master's folder
        return 1;
    program.mainWindow()->findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();
    return program.mainWindow()->captureState() == 1 ? app.exec() : 1;
}
