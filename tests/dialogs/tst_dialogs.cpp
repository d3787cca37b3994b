// The dialogs, the port settings window and the serial control it sets up, with devices the test
// controls and a real pseudo-terminal pair: the control reads end A, the test plays the
// instrument on end B.
#include "fakeserialdevices.h"
#include "filecontent.h"
#include "frmabout.h"
#include "frmcomport.h"
#include "frmexcelmacro.h"
#include "frmportsettings.h"
#include "modalanswer.h"
#include "ptypair.h"
#include "qtserialcontrol.h"
#include "settings.h"
#include "version.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;
Q_DECLARE_METATYPE(QList<SerialDevice>)

const SerialDevice kFtdi{"/dev/ttyUSB0",
                         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                         "FT232R USB UART", "FTDI", "A50285BI"};
const SerialDevice kBoard{.path = "/dev/ttyACM0", .description = "Board"};

// Steps separated by blanks: "click:name", "type:text", "closebox", or a key ("Down:7": 7 times).
static void play(QDialog* dialog, const QString& steps) {
    for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
        QWidget* target = dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog;
        const QString what = step.section(u':', 0, 0), argument = step.section(u':', 1);
        if (what == u"click") {
            QTest::mouseClick(dialog->findChild<QWidget*>(argument), Qt::LeftButton);
        } else if (what == u"type") {
            QTest::keyClicks(target, argument);
        } else if (what == u"closebox") { // as the window system sends it
            QCloseEvent event;
            QSpontaneKeyEvent::setSpontaneous(&event);
            QCoreApplication::sendEvent(dialog->windowHandle(), &event);
        } else {
            for (int i = qMax(1, argument.toInt()); i > 0; --i)
                QTest::keyClick(target, QKeySequence(what)[0].key());
        }
    }
}

