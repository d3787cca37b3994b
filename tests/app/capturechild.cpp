// The program with the in-memory spreadsheet, capturing from the start until a test kills it.
#include "frmmain.h"
#include "memoryspreadsheet.h"
#include "modmain.h"

#include <QApplication>
#include <QPushButton>
#include <QStandardPaths>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    auto spreadsheets = std::make_unique<MemorySpreadsheetFactory>();
    // Asked for a new name the user gives one; unasked, a recovery copy is kept in documents.
    spreadsheets->recoveryFolder =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    spreadsheets->saveAsAnswer = spreadsheets->recoveryFolder + "/asked.xls";
    modMain program(std::move(spreadsheets));
    if (argc != 2 || !program.Main({false, QString::fromLocal8Bit(argv[1])})) // the master's folder
        return 1;
    program.mainWindow()->findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();
    return program.mainWindow()->captureState() == 1 ? app.exec() : 1;
}
