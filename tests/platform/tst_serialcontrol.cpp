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

// The serial control over a real pseudo-terminal pair: the control reads end A, the test
// plays the instrument on end B.
class tst_SerialControl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void portMapsToDevice_data();
    void portMapsToDevice();
    void bytesArriveInOrderAcrossReads();
    void lineSettingsReachTheDevice_data();
    void lineSettingsReachTheDevice();
    void missingDeviceFailsToOpen();
    void closingTwiceFails();
    void lostDeviceReportedOnceAndReopens();

private:
    void mapCom1To(const QString& device);
    // The line the terminal is set to, in the form the settings file uses ("9600,n,8,1,none").
    static QString lineOf(int fd);
    void send(const QByteArray& bytes);
    QByteArray readUntil(QtSerialControl& port, qsizetype size);

    QTemporaryDir m_config;
    std::unique_ptr<PtyPair> m_pty;
};

void tst_SerialControl::initTestCase() {
    QVERIFY(m_config.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
}

void tst_SerialControl::init() {
    m_pty = std::make_unique<PtyPair>();
    QVERIFY2(m_pty->start(), "socat could not make a pseudo-terminal pair");
    openSettings()->remove(QStringLiteral("Ports"));
    mapCom1To(m_pty->deviceA());
}

void tst_SerialControl::cleanup() {
    m_pty.reset();
}

void tst_SerialControl::mapCom1To(const QString& device) {
    auto settings = openSettings();
    settings->setValue(QStringLiteral("Ports/COM1"), device);
}

QString tst_SerialControl::lineOf(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return QStringLiteral("no terminal");
    const QMap<speed_t, int> speeds{
        {B9600, 9600}, {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    const tcflag_t c = tio.c_cflag;
    const char* parity = !(c & PARENB)  ? "n"
                         : (c & CMSPAR) ? ((c & PARODD) ? "m" : "s")
                         : (c & PARODD) ? "o"
                                        : "e";
    const QMap<tcflag_t, int> sizes{{CS5, 5}, {CS6, 6}, {CS7, 7}, {CS8, 8}};
    const char* flow = (c & CRTSCTS)                                   ? "rtscts"
                       : (tio.c_iflag & IXON) && (tio.c_iflag & IXOFF) ? "xonxoff"
                                                                       : "none";
    return QStringLiteral("%1,%2,%3,%4,%5")
        .arg(speeds.value(cfgetispeed(&tio)))
        .arg(QLatin1String(parity))
        .arg(sizes.value(c & CSIZE))
        .arg((c & CSTOPB) ? 2 : 1)
        .arg(QLatin1String(flow));
}

void tst_SerialControl::send(const QByteArray& bytes) {
    QFile peer(m_pty->deviceB());
    QVERIFY(peer.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QCOMPARE(peer.write(bytes), bytes.size());
}

QByteArray tst_SerialControl::readUntil(QtSerialControl& port, qsizetype size) {
    QByteArray got;
    for (int i = 0; i < 200 && got.size() < size; ++i) {
        QTest::qWait(20);
        got += port.input().toLatin1();
    }
    return got;
}

void tst_SerialControl::portMapsToDevice_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("mapping");
    QTest::addColumn<QString>("device");
    QTest::newRow("mapped") << 3 << "/dev/ttyUSB0"
                            << "/dev/ttyUSB0";
    QTest::newRow("unmapped first port") << 1 << ""
                                         << "/dev/ttyS0";
    QTest::newRow("unmapped sixteenth port") << 16 << ""
                                             << "/dev/ttyS15";
}

void tst_SerialControl::portMapsToDevice() {
    QFETCH(int, port);
    QFETCH(QString, mapping);
    QFETCH(QString, device);
    auto settings = openSettings();
    settings->remove(QStringLiteral("Ports"));
    if (!mapping.isEmpty())
        settings->setValue(QStringLiteral("Ports/COM%1").arg(port), mapping);
    settings.reset();
    QCOMPARE(QtSerialControl::deviceForPort(qint16(port)), device);
}

void tst_SerialControl::bytesArriveInOrderAcrossReads() {
    QtSerialControl port;
    QVERIFY(port.setCommPort(1));
    QVERIFY(port.setPortOpen(true));
    QVERIFY(port.portOpen());
    QVERIFY2(!port.setCommPort(2), "the port number is fixed while the port is open");

    // Every byte value, NUL and the upper half included, then a second burst.
    QByteArray first;
    for (int b = 0; b < 256; ++b)
        first += char(b);
    const QByteArray second = QByteArrayLiteral("0 0042 :: 12-06-2026\r\n");
    send(first);
    QByteArray got = readUntil(port, first.size());
    send(second);
    got += readUntil(port, first.size() + second.size() - got.size());
    QCOMPARE(got, first + second);

    const QString asText = QString::fromLatin1(first);
    QCOMPARE(asText.size(), 256);
    QCOMPARE(asText.at(0).unicode(), 0);
    QCOMPARE(asText.at(200).unicode(), 200);
    QVERIFY(port.setPortOpen(false));
}

void tst_SerialControl::lineSettingsReachTheDevice_data() {
    // The line settings as a user writes them under [Ports]; the line the device is then set
    // to, or why the port did not open (%1: the device). A pseudo-terminal carries 8 data bits
    // without parity only, so the speed, the stop bits and the flow control are what it shows.
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("gives");
    QTest::newRow("no key") << ""
                            << "9600,n,8,1,none";
    QTest::newRow("fast, two stop bits, hardware flow control")
        << "COM1Settings=115200,N,8,2,RTSCTS"
        << "115200,n,8,2,rtscts";
    QTest::newRow("software flow control, blanks") << "COM1Settings=19200, n, 8, 1, xonxoff"
                                                   << "19200,n,8,1,xonxoff";
    QTest::newRow("quoted") << "COM1Settings=\"57600,n,8,1\""
                            << "57600,n,8,1,none";
    QTest::newRow("empty value") << "COM1Settings="
                                 << "9600,n,8,1,none";
    QTest::newRow("another port's settings") << "COM2Settings=115200,q,8,1"
                                             << "9600,n,8,1,none";
    QTest::newRow("not a line setting") << "COM1Settings=115200,q,8,1"
                                        << "COM1Settings \"115200,q,8,1\" is not a line setting";
    QTest::newRow("refused by the device") << "COM1Settings=9600,n,8,1.5"
                                           << "COM1Settings \"9600,n,8,1.5\" is refused by %1";
}

void tst_SerialControl::lineSettingsReachTheDevice() {
    QFETCH(QString, written);
    QFETCH(QString, gives);
    {
        QFile file(openSettings()->fileName());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(
            QStringLiteral("[Ports]\nCOM1=%1\n%2\n").arg(m_pty->deviceA(), written).toUtf8());
    }
    // Opened before the control takes the device for itself: this end sees the same terminal.
    const int fd =
        ::open(QFile::encodeName(m_pty->deviceA()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QtSerialControl port;
    const bool opened = port.setPortOpen(true);
    const QString line = lineOf(fd);
    ::close(fd);
    QCOMPARE(opened ? line : port.openError(),
             gives.replace(QStringLiteral("%1"), m_pty->deviceA()));
    QCOMPARE(port.portOpen(), opened);
}

void tst_SerialControl::missingDeviceFailsToOpen() {
    mapCom1To(m_config.filePath(QStringLiteral("no-such-device")));
    QtSerialControl port;
    QVERIFY(!port.setPortOpen(true));
    QVERIFY(!port.portOpen());
    QVERIFY2(port.openError().isEmpty(), "no setting is to blame");
    QVERIFY(port.input().isEmpty());
}

void tst_SerialControl::closingTwiceFails() {
    QtSerialControl port;
    QVERIFY(!port.setPortOpen(false));
    QVERIFY(port.setPortOpen(true));
    QVERIFY2(!port.setPortOpen(true), "opening an open port fails");
    QVERIFY(port.setPortOpen(false));
    QVERIFY(!port.setPortOpen(false));
}

void tst_SerialControl::lostDeviceReportedOnceAndReopens() {
    QtSerialControl port;
    QSignalSpy lost(&port, &QtSerialControl::lost);
    QVERIFY(port.setPortOpen(true));

    // Text that arrived before the loss is kept, even when nobody read it yet.
    send(QByteArrayLiteral("before\r\n"));
    QTest::qWait(200);
    m_pty->stop();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
    QVERIFY(port.portLost());
    QVERIFY(!port.portOpen());
    QTest::qWait(300);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(port.input(), QStringLiteral("before\r\n"));
    QVERIFY(!port.setPortOpen(true));

    // The device comes back: the port opens again and reading goes on.
    QVERIFY(m_pty->start());
    QVERIFY(port.setPortOpen(true));
    QVERIFY(!port.portLost());
    send(QByteArrayLiteral("after\r\n"));
    QCOMPARE(readUntil(port, 7), QByteArrayLiteral("after\r\n"));
}

QTEST_GUILESS_MAIN(tst_SerialControl)
#include "tst_serialcontrol.moc"
