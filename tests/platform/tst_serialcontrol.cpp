#include "fakeserialdevices.h"
#include "filecontent.h"
#include "portsettings.h"
#include "ptypair.h"
#include "qtserialcontrol.h"
#include "settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

// The serial control reads end A of a real pseudo-terminal pair; the test plays the instrument
// on end B.
class tst_SerialControl : public QObject {
    Q_OBJECT

    QTemporaryDir config;
    PtyPair pty;
    SystemSerialDevices devices;

    void writePorts(const QString& ports) {
        QVERIFY(writeFile(openSettings()->fileName(), ("[Ports]\n" + ports).toUtf8()));
    }
    // What the control reads of the bytes sent from end B.
    QByteArray pass(QtSerialControl& port, const QByteArray& bytes) {
        QByteArray got = writeFile(pty.deviceB(), bytes) ? "" : "not sent: ";
        for (int i = 0; i < 200 && got.size() < bytes.size(); ++i) {
            QTest::qWait(20);
            got += port.input().text.toLatin1();
        }
        return got;
    }

private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        openSettings()->setValue(QStringLiteral("Ports/COM1"), QString()); // makes its folder
    }
    void init() {
        QVERIFY2(pty.start(), "socat could not make a pseudo-terminal pair");
        writePorts("COM1=" + pty.deviceA());
    }

    void portMapsToDevice() {
        writePorts(QStringLiteral("COM3=/dev/ttyUSB0\n"));
        QCOMPARE(PortSettings::read(3).device + PortSettings::read(16).device,
                 QStringLiteral("/dev/ttyUSB0/dev/ttyS15"));
    }

    void bytesArriveInOrderAndPortOpensOnce() {
        QtSerialControl port(devices);
        QVERIFY(!port.setPortOpen(false) && port.setCommPort(1));
        QVERIFY(port.setPortOpen(true) && port.portOpen() && !port.setPortOpen(true));
        QVERIFY2(!port.setCommPort(2), "the port number is fixed while the port is open");
        // Every byte value, NUL and the upper half included, then a second burst.
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        QCOMPARE(pass(port, all) + pass(port, "0 0042\r\n"), all + "0 0042\r\n");
        QVERIFY(port.setPortOpen(false) && !port.setPortOpen(false));
    }

    void textIsStampedWhenRead() {
        QtSerialControl port(devices);
        QVERIFY(port.setPortOpen(true));
        const qint64 sent = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(writeFile(pty.deviceB(), "23.5\n"));
        QTest::qWait(500); // the port reads it meanwhile
        const qint64 taken = QDateTime::currentMSecsSinceEpoch();
        const ReceivedText text = port.input();
        QCOMPARE(text.text, QStringLiteral("23.5\n"));
        QVERIFY(!text.arrivals.isEmpty() && text.arrivals.last().end == 5);
        for (const ReceivedText::Arrival& arrival : text.arrivals)
            QVERIFY2(arrival.msecs >= sent && arrival.msecs < taken, "stamped when read");
    }

    void whyAPortDoesNotOpen_data() {
        QTest::addColumn<QString>("device"); // "the pty": end A of the pair, %1 in the reason
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("hindrance");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "/dev/ttyUSB7" << QStringList{"/dev/ttyACM0", "/dev/ttyS0"}
                                 << ""
                                 << "/dev/ttyUSB7 does not exist; the serial devices "
                                    "present are /dev/ttyACM0, /dev/ttyS0";
        QTest::newRow("missing, none present")
            << "/dev/ttyUSB7" << QStringList{} << ""
            << "/dev/ttyUSB7 does not exist, and no serial device is present";
        QTest::newRow("no permission") << "the pty" << QStringList{} << "the user may not"
                                       << "no permission to open %1: add your user to the "
                                          "\"%2\" group and log in again";
        QTest::newRow("held by another program")
            << "the pty" << QStringList{} << "another program holds it"
            << "%1 is in use by another program";
    }

    void whyAPortDoesNotOpen() {
        QFETCH(QString, device);
        QFETCH(QStringList, present);
        QFETCH(QString, hindrance);
        QFETCH(QString, reason);
        device.replace("the pty", pty.deviceA());
        FakeSerialDevices fake;
        for (const QString& path : present)
            fake.devices << SerialDevice{.path = path};
        fake.allowed = hindrance != "the user may not";
        QSerialPort other(device);
        QVERIFY(hindrance != "another program holds it" || other.open(QIODevice::ReadOnly));
        writePorts("COM1=" + device);
        QtSerialControl port(fake);
        QVERIFY(!port.setPortOpen(true) && !port.portOpen());
        struct stat status {}; // the group of the device the link leads to
        const bool exists = ::stat(QFile::encodeName(device).constData(), &status) == 0;
        const group* owner = exists ? ::getgrgid(status.st_gid) : nullptr;
        QCOMPARE(port.openError(),
                 reason.replace("%2", owner ? owner->gr_name : "").replace("%1", device));
    }

    void lineSettingsReachTheDevice_data() {
        // The settings under [Ports]; the speed, stop bits and flow control the device is then set
        // to, or why the port did not open (%1: the device).
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("gives");
        QTest::newRow("empty, and another port's") << "COM1Settings=\nCOM2Settings=1,q"
                                                   << "9600 1";
        QTest::newRow("capitals") << "COM1Settings=115200,N,8,2,RTSCTS"
                                  << "115200 2 rtscts";
        QTest::newRow("not a line setting")
            << "COM1Settings=115200,q,8,1"
            << "COM1Settings \"115200,q,8,1\" is not a line setting";
        QTest::newRow("refused by the device") << "COM1Settings=9600,n,8,1.5"
                                               << "COM1Settings \"9600,n,8,1.5\" is refused by %1";
        QTest::newRow("not a line format") << "COM1Settings=115200,n,8,1\nCOM1Fields=pipe"
                                           << "COM1Fields \"pipe\" is not a field separator";
    }

    void lineSettingsReachTheDevice() {
        QFETCH(QString, written);
        QFETCH(QString, gives);
        writePorts("COM1=" + pty.deviceA() + "\n" + written + "\n");
        // Opened before the control takes the device for itself: this end sees the same terminal.
        const int fd = ::open(QFile::encodeName(pty.deviceA()), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QtSerialControl port(devices);
        const bool opened = port.setPortOpen(true);
        termios tio{};
        QVERIFY(tcgetattr(fd, &tio) == 0 && ::close(fd) == 0);
        const QMap<speed_t, int> speeds{{B9600, 9600}, {B115200, 115200}};
        const QString line = QStringLiteral("%1 %2%3")
                                 .arg(speeds.value(cfgetispeed(&tio)))
                                 .arg((tio.c_cflag & CSTOPB) ? 2 : 1)
                                 .arg((tio.c_cflag & CRTSCTS) ? " rtscts" : "");
        QCOMPARE(opened ? line : port.openError(), gives.replace("%1", pty.deviceA()));
        QCOMPARE(port.portOpen(), opened);
    }

    void lostDeviceReportedOnceAndReopens() {
        QtSerialControl port(devices);
        QSignalSpy lost(&port, &QtSerialControl::lost);
        QVERIFY(port.setPortOpen(true) && writeFile(pty.deviceB(), "before\r\n"));
        // Text that arrived before the loss is kept, even when nobody read it yet.
        QTest::qWait(200);
        pty.stop();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
        QVERIFY(port.portLost() && !port.portOpen());
        QTest::qWait(300);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(port.input().text, QStringLiteral("before\r\n"));
        QVERIFY(!port.setPortOpen(true));
        // The device comes back: the port opens again and reading goes on.
        QVERIFY(pty.start() && port.setPortOpen(true) && !port.portLost());
        QCOMPARE(pass(port, "after\r\n"), "after\r\n");
    }
};

QTEST_GUILESS_MAIN(tst_SerialControl)
#include "tst_serialcontrol.moc"
