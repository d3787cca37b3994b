#include "calcspreadsheet.h"
#include "modmain.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Celvane"));
    QApplication::setOrganizationName(QStringLiteral("Celvane"));
    QApplication::setApplicationVersion(QLatin1String(Version::text));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Records what an instrument prints on a serial port, field by field, into "
                       "a LibreOffice Calc workbook."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption emulator(
        QStringLiteral("emulator"),
        QStringLiteral("Show the Tools menu, from which the instrument emulator opens, so the "
                       "capture can be tried without an instrument."));
    parser.addOption(emulator);
    parser.process(app);

    modMain program(std::make_unique<CalcSpreadsheetFactory>());
    if (!program.Main({parser.isSet(emulator), QCoreApplication::applicationDirPath()}))
        return 0;
    return app.exec();
}
