#include "calcspreadsheet.h"
#include "frmwaiting.h"
#include "modmain.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstring>
#include <memory>

namespace {

void nameTheApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Celvane"));
    QCoreApplication::setOrganizationName(QStringLiteral("Celvane"));
    QCoreApplication::setApplicationVersion(QLatin1String(Version::text));
}

// Parses the command line; --help, --version and unknown options end the program here.
bool showToolsMenu(const QCoreApplication& app) {
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
    return parser.isSet(emulator);
}

// Whether the command line only asks a question, answered without a display.
bool onlyAsks(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        for (const char* question : {"-h", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], question) == 0)
                return true;
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (onlyAsks(argc, argv)) {
        QCoreApplication app(argc, argv);
        nameTheApplication();
        showToolsMenu(app);
        return 0;
    }
    QApplication app(argc, argv);
    nameTheApplication();
    const bool toolsMenu = showToolsMenu(app);

    // Shown when LibreOffice Calc keeps the program waiting.
    frmWaiting waiting;
    modMain program(
        std::make_unique<CalcSpreadsheetFactory>(CalcOptions::fromEnvironment(), &waiting));
    if (!program.Main({toolsMenu, QCoreApplication::applicationDirPath()}))
        return 0;
    return app.exec();
}
