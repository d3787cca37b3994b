#include "frmmain.h"

#include "appsettings.h"
#include "formlayout.h"
#include "frmabout.h"
#include "frmcomport.h"
#include "frmemulation.h"
#include "frmexcelmacro.h"
#include "portsettings.h"
#include "version.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

// The lamps' icons live in this library's resources, which a static library loads explicitly.
static void loadMainWindowResources() {
    Q_INIT_RESOURCE(icons);
}

namespace {

const QString kNoJournal = QStringLiteral("Received data is NOT kept on disk until Stop.");
const QString kInterruptedIn = QStringLiteral("Received data of an interrupted capture is in ");
// The capture pump's tick.
constexpr int kTickMs = 100;

QColor colourFromValue(quint32 value) {
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

quint32 valueFromColour(const QColor& colour) {
    return quint32(colour.red()) | quint32(colour.green()) << 8 | quint32(colour.blue()) << 16;
}

QFrame* makeLamp(QWidget* parent, const QString& name, QRect place) {
    auto* lamp = placed(new QFrame(parent), name, place);
    lamp->setFrameShape(QFrame::Box);
    lamp->setAutoFillBackground(true);
    return lamp;
}

QLabel* makeIcon(QWidget* parent, const QString& name, const QString& resource, QRect place) {
    auto* icon = placed(new QLabel(parent), name, place);
    icon->setPixmap(QPixmap(resource));
    return icon;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QRect place) {
    auto* label = placed(new QLabel(text, parent), name, place);
    label->setFont(formFont(12));
    return label;
}

} // namespace

frmMain::frmMain(const frmMainParts& parts)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_globals(parts.globals)
    , MSComm1(parts.serial)
    , m_orva(parts.orva)
    , m_quorilex(parts.quorilex)
    , m_clock(parts.clock)
    , m_shell(parts.folders, *this)
    , m_capture(parts.globals, parts.serial, parts.spreadsheets, m_shell, *this, parts.masterFolder)
    , m_journal(parts.journalFolder)
    , m_receive(parts.globals, parts.serial, *this, parts.clock) {
    m_receive.setJournal(&m_journal);
    connect(&m_journal, &CaptureJournal::writeFailed, this, &frmMain::showJournalTrouble);
    loadMainWindowResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Celvane"));
    buildControls();
    buildMenus(parts.toolsMenu);
    tmrMain.setObjectName(QStringLiteral("tmrMain"));
    connect(&tmrMain, &QTimer::timeout, this, &frmMain::tmrMain_Timer);
    Form_Load();
}

frmMain::~frmMain() {
    if (!m_unloaded)
        Form_Unload();
}

void frmMain::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twipsSize(5010, 3780));
    client->setFont(formFont(formControlPointSize));
    setCentralWidget(client);

    cmdStart = placed(new QPushButton(QStringLiteral("&Start"), client), QStringLiteral("cmdStart"),
                      twipsRect(600, 2280, 1095, 735));
    cmdPause = placed(new QPushButton(QStringLiteral("&Pause"), client), QStringLiteral("cmdPause"),
                      twipsRect(1920, 2280, 1095, 735));
    cmdResume = placed(new QPushButton(QStringLiteral("&Resume"), client),
                       QStringLiteral("cmdResume"), twipsRect(1920, 2280, 1095, 735));
    cmdStop = placed(new QPushButton(QStringLiteral("S&top"), client), QStringLiteral("cmdStop"),
                     twipsRect(3240, 2280, 1095, 735));
    cmdClose = placed(new QPushButton(QStringLiteral("Close"), client), QStringLiteral("cmdClose"),
                      twipsRect(1800, 3240, 1332, 372));
    cmdPause->setEnabled(false);
    cmdStop->setEnabled(false);
    // At load Resume is the one in front; it does nothing until a capture is paused.
    cmdResume->raise();

    fraStatus = placed(new QGroupBox(QStringLiteral("Status"), client), QStringLiteral("fraStatus"),
                       twipsRect(360, 120, 4215, 1935));
    panComPort = makeLamp(fraStatus, QStringLiteral("panComPort"), twipsRect(360, 360, 375, 375));
    imgComPort = makeIcon(fraStatus, QStringLiteral("imgComPort"),
                          QStringLiteral(":/icons/comport.png"), twipsRect(840, 360, 480, 480));
    lblComPort = makeLabel(fraStatus, QStringLiteral("lblComPort"), QStringLiteral("COM PORT"),
                           twipsRect(1440, 360, 1575, 375));
    cmdComPorts = placed(new QPushButton(QStringLiteral("..."), fraStatus),
                         QStringLiteral("cmdComPorts"), twipsRect(3000, 360, 372, 372));
    panExcel = makeLamp(fraStatus, QStringLiteral("panExcel"), twipsRect(360, 840, 375, 375));
    imgExcel = makeIcon(fraStatus, QStringLiteral("imgExcel"), QStringLiteral(":/icons/excel.png"),
                        twipsRect(840, 840, 480, 480));
    lblExcel = makeLabel(fraStatus, QStringLiteral("lblExcel"), QStringLiteral("MS EXCEL"),
                         twipsRect(1440, 840, 1575, 375));
    cmdExcelMacro = placed(new QPushButton(QStringLiteral("..."), fraStatus),
                           QStringLiteral("cmdExcelMacro"), twipsRect(3000, 840, 372, 372));
    panStatus =
        placed(new QLabel(fraStatus), QStringLiteral("panStatus"), twipsRect(120, 1320, 3975, 480));
    panStatus->setWordWrap(true);
    setLamp(Lamp::ComPort, LampColour::Grey);
    setLamp(Lamp::Excel, LampColour::Grey);

    connect(cmdStart, &QPushButton::clicked, this, &frmMain::cmdStart_Click);
    connect(cmdPause, &QPushButton::clicked, this, &frmMain::cmdPause_Click);
    connect(cmdResume, &QPushButton::clicked, this, &frmMain::cmdResume_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmMain::cmdClose_Click);
    connect(cmdComPorts, &QPushButton::clicked, this, &frmMain::cmdComPorts_Click);
    connect(cmdExcelMacro, &QPushButton::clicked, this, &frmMain::cmdExcelMacro_Click);
}

