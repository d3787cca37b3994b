// The port settings window, with devices the test controls and a real pseudo-terminal pair.
#include "fakeserialdevices.h"
#include "filecontent.h"
#include "frmcomport.h"
#include "frmportsettings.h"
#include "modalanswer.h"
#include "ptypair.h"
#include "qtserialcontrol.h"
#include "settings.h"

#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
Q_DECLARE_METATYPE(QList<SerialDevice>)

const SerialDevice kFtdi{"/dev/ttyUSB0",
                         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                         "FT232R USB UART", "FTDI", "A50285BI"};
const SerialDevice kBoard{.path = "/dev/ttyACM0", .description = "Board"};

class tst_PortSettings : public QObject {
    Q_OBJECT

    QTemporaryDir config;
    PtyPair pty;
    FakeSerialDevices devices;

    template <class T> T* control(QDialog* dialog, const char* name) {
        return dialog->findChild<T*>(QLatin1String(name));
    }
    QStringList listed(QDialog* dialog) {
        auto* list = control<QListWidget>(dialog, "lstDevices");
        QStringList labels;
        for (int row = 0; row < list->count(); ++row)
            labels << list->item(row)->text();
        return labels;
    }
    QString stored(const QString& key) { return openSettings()->value("Ports/" + key).toString(); }

private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        openSettings()->setValue("Ports/COM9", QString()); // makes its folder
        QVERIFY2(pty.start(), "socat could not make a pseudo-terminal pair");
    }
    void init() {
        QFile::remove(openSettings()->fileName());
        devices.devices.clear();
    }

    // The devices change while the window is open: the list follows within two seconds.
    void deviceChoice_data() {
        QTest::addColumn<QList<SerialDevice>>("before");  // present when the window opens
        QTest::addColumn<QList<SerialDevice>>("present"); // then
        QTest::addColumn<QString>("mapped");              // what the settings file held
        QTest::addColumn<int>("clicked");                 // the row of the list clicked, -1 none
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("shownAs"); // the stable name shown beside the device
        QTest::addColumn<QString>("storedAs");
        const QString ftdi = u"/dev/ttyUSB0 \u2014 FT232R USB UART (FTDI, A50285BI)"_s;
        QTest::newRow("a mapped device that goes stays, not present")
            << QList{kFtdi, kBoard} << QList{kFtdi} << "/dev/ttyACM0" << -1
            << QStringList{ftdi, u"/dev/ttyACM0 \u2014 not present"_s} << ""
            << "/dev/ttyACM0";
        QTest::newRow("devices plugged in; the stable name is stored")
            << QList<SerialDevice>{} << QList{kBoard, kFtdi} << "" << 1
            << QStringList{u"/dev/ttyACM0 \u2014 Board"_s, ftdi} << "Stored as " + kFtdi.stablePath
            << kFtdi.stablePath;
    }
    void deviceChoice() {
        QFETCH(QList<SerialDevice>, before);
        QFETCH(QList<SerialDevice>, present);
        QFETCH(QString, mapped);
        QFETCH(int, clicked);
        QFETCH(QStringList, list);
        devices.devices = before;
        if (!mapped.isEmpty())
            openSettings()->setValue("Ports/COM4", mapped);
        frmPortSettings window(4, devices);
        ModalAnswer answer(
            [&](QDialog* dialog) {
                devices.devices = present;
                auto* shown = control<QListWidget>(dialog, "lstDevices");
                const QStringList wanted = clicked < 0 ? list : list.mid(0, present.size());
                QTRY_COMPARE_WITH_TIMEOUT(listed(dialog).mid(0, wanted.size()), wanted, 3000);
                if (clicked >= 0)
                    QTest::mouseClick(shown->viewport(), Qt::LeftButton, {},
                                      shown->visualItemRect(shown->item(clicked)).center());
                QCOMPARE(listed(dialog), list);
                QTEST(control<QLabel>(dialog, "lblStableName")->text(), "shownAs");
                QTest::mouseClick(control<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
            },
            5000);
        QVERIFY(window.ShowForm() && answer.closedByUser());
        QTEST(stored("COM4"), "storedAs");
    }

    void storedSettingsOpenThePort() {
        frmPortSettings window(3, devices);
        ModalAnswer answer([&](QDialog* dialog) {
            control<QLineEdit>(dialog, "txtDevice")->setText(pty.deviceA());
            control<QComboBox>(dialog, "cboBaud")->setCurrentText("115200");
            control<QComboBox>(dialog, "cboStopBits")->setCurrentText("2");
            control<QComboBox>(dialog, "cboFlowControl")->setCurrentIndex(1);
            control<QComboBox>(dialog, "cboLineEnd")->setCurrentText("LF");
            control<QComboBox>(dialog, "cboFields")->setCurrentText("Comma");
            control<QCheckBox>(dialog, "chkTime")->setChecked(true);
            QTest::mouseClick(control<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
        });
        QVERIFY(window.ShowForm());
        QCOMPARE(stored("COM3Settings"), "115200,n,8,2,rtscts"); // as the README has it
        // Opened before the control takes the device for itself: this end sees the same terminal.
        const int fd = ::open(QFile::encodeName(pty.deviceA()), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QtSerialControl port(devices);
        QVERIFY(port.setCommPort(3) && port.setPortOpen(true));
        termios tio{};
        QVERIFY(tcgetattr(fd, &tio) == 0 && ::close(fd) == 0);
        QVERIFY(cfgetispeed(&tio) == B115200 && (tio.c_cflag & CSTOPB) && (tio.c_cflag & CRTSCTS));
        QVERIFY(port.lineFormat() == (LineFormat{LineFormat::LineEnd::Lf, LineFormat::Fields::Comma,
                                                 LineFormat::Decimal::Point, true}));
    }

    void preview_data() {
        QTest::addColumn<QStringList>("format"); // line end, fields, decimal mark
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QStringList>("shown"); // received, then the cells
        QTest::newRow("a board, read as CR LF TAB")
            << QStringList{"CR LF", "TAB", "Point"} << QByteArray("23.5,41.2\n24,1\n")
            << QStringList{"23.5,41.2<LF>24,1<LF>", ""};
        QTest::newRow("the same, read as LF and commas")
            << QStringList{"LF", "Comma", "Point"} << QByteArray("23.5,41.2\n24,1\n")
            << QStringList{"23.5,41.2<LF>", "23.5 | 41.2", "24,1<LF>", "24 | 1"};
        QTest::newRow("European") << QStringList{"CR LF", "Semicolon", "Comma"}
                                  << QByteArray("23,5;41,2;a\r\n")
                                  << QStringList{"23,5;41,2;a<CR><LF>", "23.5 | 41.2 | \"a\""};
        QTest::newRow("TAB") << QStringList{"CR LF", "TAB", "Point"} << QByteArray("a\t1\r\nb")
                             << QStringList{"a<TAB>1<CR><LF>", "\"a\" | 1", "b", ""};
    }
    void preview() {
        QFETCH(QStringList, format);
        QFETCH(QByteArray, sent);
        frmPortSettings window(6, devices);
        QStringList shown;
        ModalAnswer answer([&](QDialog* dialog) {
            control<QLineEdit>(dialog, "txtDevice")->setText(pty.deviceA());
            QTest::qWait(100);
            QVERIFY(writeFile(pty.deviceB(), sent));
            QTest::qWait(400);
            // A format chosen after the text came applies to it too.
            for (const char* name : {"cboLineEnd", "cboFields", "cboDecimal"})
                control<QComboBox>(dialog, name)->setCurrentText(format.takeFirst());
            auto* table = control<QTableWidget>(dialog, "tblPreview");
            for (int row = 0; row < table->rowCount(); ++row)
                shown << table->item(row, 0)->text() << table->item(row, 1)->text();
        });
        window.ShowForm();
        QVERIFY(answer.reached());
        QTEST(shown, "shown");
    }

    void refusedAtOK_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("error"); // the last with a folder where the settings file is
        QTest::newRow("a device, but no terminal") << "/dev/null"
                                                   << "9600"
                                                   << "/dev/null is not a serial device.";
        QTest::newRow("a word for a baud") << "the pty"
                                           << "fast"
                                           << "The baud rate must be a positive whole number.";
        QTest::newRow("settings file not writable") << "the pty"
                                                    << "9600"
                                                    << "The settings file %1 cannot be written.";
    }
    void refusedAtOK() {
        QFETCH(QString, device);
        QFETCH(QString, baud);
        QFETCH(QString, error);
        const QString file = openSettings()->fileName();
        const bool unwritable = error.contains("settings file");
        QVERIFY(!unwritable || QDir().mkpath(file));
        frmPortSettings window(7, devices);
        QString shown;
        ModalAnswer answer([&](QDialog* dialog) {
            control<QLineEdit>(dialog, "txtDevice")
                ->setText(device.replace("the pty", pty.deviceA()));
            control<QComboBox>(dialog, "cboBaud")->setCurrentText(baud);
            QTest::mouseClick(control<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
            shown = control<QLabel>(dialog, "lblError")->text();
            QVERIFY(dialog->isVisible());
        });
        QVERIFY(!window.ShowForm() && (!unwritable || QDir().rmdir(file)));
        QCOMPARE(shown, error.replace("%1", file));
        QVERIFY(!openSettings()->contains("Ports/COM7"));
    }

    // The COM dialog opens the settings of the port selected at that moment.
    void settingsOfTheSelectedPort() {
        QString caption;
        ModalAnswer comPort([&](QDialog* dialog) {
            QTest::mouseClick(control<QRadioButton>(dialog, "optComPort_0"), Qt::LeftButton);
            control<QComboBox>(dialog, "cboComPort")->setCurrentIndex(7);
            ModalAnswer settings([&](QDialog* window) { caption = window->windowTitle(); });
            QTest::mouseClick(control<QPushButton>(dialog, "cmdSettings"), Qt::LeftButton);
            QTest::mouseClick(control<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
        });
        QCOMPARE(frmComPort::GetPort(2, devices), 2);
        QCOMPARE(caption, "COM 12 Settings");
    }
};

QTEST_MAIN(tst_PortSettings)
#include "tst_portsettings.moc"
