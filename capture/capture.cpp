#include "capture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace {

const QString kWorkbookName = QStringLiteral("spreadsheet.xls");
const QString kPersonalName = QStringLiteral("Personal.xls");

const QString kOpeningSpreadsheet = QStringLiteral("Opening MS Excel Spreadsheet");
const QString kOpeningPort = QStringLiteral("Opening COM port");
const QString kReady = QStringLiteral("Ready");
const QString kNoFolder =
    QStringLiteral("We do not remember the path to the master copy of our workbook.");
const QString kNoCopy =
    QStringLiteral("We cannot make a copy of the master workbook; it may have been deleted.");
const QString kNoSpreadsheet =
    QStringLiteral("We cannot start MS Excel; it may not be loaded on this computer.");
const QString kNoWorkbook = QStringLiteral("Excel cannot open workbook");
const QString kNoPersonalMacros = QStringLiteral("Your personal macros were NOT loaded.");
const QString kMacroFailed = QStringLiteral("User macro did NOT run.");
const QString kNotSaved = QStringLiteral("The workbook was NOT saved.");
const QString kKeptIn = QStringLiteral("Unsaved data kept in ");

const QString kRenameTitle = QStringLiteral("Please rename this workbook");
const QString kRenameFilter = QStringLiteral("Excel workbook,*.xls");
const QString kCancelled = QStringLiteral("False");

QString joinPath(const QString& folder, const QString& name) {
    return folder + QDir::separator() + name;
}

// A file counts as there when its modification time can be read.
bool fileExists(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.lastModified().isValid();
}

} // namespace

Capture::Capture(modGlobals& globals, SerialControl& serial, SpreadsheetFactory& factory,
                 modShell& shell, CaptureView& view, QString masterFolder)
    : m_globals(globals)
    , m_serial(serial)
    , m_factory(factory)
    , m_shell(shell)
    , m_view(view)
    , m_masterFolder(std::move(masterFolder)) {}

bool Capture::CaptureStart() {
    m_view.setLamp(Lamp::Excel, LampColour::Yellow);
    m_view.setStatusText(kOpeningSpreadsheet);
    m_globals.blockColumn = 1;

    QString documents;
    if (!m_shell.GetFolderPath(Csidl::Personal, documents) || documents.isEmpty())
        return failExcel(kNoFolder);
    const QString workingCopy = joinPath(documents, kWorkbookName);

    // The working copy is made once and reused afterwards: never overwritten.
    if (!fileExists(workingCopy) &&
        !QFile::copy(joinPath(m_masterFolder, kWorkbookName), workingCopy))
        return failExcel(kNoCopy);

    Status created;
    m_globals.excelApp = m_factory.create(created);
    if (!created.ok() || !m_globals.excelApp) {
        m_globals.excelApp.reset();
        return failExcel(kNoSpreadsheet);
    }

    const Result<WorkbookId> opened = m_globals.excelApp->open(workingCopy);
    if (!opened.ok() || !m_globals.excelApp->setVisible(true).ok()) {
        // Nothing was written to the workbook just opened: no recovery copy to tell about.
        quitSpreadsheet();
        return failExcel(kNoWorkbook);
    }
    m_globals.captureBook = opened.value;

    m_view.setLamp(Lamp::Excel, LampColour::Green);
    m_view.setStatusText(QString());
    m_view.setLamp(Lamp::ComPort, LampColour::Yellow);
    m_view.setStatusText(kOpeningPort);

    if (m_serial.setPortOpen(true)) {
        m_view.setLamp(Lamp::ComPort, LampColour::Green);
        m_view.setStatusText(kReady);
    } else {
        // Why is named after the sentence.
        const QString why = m_serial.openError();
        const QString notAvailable = why.isEmpty()
                                         ? PortNotAvailableText
                                         : PortNotAvailableText + QStringLiteral(": ") + why;
        if (!m_globals.emulatorActive) {
            m_view.setStatusText(notAvailable);
            m_view.setLamp(Lamp::ComPort, LampColour::Red);
            quitSpreadsheet();
            return false;
        }
        // The emulator is the source: a capture needs no port.
        m_view.setStatusText(notAvailable + QStringLiteral("; capturing from the emulator"));
        m_view.setLamp(Lamp::ComPort, LampColour::Yellow);
    }

    showCaptureButtons(true);

    loadPersonalMacros();
    return true;
}