void frmMain::buildMenus(bool toolsMenu) {
    // Alt+T presses Stop. A hidden menu would still claim its mnemonic, and Alt+T would only
    // move the focus; so the hidden menu has none, and the shown one opens with Alt+O.
    mnuTools = menuBar()->addMenu(toolsMenu ? QStringLiteral("T&ools") : QStringLiteral("Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    mnuTools->menuAction()->setVisible(toolsMenu);
    mnuTools->menuAction()->setEnabled(toolsMenu);
    mnuToolsNalvoEmulation = mnuTools->addAction(QStringLiteral("Emulator"));
    mnuToolsNalvoEmulation->setObjectName(QStringLiteral("mnuToolsNalvoEmulation"));
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpAbout = mnuHelp->addAction(QStringLiteral("&About..."));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
    connect(mnuToolsNalvoEmulation, &QAction::triggered, this,
            &frmMain::mnuToolsNalvoEmulation_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

void frmMain::Form_Load() {
    // Placed at the left screen edge, a quarter of the free height down.
    adjustSize();
    setFixedSize(size());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int frameHeight = frameGeometry().height();
    move(screen.left(), screen.top() + (screen.height() - frameHeight) / 4);
    setWindowTitle(QStringLiteral("Celvane  v%1.%2.%3")
                       .arg(Version::major)
                       .arg(Version::minor)
                       .arg(Version::revision));
    m_about = std::make_unique<frmAbout>();
    setWindowIcon(m_about->programIcon());

    const AppSettings settings = loadAppSettings();
    MSComm1.setCommPort(settings.comPort);
    showComPort();
    m_globals.macroEnabled = settings.macroEnabled;
    m_globals.macroName = settings.macroName;
    recoverInterruptedCaptures();

    // The capture pump runs at load; its first tick finds no capture and stops it.
    tmrMain.start(kTickMs);
}

void frmMain::recoverInterruptedCaptures() {
    addStatusSentence(CaptureJournal::takeNote(m_journal.folder()));
    if (!CaptureJournal::anyInterrupted(m_journal.folder()))
        return;
    const QStringList recovered =
        CaptureJournal::recoverInterrupted(m_journal.folder(), documentsFolder());
    if (!recovered.isEmpty())
        addStatusSentence(kInterruptedIn + recovered.join(QStringLiteral("; ")));
}

QString frmMain::documentsFolder() {
    QString folder;
    return m_shell.GetFolderPath(Csidl::Personal, folder) ? folder : QString();
}

void frmMain::showComPort() {
    const qint16 port = MSComm1.commPort();
    lblComPort->setText(QStringLiteral("COM ") + QString::number(port));
    lblComPort->setToolTip(PortSettings::read(port).summary(port));
    lblComPort->repaint();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A capture is stopped first; while Stop writes what is waiting, the window stays open
    // and closes when the stop is done. At the session's end the stop is made at once.
    if (m_captureState != 0 && !m_unattended)
        cmdStop_Click();
    if (m_stopping && !m_unattended) {
        m_closeAfterStop = true;
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    closeOpenDialogs();
    // A stop that is finishing already goes on by itself, unattended from now on.
    if (!m_finishing && (m_captureState != 0 || m_stopping)) {
        // Closing without a turn of the event loop: Stop writes what waits at once, at the
        // session's end without reading on.
        if (!m_stopping)
            beginStop();
        while (!m_unattended && m_receive.stopPass()) {
        }
        finishStop();
    }
    saveAppSettings({MSComm1.commPort(), m_globals.macroEnabled, m_globals.macroName});
    if (m_emulator)
        m_emulator->close();
}

void frmMain::cmdStart_Click() {
    if (m_stopping || !m_capture.CaptureStart())
        return;
    if (!m_journal.begin(m_clock.now()))
        setStatusText(kNoJournal);
    m_captureState = 1;
    m_receive.setCurrentRow(1);
    tmrMain.start(kTickMs);
    // Brought to the top of the window order, over the spreadsheet that just opened.
    show();
    raise();
    activateWindow();
}

void frmMain::cmdPause_Click() {
    if (m_captureState != 1)
        return;
    m_captureState = -1;
    tmrMain.start(kTickMs); // what the port collects goes on to the journal
    cmdPause->setEnabled(false);
    cmdResume->setEnabled(true);
    cmdResume->raise();
    setLamp(Lamp::Excel, LampColour::Yellow);
    // A port in trouble stays in view whatever the buttons do.
    if (m_receive.showPortTrouble())
        return;
    setLamp(Lamp::ComPort, LampColour::Yellow);
    setStatusText(QStringLiteral("Paused"));
}

void frmMain::cmdResume_Click() {
    if (m_captureState != -1)
        return;
    cmdResume->setEnabled(false);
    cmdPause->setEnabled(true);
    cmdPause->raise();
    setLamp(Lamp::Excel, LampColour::Green);
    if (!m_receive.showPortTrouble()) {
        setLamp(Lamp::ComPort, LampColour::Green);
        const qint64 bytes = m_receive.bytesReceived();
        setStatusText(bytes == 0 ? QStringLiteral("Ready")
                                 : QStringLiteral("Bytes Received: ") + QLocale().toString(bytes));
    }
    m_captureState = 1;
    tmrMain.start(kTickMs);
}

void frmMain::cmdStop_Click() {
    if (m_stopping)
        return; // the first Stop is still writing
    beginStop();
    // What the instrument already sent is written while the workbook is still open, in
    // passes between which the window handles its events.
    if (m_receive.stopPass())
        tmrMain.start(0);
    else
        finishStop();
}

void frmMain::beginStop() {
    m_captureState = 0;
    m_stopping = true;
    tmrMain.stop();
    cmdStop->setEnabled(false);
    cmdPause->setEnabled(false);
    m_receive.beginStop();
}

void frmMain::finishStop() {
    // The window goes on answering from here to the end of the stop; a Start waits for it.
    m_finishing = true;
    const auto unwritten = m_receive.finalFlush();
    const QString overflow = m_receive.takeOverflow();
    m_receive.clear();
    // Kept on disk before the spreadsheet's part of the stop, should a step of it hang.
    m_journal.keepUnwritten(unwritten, overflow, documentsFolder(), m_clock.now());
    const bool workbookKept = m_capture.CaptureStop(m_unattended);
    addStatusSentence(m_journal.finish(workbookKept));
    if (m_unattended)
        m_journal.leaveNote(panStatus->text());
    m_stopping = m_finishing = false;
    if (m_closeAfterStop)
        close();
}

void frmMain::closeOpenDialogs() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible())
            dialog->reject();
}

void frmMain::showJournalTrouble() {
    if (m_captureState != 0)
        m_receive.showPortTrouble();
}

void frmMain::addStatusSentence(const QString& sentence) {
    if (sentence.isEmpty())
        return;
    const QString shown = panStatus->text();
    setStatusText(shown.isEmpty() ? sentence : shown + u' ' + sentence);
}

void frmMain::endSession() {
    m_journal.sync();
    m_unattended = true;
    close();
}

void frmMain::cmdClose_Click() {
    close();
}

void frmMain::cmdComPorts_Click() {
    const int port = frmComPort::GetPort(quint8(MSComm1.commPort()));
    MSComm1.setCommPort(qint16(port));
    showComPort();
}

void frmMain::cmdExcelMacro_Click() {
    if (!m_macroDialog)
        m_macroDialog = std::make_unique<frmExcelMacro>();
    m_macroDialog->setMacroEnable(m_globals.macroEnabled);
    m_macroDialog->setMacroName(m_globals.macroName);
    if (!m_macroDialog->ShowForm())
        return;
    m_globals.macroEnabled = m_macroDialog->MacroEnable();
    m_globals.macroName = m_macroDialog->MacroName();
}

void frmMain::mnuHelpAbout_Click() {
    m_about->ShowForm();
}

void frmMain::mnuToolsNalvoEmulation_Click() {
    if (!m_emulator)
        m_emulator = new frmEmulation(m_globals, m_orva, m_quorilex, this);
    m_emulator->show();
    m_emulator->raise();
    m_emulator->activateWindow();
}

void frmMain::tmrMain_Timer() {
    tmrMain.stop();
    if (m_stopping) {
        if (m_receive.stopPass())
            tmrMain.start(0);
        else
            finishStop();
        return;
    }
    if (m_captureState == -1) {
        m_receive.collect();
        tmrMain.start(kTickMs);
    }
    if (m_captureState != 1)
        return;
    // A backlog is written on as soon as the window has handled its events.
    const bool backlog = m_receive.pump();
    if (m_captureState == 1)
        tmrMain.start(backlog ? 0 : kTickMs);
}

void frmMain::setLamp(Lamp lamp, quint32 colour) {
    QFrame* frame = lamp == Lamp::Excel ? panExcel : panComPort;
    QPalette palette = frame->palette();
    palette.setColor(QPalette::Window, colourFromValue(colour));
    frame->setPalette(palette);
    frame->repaint();
}

void frmMain::setStatusText(const QString& text) {
    panStatus->setText(text);
    panStatus->repaint();
}

void frmMain::setPauseEnabled(bool enabled) {
    cmdPause->setEnabled(enabled);
}

void frmMain::injectSingleTabUsed() {
    if (m_emulator)
        m_emulator->injectSingleTabUsed();
}

QPushButton* frmMain::button(CaptureButton which) const {
    switch (which) {
    case CaptureButton::Start:
        return cmdStart;
    case CaptureButton::Stop:
        return cmdStop;
    case CaptureButton::Pause:
        return cmdPause;
    case CaptureButton::Resume:
        return cmdResume;
    case CaptureButton::ComPorts:
        return cmdComPorts;
    }
    return cmdStart;
}

void frmMain::setButtonEnabled(CaptureButton which, bool enabled) {
    button(which)->setEnabled(enabled);
}

void frmMain::bringToFront(CaptureButton which) {
    button(which)->raise();
}

quint32 frmMain::statusFrameColour() const {
    return valueFromColour(fraStatus->palette().color(QPalette::Window));
}

void frmMain::showMessage(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.exec();
}
