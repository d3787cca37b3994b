#include "frmportsettings.h"

#include "formlayout.h"
#include "statusview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

#include <array>

namespace {

using P = QSerialPort;

// The choices of each list, in the order of its items.
constexpr std::array kParities{P::NoParity, P::EvenParity, P::OddParity, P::MarkParity,
                               P::SpaceParity};
constexpr std::array kFlowControls{P::NoFlowControl, P::HardwareControl, P::SoftwareControl};
#ifdef Q_OS_WIN
constexpr std::array kStopBits{P::OneStop, P::OneAndHalfStop, P::TwoStop};
#else
// Serial ports here know one or two stop bits only.
constexpr std::array kStopBits{P::OneStop, P::TwoStop};
#endif

template <typename T, std::size_t N> int indexOf(const std::array<T, N>& values, T value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (values[i] == value)
            return int(i);
    }
    return 0;
}

// How often the list of devices is read again, so that one plugged in shows soon.
constexpr int kDeviceRefreshMs = 1000;
constexpr int kRowHeight = 22;

} // namespace

frmPortSettings::frmPortSettings(qint16 port, const SerialDevices& devices)
    : FixedDialog(QStringLiteral("frmPortSettings"), QStringLiteral("COM %1 Settings").arg(port),
                  QSize(600, 500))
    , m_port(port)
    , m_devices(devices)
    , m_preview(devices) {
    setFont(formFont(formDefaultPointSize));

    QGroupBox* fraDevice =
        group(QStringLiteral("fraDevice"), QStringLiteral("Device"), QRect(8, 4, 584, 156));
    lstDevices =
        placed(new QListWidget(fraDevice), QStringLiteral("lstDevices"), QRect(8, 20, 568, 72));
    auto* lblDevice = placed(new QLabel(QStringLiteral("&Device:"), fraDevice),
                             QStringLiteral("lblDevice"), QRect(8, 100, 60, kRowHeight));
    txtDevice = placed(new QLineEdit(fraDevice), QStringLiteral("txtDevice"),
                       QRect(70, 100, 506, kRowHeight));
    lblDevice->setBuddy(txtDevice);
    lblStableName = placed(new QLabel(fraDevice), QStringLiteral("lblStableName"),
                           QRect(8, 128, 568, kRowHeight));
    lblStableName->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QGroupBox* fraLine =
        group(QStringLiteral("fraLine"), QStringLiteral("Line"), QRect(8, 166, 288, 156));
    cboBaud = choice(fraLine, QStringLiteral("cboBaud"), QStringLiteral("&Baud:"), 0,
                     {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400",
                      "460800", "921600"});
    cboBaud->setEditable(true);
    cboParity = choice(fraLine, QStringLiteral("cboParity"), QStringLiteral("&Parity:"), 1,
                       {"None", "Even", "Odd", "Mark", "Space"});
    cboDataBits = choice(fraLine, QStringLiteral("cboDataBits"), QStringLiteral("Data &bits:"), 2,
                         {"5", "6", "7", "8"});
    QStringList stops;
    for (const P::StopBits bits : kStopBits)
        stops << (bits == P::OneAndHalfStop ? QStringLiteral("1.5") : QString::number(int(bits)));
    cboStopBits =
        choice(fraLine, QStringLiteral("cboStopBits"), QStringLiteral("&Stop bits:"), 3, stops);
    cboFlowControl =
        choice(fraLine, QStringLiteral("cboFlowControl"), QStringLiteral("&Flow control:"), 4,
               {"None", "RTS/CTS (hardware)", "XON/XOFF (software)"});

    QGroupBox* fraFormat = group(QStringLiteral("fraFormat"), QStringLiteral("Line format"),
                                 QRect(304, 166, 288, 156));
    cboLineEnd = choice(fraFormat, QStringLiteral("cboLineEnd"), QStringLiteral("Line &end:"), 0,
                        {"CR LF", "LF", "CR", "Any: CR LF, LF or CR"});
    cboFields = choice(fraFormat, QStringLiteral("cboFields"), QStringLiteral("F&ields:"), 1,
                       {"TAB", "Comma", "Semicolon"});
    cboDecimal = choice(fraFormat, QStringLiteral("cboDecimal"), QStringLiteral("Deci&mal mark:"),
                        2, {"Point", "Comma"});
    chkTime =
        placed(new QCheckBox(QStringLiteral("&Time of arrival in the first column"), fraFormat),
               QStringLiteral("chkTime"), QRect(8, 20 + 3 * 26, 272, kRowHeight));

    QGroupBox* fraPreview =
        group(QStringLiteral("fraPreview"),
              QStringLiteral("What arrives, and the cells it becomes"), QRect(8, 328, 584, 132));
    lblPreview =
        placed(new QLabel(fraPreview), QStringLiteral("lblPreview"), QRect(8, 18, 568, 18));
    tblPreview = placed(new QTableWidget(0, 2, fraPreview), QStringLiteral("tblPreview"),
                        QRect(8, 38, 568, 88));
    tblPreview->setHorizontalHeaderLabels({QStringLiteral("Received"), QStringLiteral("Cells")});
    tblPreview->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tblPreview->verticalHeader()->setVisible(false);
    tblPreview->verticalHeader()->setDefaultSectionSize(18);
    tblPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);

    lblError = placed(new QLabel(this), QStringLiteral("lblError"), QRect(8, 466, 400, 28));
    lblError->setWordWrap(true);
    lblError->setStyleSheet(QStringLiteral("color: #c00000"));
    cmdOK = placed(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOK"),
                   QRect(420, 468, 80, 26));
    cmdOK->setDefault(true);
    cmdCancel = placed(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("cmdCancel"),
                       QRect(508, 468, 80, 26));

    showSettings(PortSettings::read(port));
    refreshDevices();
    m_deviceTimer.setInterval(kDeviceRefreshMs);

    connect(&m_deviceTimer, &QTimer::timeout, this, &frmPortSettings::refreshDevices);
    connect(lstDevices, &QListWidget::itemClicked, this, &frmPortSettings::lstDevices_Click);
    connect(txtDevice, &QLineEdit::textChanged, this, &frmPortSettings::settingsChanged);
    for (QComboBox* line : {cboBaud, cboParity, cboDataBits, cboStopBits, cboFlowControl})
        connect(line, &QComboBox::currentTextChanged, this, &frmPortSettings::settingsChanged);
    for (QComboBox* format : {cboLineEnd, cboFields, cboDecimal})
        connect(format, &QComboBox::currentIndexChanged, this, &frmPortSettings::formatChanged);
    connect(chkTime, &QCheckBox::toggled, this, &frmPortSettings::formatChanged);
    connect(&m_preview, &PortPreview::changed, this, &frmPortSettings::showPreview);
    connect(cmdOK, &QPushButton::clicked, this, &frmPortSettings::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmPortSettings::cmdCancel_Click);
}

