#include "frmemulation.h"

#include "numbertext.h"
#include "rangecontrols.h"
#include "formlayout.h"
#include "wholenumber.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>

#include <limits>
#include <utility>

namespace {

const QString kOrva = QStringLiteral("ORVA");
const QString kPelmar = QStringLiteral("PELMAR");
const QString kQuorilex = QStringLiteral("QUORILEX");
const QString kTessor = QStringLiteral("TESSOR");

const QString kPowerUp = QStringLiteral("Power Up");
const QString kHome = QStringLiteral("Home");
const QString kGo = QStringLiteral("Go");

const QColor kDisplayGreen(0x80, 0xFF, 0x80);
const QColor kKeyGreen(0x00, 0xC0, 0x00);
const QColor kKeypadBlue(0x00, 0x00, 0xFF);

// The keypad, row by row; the keys the window acts on carry their names.
struct Key {
    const char* text;
    const char* name;
};
constexpr int kKeyColumns = 5;
constexpr Key kKeys[] = {
    {"ESC", "Command20"},  {"7", "cmdDigit7"}, {"8", "cmdDigit8"}, {"9", "cmdDigit9"},
    {"HOME", "cmdHome"},   {"Up", "cmdUp"},    {"4", "cmdDigit4"}, {"5", "cmdDigit5"},
    {"6", "cmdDigit6"},    {"LR", "cmdLR"},    {"Dn", "cmdDn"},    {"1", "cmdDigit1"},
    {"2", "cmdDigit2"},    {"3", "cmdDigit3"}, {"ENT", "cmdEnt"},  {"Del", "cmdDel"},
    {"Setup", "cmdSetup"}, {"0", "cmdDigit0"}, {"INJ", "cmdInj"},  {"GO", "cmdGO"},
};

void fill(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(role == QPalette::Window);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    return label;
}

QGroupBox* makeFrame(QWidget* parent, const char* name, const QString& title,
                     const QRect& geometry) {
    auto* frame = new QGroupBox(title, parent);
    frame->setObjectName(QLatin1String(name));
    frame->setGeometry(geometry);
    return frame;
}

QLabel* makeKeyFace(QWidget* parent, const char* name, const QString& image) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(QLatin1String(name));
    picture->setPixmap(QPixmap(image));
    picture->setFixedSize(37, 37);
    return picture;
}

// A level indicator: a green bar inside a clipping frame, with a scroll bar beside it when one
// is asked for. The bar's level falls as its top edge moves down.
struct Indicator {
    QScrollBar* scroll = nullptr;
    QFrame* bar = nullptr;
};

Indicator makeIndicator(QWidget* parent, const char* name, const QString& title,
                        const QRect& geometry, const char* scrollName, const char* clipName,
                        const char* barName) {
    QGroupBox* frame = makeFrame(parent, name, title, geometry);
    const int clipHeight = geometry.height() * 15 - 420;
    Indicator indicator;
    int clipLeft = (geometry.width() * 15 - 495) / 2;
    if (scrollName) {
        indicator.scroll = new QScrollBar(Qt::Vertical, frame);
        indicator.scroll->setObjectName(QLatin1String(scrollName));
        indicator.scroll->setGeometry(twipsRect(240, 300, 255, clipHeight));
        clipLeft = 720;
    }
    auto* clip = new QFrame(frame);
    clip->setObjectName(QLatin1String(clipName));
    clip->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    fill(clip, QPalette::Window, Qt::white);
    clip->setGeometry(twipsRect(clipLeft, 300, 495, clipHeight));
    indicator.bar = new QFrame(clip);
    indicator.bar->setObjectName(QLatin1String(barName));
    fill(indicator.bar, QPalette::Window, kKeyGreen);
    indicator.bar->setGeometry(0, 0, clip->width(), clip->height());
    return indicator;
}

} // namespace

