#include "fakeserialdevices.h"
#include "filecontent.h"
#include "ptypair.h"
#include "qtserialcontrol.h"
#include "settings.h"

#include <QtTest>

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
    FakeSerialDevices devices{{{.path = "/dev/ttyACM0"}, {.path = "/dev/ttyS0"}}};

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
        openSettings()->setValue("Ports/COM9", QString()); // makes its folder
    }
    // Each test starts with COM 1 on end A of a new pair.
    void init() {
        QVERIFY2(pty.start(), "socat could not make a pseudo-terminal pair");
        writePorts("COM1=" + pty.deviceA());
    }

    void bytesArriveInOrderAndPortOpensOnce() {
        QtSerialControl port(devices);
        QVERIFY(!port.setPortOpen(false) && !port.setCommPort(0) && port.setCommPort(1));
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
        const qint64 sent = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(port.setPortOpen(true) && writeFile(pty.deviceB(), "23.5\n"));
        QThread::msleep(500); // the port reads it meanwhile, however busy the caller is
        const qint64 taken = QDateTime::currentMSecsSinceEpoch();
        const ReceivedText text = port.input();
        QVERIFY(text.text == "23.5\n" && !text.arrivals.isEmpty() && text.arrivals.last().end == 5);
        for (const ReceivedText::Arrival& arrival : text.arrivals)
            QVERIFY2(arrival.msecs >= sent && arrival.msecs < taken, "stamped when read");
    }

    void whatThePortOpensWith_data() {
        // [Ports] (%1: the device); what keeps the port from opening; the speed, stop bits and
        // flow control the device is then set to, or why the port did not open (%2: its group).
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("hindrance");
        QTest::addColumn<QString>("gives");
        const auto add = [](const char* name, const char* written, const char* hindrance,
                            const char* gives) {
            QTest::newRow(name) << QString(written) << QString(hindrance) << QString(gives);
        };
        add("empty, and another port's", "COM1=%1\nCOM1Settings=\nCOM2Settings=1,q", "", "9600 1");
        add("capitals", "COM1=%1\nCOM1Settings=115200,N,8,2,RTSCTS", "", "115200 2 rtscts");
        add("not a line setting", "COM1=%1\nCOM1Settings=115200,q,8,1", "",
            "COM1Settings \"115200,q,8,1\" is not a line setting");
        add("refused by the device", "COM1=%1\nCOM1Settings=9600,n,8,1.5", "",
            "COM1Settings \"9600,n,8,1.5\" is refused by %1");
        add("not a line format", "COM1=%1\nCOM1Fields=pipe", "",
            "COM1Fields \"pipe\" is not a field separator");
        add("missing", "COM1=/dev/ttyUSB7", "",
            "/dev/ttyUSB7 does not exist; the serial devices present are /dev/ttyACM0, /dev/ttyS0");
        add("no permission", "COM1=%1", "the user may not",
            "no permission to open %1: add your user to the \"%2\" group and log in again");
        add("held by another program", "COM1=%1", "another program holds it",
            "%1 is in use by another program");
    }

    void whatThePortOpensWith() {
        QFETCH(QString, written);
        QFETCH(QString, hindrance);
        QFETCH(QString, gives);
        writePorts(written.replace("%1", pty.deviceA()));
        devices.allowed = hindrance != "the user may not";
        QSerialPort other(pty.deviceA());
        QVERIFY(hindrance != "another program holds it" || other.open(QIODevice::ReadOnly));
        // Opened before the control takes the device for itself: this end sees the same terminal.
        const int fd = ::open(QFile::encodeName(pty.deviceA()), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QtSerialControl port(devices);
        const bool opened = port.setPortOpen(true);
        termios tio{};
        struct stat status {}; // the group of the device the link leads to
        QVERIFY(tcgetattr(fd, &tio) == 0 && fstat(fd, &status) == 0 && ::close(fd) == 0);
        const QMap<speed_t, QString> speeds{{B9600, "9600"}, {B115200, "115200"}};
        const QString line = speeds.value(cfgetispeed(&tio)) +
                             ((tio.c_cflag & CSTOPB) ? " 2" : " 1") +
                             ((tio.c_cflag & CRTSCTS) ? " rtscts" : "");
        gives.replace("%1", pty.deviceA()).replace("%2", ::getgrgid(status.st_gid)->gr_name);
        QCOMPARE(opened ? line : port.openError(), gives);
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

QTEST_MAIN(tst_SerialControl)
#include "tst_serialcontrol.moc"