QGroupBox* frmPortSettings::group(const QString& name, const QString& caption, QRect place) {
    return placed(new QGroupBox(caption, this), name, place);
}

QComboBox* frmPortSettings::choice(QGroupBox* group, const QString& name, const QString& caption,
                                   int row, const QStringList& items) {
    const int top = 20 + row * 26;
    auto* label = placed(new QLabel(caption, group), QStringLiteral("lbl") + name.mid(3),
                         QRect(8, top, 100, kRowHeight));
    auto* box = placed(new QComboBox(group), name, QRect(110, top, 170, kRowHeight));
    box->addItems(items);
    label->setBuddy(box);
    return box;
}

bool frmPortSettings::ShowForm() {
    m_stored = false;
    settingsChanged();
    m_deviceTimer.start();
    exec();
    m_deviceTimer.stop();
    m_preview.stop();
    return m_stored;
}

void frmPortSettings::reject() {
    cmdCancel_Click();
}

void frmPortSettings::showSettings(const PortSettings& settings) {
    txtDevice->setText(settings.device);
    cboBaud->setCurrentText(QString::number(settings.line.baud));
    cboParity->setCurrentIndex(indexOf(kParities, settings.line.parity));
    cboDataBits->setCurrentText(QString::number(int(settings.line.dataBits)));
    cboStopBits->setCurrentIndex(indexOf(kStopBits, settings.line.stopBits));
    cboFlowControl->setCurrentIndex(indexOf(kFlowControls, settings.line.flowControl));
    cboLineEnd->setCurrentIndex(int(settings.format.lineEnd));
    cboFields->setCurrentIndex(int(settings.format.fields));
    cboDecimal->setCurrentIndex(int(settings.format.decimal));
    chkTime->setChecked(settings.format.time);
    m_preview.setFormat(settings.format);
}