frmEmulation::frmEmulation(modGlobals& globals, clsOrva& orva, clsQuorilex& quorilex,
                           QWidget* beside)
    : QWidget(nullptr, Qt::Window)
    , globals(globals)
    , orva(orva)
    , quorilex(quorilex)
    , Timer1(this)
    , Timer2(this) {
    // The key faces live in this library's resources, which a static library must register.
    Q_INIT_RESOURCE(emulator);
    setObjectName(QStringLiteral("frmEmulation"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Emulator"));
    setFixedSize(pixelsFromTwips(8205), pixelsFromTwips(6390));

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(1000);
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setInterval(250);

    // The chooser comes first, so that it, not a range bar, has the focus when the window opens.
    makeLabel(this, "Label1", QStringLiteral("Machine Emulating:"),
              twipsRect(4200, 240, 3855, 255));
    cboMachine = new QComboBox(this);
    cboMachine->setObjectName(QStringLiteral("cboMachine"));
    cboMachine->setEditable(true);
    // Typing must not complete a name or add an entry: only the exact text selects a machine.
    cboMachine->setCompleter(nullptr);
    cboMachine->setInsertPolicy(QComboBox::NoInsert);
    cboMachine->setGeometry(twipsRect(4200, 480, 1575, 315));

    buildFrontPanel();
    buildOrvaPanel();
    buildQuorilexPanel();

    lblNextEmulatorOutput =
        makeLabel(this, "lblNextEmulatorOutput", QStringLiteral("RTF (Next Emulator Output)"),
                  twipsRect(1320, 5880, 6765, 450));
    lblNextEmulatorOutput->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    connect(&Timer1, &QTimer::timeout, this, &frmEmulation::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &frmEmulation::Timer2_Timer);
    connect(cboMachine, &QComboBox::currentTextChanged, this, &frmEmulation::cboMachine_Change);
    connect(cmdGO, &QPushButton::clicked, this, &frmEmulation::cmdGO_Click);
    connect(Command20, &QPushButton::clicked, this, &frmEmulation::Command20_Click);
    connect(chkInjectTab, &QCheckBox::toggled, this, &frmEmulation::chkInjectTab_Click);
    connect(txtIndex, &QLineEdit::textEdited, this, &frmEmulation::txtIndex_Edited);
    connect(txtEOLFrequency, &QLineEdit::textChanged, this, &frmEmulation::txtEOLFrequency_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &frmEmulation::VScroll1_Change);
    picGO->installEventFilter(this);

    Form_Load(beside);
    Timer1.start();
    Timer2.start();
}

frmEmulation::~frmEmulation() {
    Form_Unload();
}

void frmEmulation::buildFrontPanel() {
    QGroupBox* frame2 =
        makeFrame(this, "Frame2", QStringLiteral("Nalvo Panel"), twipsRect(0, 120, 4095, 5295));

    auto* picture5 = new QFrame(frame2);
    picture5->setObjectName(QStringLiteral("Picture5"));
    picture5->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    fill(picture5, QPalette::Window, kDisplayGreen);
    picture5->setGeometry(twipsRect(120, 360, 3855, 975));

    QFont displayFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    displayFont.setPointSize(18);
    lblLine1 = makeLabel(picture5, "lblLine1", QString(16, u'A'), twipsRect(120, 0, 3600, 435));
    lblLine2 = makeLabel(picture5, "lblLine2", QString(16, u'A'), twipsRect(120, 480, 3600, 435));
    for (QLabel* line : {lblLine1, lblLine2}) {
        line->setFont(displayFont);
        fill(line, QPalette::Window, kDisplayGreen);
    }

    Frame1 = new QFrame(frame2);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::NoFrame);
    fill(Frame1, QPalette::Window, kKeypadBlue);
    Frame1->setGeometry(twipsRect(120, 1440, 3855, 3660));

    QFont digitFont = font();
    digitFont.setPointSizeF(8.25);
    digitFont.setBold(true);
    int index = 0;
    for (const Key& key : kKeys) {
        const int row = index / kKeyColumns;
        const int column = index % kKeyColumns;
        ++index;
        auto* button = new QPushButton(QLatin1String(key.text), Frame1);
        button->setObjectName(QLatin1String(key.name));
        button->setGeometry(twipsRect(150 + column * 735, 240 + row * 855, 615, 615));
        if (key.text[0] >= '0' && key.text[0] <= '9')
            button->setFont(digitFont);
        if (column == kKeyColumns - 1)
            fill(button, QPalette::Button, kKeyGreen);
    }
    cmdGO = Frame1->findChild<QPushButton*>(QStringLiteral("cmdGO"));
    cmdUp = Frame1->findChild<QPushButton*>(QStringLiteral("cmdUp"));
    cmdDn = Frame1->findChild<QPushButton*>(QStringLiteral("cmdDn"));
    cmdLR = Frame1->findChild<QPushButton*>(QStringLiteral("cmdLR"));
    Command20 = Frame1->findChild<QPushButton*>(QStringLiteral("Command20"));

    picGO = makeKeyFace(Frame1, "picGO", QStringLiteral(":/keyfaces/go.png"));
    picUp = makeKeyFace(Frame1, "picUp", QStringLiteral(":/keyfaces/up.png"));
    picDn = makeKeyFace(Frame1, "picDn", QStringLiteral(":/keyfaces/dn.png"));
    picLR = makeKeyFace(Frame1, "picLR", QStringLiteral(":/keyfaces/lr.png"));
}

void frmEmulation::buildOrvaPanel() {
    famOrva = makeFrame(this, "famOrva", QStringLiteral("ORVA Emulation Control Panel"),
                        twipsRect(4200, 960, 3855, 4695));
    makeLabel(famOrva, "Label2", QStringLiteral("Index Number:"), twipsRect(120, 360, 1455, 255));
    txtIndex = new QLineEdit(famOrva);
    txtIndex->setObjectName(QStringLiteral("txtIndex"));
    txtIndex->setGeometry(twipsRect(1680, 300, 975, 315));
    makeLabel(famOrva, "Label3", QStringLiteral("Date:"), twipsRect(120, 720, 600, 255));
    makeLabel(famOrva, "Label4", QStringLiteral("RTF"), twipsRect(720, 720, 1080, 255));
    makeLabel(famOrva, "Label5", QStringLiteral("Time:"), twipsRect(1920, 720, 600, 255));
    makeLabel(famOrva, "Label6", QStringLiteral("RTF"), twipsRect(2520, 720, 1080, 255));

    measureControls =
        new RangeControls(QStringLiteral("Measurement Control "),
                          {"Frame12", "Measure", "Label7", "Label9", "Label11"},
                          globals.measureFocus, globals.measureWindow, orva,
                          &clsOrva::setMinMeasurement, &clsOrva::setMaxMeasurement, famOrva);
    measureControls->setGeometry(twipsRect(120, 1080, 3615, 1695));
    tempControls = new RangeControls(
        QStringLiteral("Temperature Control "), {"Frame13", "Temp", "Label15", "Label12", "Label8"},
        globals.tempFocus, globals.tempWindow, orva, &clsOrva::setMinTemperature,
        &clsOrva::setMaxTemperature, famOrva);
    tempControls->setGeometry(twipsRect(120, 2880, 3615, 1695));
}

void frmEmulation::buildQuorilexPanel() {
    famQuorilex = makeFrame(this, "famQuorilex", QStringLiteral("Quorilex Emulation Control Panel"),
                            twipsRect(0, 0, 3855, 4695));
    famQuorilex->hide();

    QGroupBox* frame3 = makeFrame(famQuorilex, "Frame3", QStringLiteral("EOL Frequency"),
                                  twipsRect(120, 300, 3615, 840));
    makeLabel(frame3, "Label10", QStringLiteral("Every:"), twipsRect(240, 405, 720, 255));
    txtEOLFrequency = new QLineEdit(QStringLiteral("16"), frame3);
    txtEOLFrequency->setObjectName(QStringLiteral("txtEOLFrequency"));
    txtEOLFrequency->setGeometry(twipsRect(1020, 360, 855, 315));
    makeLabel(frame3, "Label13", QStringLiteral("Samples"), twipsRect(2000, 405, 1095, 255));

    chkInjectTab = new QCheckBox(QStringLiteral("Inject Single Tab"), famQuorilex);
    chkInjectTab->setObjectName(QStringLiteral("chkInjectTab"));
    chkInjectTab->setGeometry(twipsRect(240, 1260, 2415, 255));

    const Indicator base =
        makeIndicator(famQuorilex, "Frame5", QStringLiteral("Base Level"),
                      twipsRect(120, 1620, 1755, 1440), "VScroll1", "Frame4", "famIll");
    VScroll1 = base.scroll;
    famIll = base.bar;
    makeIndicator(famQuorilex, "Frame6", QStringLiteral("Noise Level"),
                  twipsRect(1980, 1620, 1755, 1440), "VScroll2", "Frame7", "Frame8");
    makeIndicator(famQuorilex, "Frame9", QStringLiteral("Base Level with Noise"),
                  twipsRect(120, 3180, 3615, 1395), nullptr, "Frame10", "Frame11");
}

void frmEmulation::Form_Load(QWidget* beside) {
    globals.emulatorActive = true;
    chkInjectTab->setChecked(globals.injectSingleTab);
    if (beside) {
        const QRect main = beside->frameGeometry();
        move(main.x() + main.width() + pixelsFromTwips(20), main.y());
    }
    panelState = kPowerUp;
    powerUpCountdown = 300;
    refreshDisplay();
    placeKeyPictures();
    VScroll1->setRange(0, famIll->height() * 15);
    cboMachine->addItems({kOrva, kPelmar, kQuorilex, kTessor});
    cboMachine->setCurrentText(kOrva);
    txtIndex->setText(QStringLiteral("0000"));
    measureControls->start();
    tempControls->start();
    famQuorilex->move(famOrva->pos());
}

void frmEmulation::Form_Unload() {
    if (unloaded)
        return;
    unloaded = true;
    Timer1.stop();
    Timer2.stop();
    globals.emulatorActive = false;
}

void frmEmulation::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Form_Unload();
}

