#include "modmain.h"

#include "clsorva.h"
#include "clsquorilex.h"
#include "frmmain.h"
#include "settings.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

modMain::modMain(std::unique_ptr<SpreadsheetFactory> spreadsheets)
    : m_lock(lockPath())
    , m_spreadsheets(std::move(spreadsheets)) {
    // A lock whose owner is gone (a killed copy) is stale whatever its age.
    m_lock.setStaleLockTime(0);
}

modMain::~modMain() = default;

QString modMain::lockPath() {
    const QFileInfo settingsFile(openSettings()->fileName());
    return settingsFile.dir().filePath(QStringLiteral("Celvane.lock"));
}

bool modMain::Main(const Options& options) {
    QDir().mkpath(QFileInfo(lockPath()).path());
    if (!m_lock.tryLock(0)) {
        QMessageBox box(
            QMessageBox::NoIcon, QStringLiteral("Cannot run more than one copy of this program."),
            QStringLiteral("The Celvane GUI is already running.  Please use it."), QMessageBox::Ok);
        box.exec();
        return false;
    }
    m_orva = std::make_unique<clsOrva>(m_clock);
    m_orva->reset();
    m_quorilex = std::make_unique<clsQuorilex>(m_clock);
    m_quorilex->reset();
    m_window = std::make_unique<frmMain>(
        frmMainParts{m_globals, m_serial, *m_spreadsheets, m_folders, *m_orva, *m_quorilex, m_clock,
                     options.masterFolder, options.toolsMenu, CaptureJournal::userFolder()});
    m_stopSignals = std::make_unique<StopSignals>();
    QObject::connect(m_stopSignals.get(), &StopSignals::received, m_window.get(),
                     &frmMain::endSession);
    m_window->show();
    return true;
}