PortSettings frmPortSettings::chosen() const {
    PortSettings settings;
    settings.device = txtDevice->text().trimmed();
    settings.line.baud = cboBaud->currentText().trimmed().toInt();
    settings.line.parity = kParities[std::size_t(cboParity->currentIndex())];
    settings.line.dataBits = P::DataBits(cboDataBits->currentText().toInt());
    settings.line.stopBits = kStopBits[std::size_t(cboStopBits->currentIndex())];
    settings.line.flowControl = kFlowControls[std::size_t(cboFlowControl->currentIndex())];
    settings.format = {LineFormat::LineEnd(cboLineEnd->currentIndex()),
                       LineFormat::Fields(cboFields->currentIndex()),
                       LineFormat::Decimal(cboDecimal->currentIndex()), chkTime->isChecked()};
    return settings;
}

QString frmPortSettings::storedDevice() const {
    const QString typed = txtDevice->text().trimmed();
    for (const SerialDevice& device : m_present) {
        if (device.path == typed && !device.stablePath.isEmpty())
            return device.stablePath;
    }
    return typed;
}

QString frmPortSettings::lineRefusal() const {
    const PortSettings settings = chosen();
    if (settings.device.isEmpty())
        return QStringLiteral("Choose a serial device, or type one.");
    if (const QString why = notSerialDevice(settings.device); !why.isEmpty())
        return why;
    if (!LineSettings::parseBaud(cboBaud->currentText().trimmed()))
        return QStringLiteral("The baud rate must be a positive whole number.");
    return {};
}

void frmPortSettings::refreshDevices() {
    m_present = m_devices.present();
    const QString typed = txtDevice->text().trimmed();
    QStringList labels;
    bool listed = typed.isEmpty();
    for (const SerialDevice& device : m_present) {
        labels << device.label();
        listed = listed || device.path == typed || device.stablePath == typed;
    }
    if (!listed)
        labels << (QFileInfo::exists(typed) ? typed
                                            : QStringLiteral("%1 \u2014 not present").arg(typed));
    QStringList shown;
    for (int i = 0; i < lstDevices->count(); ++i)
        shown << lstDevices->item(i)->text();
    if (shown != labels) {
        lstDevices->clear();
        lstDevices->addItems(labels);
    }
    const QString stable = storedDevice();
    lblStableName->setText(stable == typed ? QString()
                                           : QStringLiteral("Stored as %1").arg(stable));
}

void frmPortSettings::lstDevices_Click() {
    const int row = lstDevices->currentRow();
    if (row >= 0 && row < m_present.size())
        txtDevice->setText(m_present[row].path);
}

void frmPortSettings::settingsChanged() {
    refreshDevices();
    lblError->clear();
    const PortSettings settings = chosen();
    if (const QString why = lineRefusal(); !why.isEmpty()) {
        m_preview.stop();
        lblPreview->setText(why);
        showPreview();
        return;
    }
    if (m_preview.start(settings.device, settings.line))
        lblPreview->setText(
            QStringLiteral("Reading %1 at %2").arg(settings.device, settings.line.text()));
    else
        lblPreview->setText(PortNotAvailableText + QStringLiteral(": ") + m_preview.error());
}

void frmPortSettings::formatChanged() {
    m_preview.setFormat(chosen().format);
}

void frmPortSettings::showPreview() {
    const QList<PortPreview::Line>& lines = m_preview.lines();
    tblPreview->setRowCount(int(lines.size()));
    for (int row = 0; row < lines.size(); ++row) {
        tblPreview->setItem(row, 0, new QTableWidgetItem(lines[row].received));
        tblPreview->setItem(row, 1, new QTableWidgetItem(lines[row].cells));
    }
    tblPreview->scrollToBottom(); // the newest
}

void frmPortSettings::cmdOK_Click() {
    PortSettings settings = chosen();
    QString why = lineRefusal();
    if (why.isEmpty() && settings.format.fields == LineFormat::Fields::Comma &&
        settings.format.decimal == LineFormat::Decimal::Comma)
        why = QStringLiteral("Comma fields cannot be read with a decimal comma.");
    if (!why.isEmpty()) {
        lblError->setText(why);
        return;
    }
    settings.device = storedDevice();
    why = settings.write(m_port);
    if (!why.isEmpty()) {
        lblError->setText(why);
        return;
    }
    m_stored = true;
    QDialog::accept();
}

void frmPortSettings::cmdCancel_Click() {
    QDialog::reject();
}