bool frmEmulation::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picGO) {
        if (event->type() == QEvent::MouseButtonPress)
            return true;
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                picGO->rect().contains(mouse->position().toPoint()))
                cmdGO->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmEmulation::placeKeyPictures() {
    const std::pair<QLabel*, QPushButton*> faces[] = {
        {picGO, cmdGO}, {picUp, cmdUp}, {picDn, cmdDn}, {picLR, cmdLR}};
    for (const auto& [picture, key] : faces) {
        picture->move(key->pos() + QPoint(pixelsFromTwips(10), pixelsFromTwips(10)));
        picture->raise();
    }
}

void frmEmulation::selectMachine(const QString& name) {
    if (name == kOrva) {
        famOrva->show();
        famQuorilex->hide();
    } else if (name == kQuorilex) {
        famOrva->hide();
        famQuorilex->show();
    } else if (name == kPelmar || name == kTessor) {
        QMessageBox::information(
            this, QStringLiteral("Celvane"),
            QStringLiteral("The %1 machine is not currently emulated").arg(name));
    }
}

void frmEmulation::refreshDisplay() {
    const QString state = panelState;
    if (state == kPowerUp) {
        lblLine1->setText(QStringLiteral("VELDAN DESIGNS"));
        lblLine2->setText(QString::number(powerUpCountdown));
        --powerUpCountdown;
        if (powerUpCountdown <= 0)
            panelState = kHome;
    } else if (state == kHome) {
        lblLine1->setText(QStringLiteral("0.000"));
        lblLine2->setText(QStringLiteral("Rdy"));
    } else if (state == kGo) {
        lblLine1->setText(QStringLiteral("Int: ") + QString::number(integrationCountdown));
        lblLine2->setText(QStringLiteral("<ESC>- Abort"));
        // The count stays at the bottom of its range rather than wrapping to a large positive.
        if (integrationCountdown > std::numeric_limits<qint16>::min())
            --integrationCountdown;
    }
}

