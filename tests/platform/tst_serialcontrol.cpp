#include "ptypair.h"
#include "qtserialcontrol.h"
#include "settings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
    void missingDeviceFailsToOpen();
    void closingTwiceFails();
    void lostDeviceReportedOnceAndReopens();

private:
    void mapCom1To(const QString& device);
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
    mapCom1To(m_pty->deviceA());
}

void tst_SerialControl::cleanup() {
    m_pty.reset();
}

void tst_SerialControl::mapCom1To(const QString& device) {
    auto settings = openSettings();
    settings->setValue(QStringLiteral("Ports/COM1"), device);
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

void tst_SerialControl::missingDeviceFailsToOpen() {
    mapCom1To(m_config.filePath(QStringLiteral("no-such-device")));
    QtSerialControl port;
    QVERIFY(!port.setPortOpen(true));
    QVERIFY(!port.portOpen());
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
