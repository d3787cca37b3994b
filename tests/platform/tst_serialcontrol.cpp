#include "ptypair.h"
#include "qtserialcontrol.h"
#include "settings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// The serial control reads end A of a real pseudo-terminal pair; the test plays the instrument
// on end B.
class tst_SerialControl : public QObject {
    Q_OBJECT

    QTemporaryDir config;
    std::unique_ptr<PtyPair> pty;

    void writePorts(const QString& ports) {
        QFile file(openSettings()->fileName());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(("[Ports]\n" + ports).toUtf8());
    }
    // Sends the bytes from end B; what the control then reads of them, unless told not to read.
    QByteArray pass(QtSerialControl& port, const QByteArray& bytes, bool read = true) {
        QFile peer(pty->deviceB());
        if (!peer.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
            peer.write(bytes) != bytes.size())
            return "not sent";
        QByteArray got;
        for (int i = 0; read && i < 200 && got.size() < bytes.size(); ++i) {
            QTest::qWait(20);
            got += port.input().toLatin1();
        }
        return got;
    }

private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        openSettings()->setValue(QStringLiteral("Ports/COM1"), QString()); // makes its folder
    }
    void init() {
        pty = std::make_unique<PtyPair>();
        QVERIFY2(pty->start(), "socat could not make a pseudo-terminal pair");
        writePorts("COM1=" + pty->deviceA());
    }
    void cleanup() { pty.reset(); }

    void portMapsToDevice() {
        writePorts(QStringLiteral("COM3=/dev/ttyUSB0\n"));
        QCOMPARE(QtSerialControl::deviceForPort(3), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(QtSerialControl::deviceForPort(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(QtSerialControl::deviceForPort(16), QStringLiteral("/dev/ttyS15"));
    }

    void bytesArriveInOrderAndPortOpensOnce() {
        QtSerialControl port;
        QVERIFY(!port.setPortOpen(false) && port.setCommPort(1));
        QVERIFY(port.setPortOpen(true) && port.portOpen() && !port.setPortOpen(true));
        QVERIFY2(!port.setCommPort(2), "the port number is fixed while the port is open");
        // Every byte value, NUL and the upper half included, then a second burst.
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        QCOMPARE(pass(port, all), all);
        QCOMPARE(pass(port, "0 0042 :: 12-06-2026\r\n"), "0 0042 :: 12-06-2026\r\n");
        QVERIFY(port.setPortOpen(false) && !port.setPortOpen(false));
        // A missing device: no setting is to blame.
        writePorts(QStringLiteral("COM1=%1/no-such-device").arg(config.path()));
        QVERIFY(!port.setPortOpen(true) && !port.portOpen() && port.openError().isEmpty());
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
        QTest::newRow("quoted, blanks") << "COM1Settings=\" 19200, n, 8, 1, xonxoff\""
                                        << "19200 1 xonxoff";
        QTest::newRow("not a line setting")
            << "COM1Settings=115200,q,8,1"
            << "COM1Settings \"115200,q,8,1\" is not a line setting";
        QTest::newRow("refused by the device") << "COM1Settings=9600,n,8,1.5"
                                               << "COM1Settings \"9600,n,8,1.5\" is refused by %1";
    }

    void lineSettingsReachTheDevice() {
        QFETCH(QString, written);
        QFETCH(QString, gives);
        writePorts(QStringLiteral("COM1=%1\n%2\n").arg(pty->deviceA(), written));
        // Opened before the control takes the device for itself: this end sees the same terminal.
        const int fd = ::open(QFile::encodeName(pty->deviceA()), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QtSerialControl port;
        const bool opened = port.setPortOpen(true);
        termios tio{};
        QVERIFY(tcgetattr(fd, &tio) == 0 && ::close(fd) == 0);
        const QMap<speed_t, int> speeds{{B9600, 9600}, {B19200, 19200}, {B115200, 115200}};
        const QString line =
            QStringLiteral("%1 %2%3%4")
                .arg(speeds.value(cfgetispeed(&tio)))
                .arg((tio.c_cflag & CSTOPB) ? 2 : 1)
                .arg((tio.c_cflag & CRTSCTS) ? " rtscts" : "")
                .arg((tio.c_iflag & IXON) && (tio.c_iflag & IXOFF) ? " xonxoff" : "");
        QCOMPARE(opened ? line : port.openError(), gives.replace("%1", pty->deviceA()));
        QCOMPARE(port.portOpen(), opened);
    }

    void lostDeviceReportedOnceAndReopens() {
        QtSerialControl port;
        QSignalSpy lost(&port, &QtSerialControl::lost);
        QVERIFY(port.setPortOpen(true));
        // Text that arrived before the loss is kept, even when nobody read it yet.
        pass(port, "before\r\n", false);
        QTest::qWait(200);
        pty->stop();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
        QVERIFY(port.portLost() && !port.portOpen());
        QTest::qWait(300);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(port.input(), QStringLiteral("before\r\n"));
        QVERIFY(!port.setPortOpen(true));
        // The device comes back: the port opens again and reading goes on.
        QVERIFY(pty->start());
        QVERIFY(port.setPortOpen(true) && !port.portLost());
        QCOMPARE(pass(port, "after\r\n"), "after\r\n");
    }
};

QTEST_GUILESS_MAIN(tst_SerialControl)
#include "tst_serialcontrol.moc"