void frmEmulation::Timer1_Timer() {
    refreshDisplay();
}

void frmEmulation::Timer2_Timer() {
    const QString machine = cboMachine->currentText();
    QString output;
    if (machine == kOrva)
        output = orva.nextOutput();
    else if (machine == kQuorilex)
        output = quorilex.nextOutput();
    else
        return;
    globals.emulatorOutput = output;
    lblNextEmulatorOutput->setText(output);
}

void frmEmulation::cboMachine_Change(const QString& text) {
    selectMachine(text);
}

void frmEmulation::cmdGO_Click() {
    panelState = kGo;
    integrationCountdown = 6000;
}

void frmEmulation::Command20_Click() {
    panelState = kHome;
}

void frmEmulation::chkInjectTab_Click(bool checked) {
    globals.injectSingleTab = checked;
}

void frmEmulation::injectSingleTabUsed() {
    chkInjectTab->setChecked(false);
}

void frmEmulation::txtIndex_Edited() {
    orva.setFourDigitIndex(txtIndex->text());
}

void frmEmulation::txtEOLFrequency_Change(const QString& text) {
    // A text that is no number in the 16-bit range (an empty box while the user retypes)
    // leaves the frequency as it is.
    if (const auto number = numberFromText(text))
        if (const auto samples = roundedInt16(*number))
            quorilex.setEOLFrequency(*samples);
}

void frmEmulation::VScroll1_Change(int value) {
    famIll->move(famIll->x(), pixelsFromTwips(value));
}