void Capture::showCaptureButtons(bool capturing) {
    m_view.setButtonEnabled(CaptureButton::Start, !capturing);
    m_view.setButtonEnabled(CaptureButton::Stop, capturing);
    m_view.setButtonEnabled(CaptureButton::Pause, capturing);
    m_view.bringToFront(CaptureButton::Pause); // Pause and Resume share one place
    m_view.setButtonEnabled(CaptureButton::Resume, false);
    m_view.setButtonEnabled(CaptureButton::ComPorts, !capturing);
}

bool Capture::failExcel(const QString& text) {
    m_view.setStatusText(text);
    m_view.setLamp(Lamp::Excel, LampColour::Red);
    return false;
}

void Capture::loadPersonalMacros() {
    const Result<QString> startup = m_globals.excelApp->startupPath();
    if (!startup.ok() || startup.value.isEmpty())
        return;
    const QString personal = joinPath(startup.value, kPersonalName);
    if (!fileExists(personal))
        return;
    // Cell writes go to the active workbook, which stays the capture workbook.
    if (m_globals.excelApp->openBeside(personal).ok()) {
        // Shown in front again; the writes do not depend on how this goes.
        m_globals.excelApp->activate(m_globals.captureBook);
        return;
    }
    m_view.setLamp(Lamp::Excel, LampColour::Yellow);
    m_view.setStatusText(kNoPersonalMacros);
}

Result<QString> Capture::quitSpreadsheet(bool unasked) {
    SpreadsheetApp* app = m_globals.excelApp.get();
    const Result<QString> quit = !app ? Result<QString>{Status::failure(SpreadsheetStatus::Closed)}
                                 : unasked ? app->quitUnasked()
                                           : app->quit();
    m_globals.excelApp.reset();
    m_globals.captureBook = 0;
    return quit;
}

bool Capture::CaptureStop(bool unattended) {
    m_serial.setPortOpen(false); // a port that is already closed is fine

    const quint32 frame = m_view.statusFrameColour();
    m_view.setLamp(Lamp::ComPort, frame);
    m_view.setLamp(Lamp::Excel, frame);
    m_stopMessages.clear();
    m_view.setStatusText(m_stopMessages);

    showCaptureButtons(false);

    // From here on a failing step is skipped and the stop goes on.
    bool kept = false;
    if (m_globals.excelApp && !unattended) {
        if (m_globals.macroEnabled && !m_globals.macroName.isEmpty())
            runUserMacro();
        kept = saveUnderNewName();
    }

    const Result<QString> quit = quitSpreadsheet(unattended);
    if (quit.ok() && !quit.value.isEmpty())
        addStopMessage(kKeptIn + QDir::toNativeSeparators(quit.value));
    kept = kept || quit.ok();
    if (!kept && !m_stopMessages.contains(kNotSaved))
        addStopMessage(kNotSaved);
    return kept;
}

void Capture::runUserMacro() {
    SpreadsheetApp& app = *m_globals.excelApp;
    const QString& macro = m_globals.macroName;
    bool ran = false;
    if (macro.indexOf(u'!') > 0) {
        ran = app.run(macro).ok(); // already names its workbook
    } else {
        // The capture workbook was opened before the personal macro workbook, so a macro
        // found in both runs from the capture workbook.
        const Result<QList<WorkbookId>> books = app.workbooks();
        for (const WorkbookId book : books.value) {
            const Result<QString> name = app.name(book);
            if (name.ok() && app.run(name.value + u'!' + macro).ok()) {
                ran = true;
                break;
            }
        }
    }
    if (!ran)
        addStopMessage(kMacroFailed);
}

bool Capture::saveUnderNewName() {
    SpreadsheetApp& app = *m_globals.excelApp;
    const WorkbookId book = m_globals.captureBook;
    const Result<bool> saved = app.saved(book);
    if (saved.ok() && saved.value)
        return true;
    app.activate(book);
    // A workbook the user saved under a name of their own during the capture keeps it; a
    // name that cannot be read counts as such.
    const Result<QString> name = app.name(book);
    if (!name.ok() || name.value.toLower() != kWorkbookName)
        return false;
    const Result<QString> chosen = app.getSaveAsFilename(QString(), kRenameFilter, kRenameTitle);
    if (chosen.ok() && chosen.value == kCancelled)
        return false;
    if (chosen.ok() && app.saveAs(book, chosen.value).ok())
        return true;
    addStopMessage(kNotSaved);
    return false;
}

void Capture::addStopMessage(const QString& sentence) {
    if (!m_stopMessages.isEmpty())
        m_stopMessages += u' ';
    m_stopMessages += sentence;
    m_view.setStatusText(m_stopMessages);
}