class tst_Dialogs : public QObject {
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
    void writePorts(const QString& ports) {
        QVERIFY(writeFile(openSettings()->fileName(), ("[Ports]\n" + ports).toUtf8()));
    }

private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        openSettings()->setValue("Ports/COM9", QString()); // makes its folder
    }
    // Each test starts with COM 1 on end A of a new pair, two devices present, and may open them.
    void init() {
        devices = FakeSerialDevices({{.path = "/dev/ttyACM0"}, {.path = "/dev/ttyS0"}});
        QVERIFY2(pty.start(), "socat could not make a pseudo-terminal pair");
        writePorts("COM1=" + pty.deviceA());
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

    void preview_data() {
        QTest::addColumn<QStringList>("format"); // line end, fields, decimal mark
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QStringList>("shown"); // received, then the cells
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

    // OK stores the settings chosen, with which the port then opens; or it shows why not, keeps
    // the window open and stores nothing.
    void okButton_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("error"); // the last with a folder where the settings file is
        const auto add = [](const char* name, const char* device, const char* baud,
                            const char* error) {
            QTest::newRow(name) << QString(device) << QString(baud) << QString(error);
        };
        add("a device, but no terminal", "/dev/null", "9600", "/dev/null is not a serial device.");
        add("a word for a baud", "the pty", "fast",
            "The baud rate must be a positive whole number.");
        add("settings file not writable", "the pty", "9600",
            "The settings file %1 cannot be written.");
        add("stored", "the pty", "115200", "");
    }
    void okButton() {
        QFETCH(QString, device);
        QFETCH(QString, baud);
        QFETCH(QString, error);
        const QString file = openSettings()->fileName();
        const bool unwritable = error.contains("settings file");
        if (unwritable) // read once more without the file, so that nothing of it stays in memory
            QVERIFY(QFile::remove(file) && openSettings()->allKeys().isEmpty() &&
                    QDir().mkpath(file));
        frmPortSettings window(7, devices);
        QString shown;
        ModalAnswer answer([&](QDialog* dialog) {
            control<QLineEdit>(dialog, "txtDevice")
                ->setText(device.replace("the pty", pty.deviceA()));
            control<QComboBox>(dialog, "cboBaud")->setCurrentText(baud);
            control<QComboBox>(dialog, "cboStopBits")->setCurrentText("2");
            control<QComboBox>(dialog, "cboFlowControl")->setCurrentIndex(1);
            control<QComboBox>(dialog, "cboLineEnd")->setCurrentText("LF");
            control<QComboBox>(dialog, "cboFields")->setCurrentText("Comma");
            control<QCheckBox>(dialog, "chkTime")->setChecked(true);
            QTest::mouseClick(control<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
            shown = control<QLabel>(dialog, "lblError")->text();
            QCOMPARE(dialog->isVisible(), !error.isEmpty());
        });
        QCOMPARE(window.ShowForm(), error.isEmpty());
        QVERIFY(!unwritable || QDir().rmdir(file));
        QCOMPARE(shown, error.replace("%1", file));
        // As the README has it; how the port reads a line setting is the serial control's test.
        QCOMPARE(openSettings()->contains("Ports/COM7"), error.isEmpty());
        QCOMPARE(stored("COM7Settings"), error.isEmpty() ? "115200,n,8,2,rtscts" : "");
        if (!error.isEmpty())
            return;
        QtSerialControl port(devices);
        QVERIFY(port.setCommPort(7) && port.setPortOpen(true));
        QVERIFY(port.lineFormat() == (LineFormat{LineFormat::LineEnd::Lf, LineFormat::Fields::Comma,
                                                 LineFormat::Decimal::Point, true}));
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

    // The port given, the steps, the port returned, the option shown checked (-1: none).
    void comPort_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("shownOption");
        const QString com12 = QStringLiteral("click:optComPort_0 Tab Down:7 ");
        QTest::newRow("3, Enter") << 3 << "Return" << 3 << 3;
        QTest::newRow("5, OK") << 5 << "click:cmdOK" << 5 << 0;
        QTest::newRow("COM 12, OK") << 2 << com12 + "click:cmdOK" << 12 << 2;
        QTest::newRow("COM 12, Cancel") << 2 << com12 + "click:cmdCancel" << 2 << 2;
        QTest::newRow("COM 12, close box") << 2 << com12 + "closebox" << 2 << 2;
        QTest::newRow("0, OK") << 0 << "click:cmdOK" << 0 << -1;
        QTest::newRow("200, COM 7")
            << 200 << "click:optComPort_0 Tab Down:3 click:cmdOK" << 7 << -1;
    }
    void comPort() {
        QFETCH(QString, steps);
        int option = -2;
        bool listEnabled = false;
        ModalAnswer answer([&](QDialog* dialog) {
            option = dialog->findChild<QButtonGroup*>()->checkedId();
            listEnabled = dialog->findChild<QComboBox*>("cboComPort")->isEnabled();
            play(dialog, steps);
        });
        QFETCH(int, port);
        QTEST(frmComPort::GetPort(quint8(port)), "chosen");
        QVERIFY(answer.closedByUser());
        QTEST(option, "shownOption");
        QCOMPARE(listEnabled, option == 0);
    }
    void macro_data() {
        QTest::addColumn<bool>("enable");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("enableAfter");
        QTest::addColumn<QString>("nameAfter");
        QTest::newRow("check, type, Enter")
            << false << "click:chkExcelMacro Tab type:Tidy Return" << true << "Tidy";
        QTest::newRow("uncheck, OK") << true << "click:chkExcelMacro click:cmdOK" << false << "Old";
        QTest::newRow("Cancel") << false << "click:chkExcelMacro Tab type:New click:cmdCancel"
                                << false << "Old";
        QTest::newRow("close box") << true << "click:chkExcelMacro closebox" << true << "Old";
    }
    // Values come back only after OK; the kept dialog shows the caller's values at each use, the
    // name open for typing only while the macro is on.
    void macro() {
        QFETCH(bool, enable);
        QFETCH(QString, steps);
        QString name = "Old";
        frmExcelMacro dialog;
        for (int use = 0; use < 2; ++use) {
            dialog.setMacroEnable(enable);
            dialog.setMacroName(name);
            ModalAnswer answer([&](QDialog*) {
                auto* box = dialog.findChild<QLineEdit*>("txtExcelMacro");
                QCOMPARE(dialog.findChild<QCheckBox*>("chkExcelMacro")->isChecked(), enable);
                QVERIFY(box->text() == name && box->isEnabled() == enable);
                play(&dialog, use == 0 ? steps : QStringLiteral("click:cmdOK"));
            });
            const bool confirmed = dialog.ShowForm();
            QVERIFY(answer.closedByUser() && (confirmed || use == 0));
            enable = confirmed ? dialog.MacroEnable() : enable;
            name = confirmed ? dialog.MacroName() : name;
            QTEST(enable, "enableAfter");
            QTEST(name, "nameAfter");
        }
    }
    void aboutShowsVersionAtEachShowing() {
        frmAbout about;
        auto* version = about.findChild<QLabel*>("lblVersion");
        for (const char* close : {"click:cmdOK", "Return", "Esc", "closebox"}) {
            version->setText("stale");
            ModalAnswer answer([&](QDialog*) {
                QCOMPARE(version->text(), QStringLiteral("Version ") + Version::text);
                play(&about, QString::fromLatin1(close));
            });
            about.ShowForm();
            QVERIFY2(answer.closedByUser(), close);
        }
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
