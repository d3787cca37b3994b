#include "appsettings.h"
#include "settings.h"
#include "unwrittentext.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class tst_AppSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void firstRunDefaults();
    void storedPort_data();
    void storedPort();
    void storedEnable_data();
    void storedEnable();
    void roundTrip();
    void unwrittenTextKeptAsReceived();

private:
    void store(const QString& key, const QString& value);
    QTemporaryDir m_config;
};

void tst_AppSettings::initTestCase() {
    QVERIFY(m_config.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
}

void tst_AppSettings::init() {
    openSettings()->clear();
}

void tst_AppSettings::store(const QString& key, const QString& value) {
    openSettings()->setValue(key, value);
}

void tst_AppSettings::firstRunDefaults() {
    const AppSettings settings = loadAppSettings();
    QCOMPARE(settings.comPort, qint16(1));
    QCOMPARE(settings.macroEnabled, false);
    QCOMPARE(settings.macroName, QString());
}

void tst_AppSettings::storedPort_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("port");
    QTest::newRow("three") << "3" << 3;
    QTest::newRow("blanks around") << " 7 " << 7;
    QTest::newRow("largest") << "255" << 255;
    QTest::newRow("zero") << "0" << 1;
    QTest::newRow("negative") << "-4" << 1;
    QTest::newRow("too large") << "256" << 1;
    QTest::newRow("not a number") << "COM3" << 1;
    QTest::newRow("empty") << "" << 1;
}

void tst_AppSettings::storedPort() {
    QFETCH(QString, stored);
    QFETCH(int, port);
    store(QStringLiteral("Communication/ComPort"), stored);
    QCOMPARE(loadAppSettings().comPort, qint16(port));
}

void tst_AppSettings::storedEnable_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("True") << "True" << true;
    QTest::newRow("lower case true") << "true" << true;
    QTest::newRow("False") << "False" << false;
    QTest::newRow("upper case FALSE") << "FALSE" << false;
    QTest::newRow("non-zero number") << "-1" << true;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("anything else") << "yes" << false;
    QTest::newRow("empty") << "" << false;
}

void tst_AppSettings::storedEnable() {
    QFETCH(QString, stored);
    QFETCH(bool, enabled);
    store(QStringLiteral("Excel Macro/Enable"), stored);
    QCOMPARE(loadAppSettings().macroEnabled, enabled);
}

void tst_AppSettings::roundTrip() {
    saveAppSettings({3, true, QString()});
    auto raw = openSettings();
    QCOMPARE(raw->value(QStringLiteral("Communication/ComPort")).toString(), QStringLiteral("3"));
    QCOMPARE(raw->value(QStringLiteral("Excel Macro/Enable")).toString(), QStringLiteral("True"));
    QVERIFY(raw->contains(QStringLiteral("Excel Macro/Name")));
    QCOMPARE(raw->value(QStringLiteral("Excel Macro/Name")).toString(), QString());
    const AppSettings loaded = loadAppSettings();
    QCOMPARE(loaded.comPort, qint16(3));
    QCOMPARE(loaded.macroEnabled, true);
    QCOMPARE(loaded.macroName, QString());
}

void tst_AppSettings::unwrittenTextKeptAsReceived() {
    QTemporaryDir documents;
    const QDateTime now(QDate(2026, 12, 6), QTime(14, 5, 9));
    QString text = QStringLiteral("12\t13\r\npartial");
    text += QChar(0xE9); // a byte above 127 stays one byte
    const QString title = QStringLiteral("Celvane unwritten data");
    const QString first = saveUnwrittenText(documents.path(), title, text, now);
    const QString second = saveUnwrittenText(documents.path(), title, QStringLiteral("x"), now);
    QCOMPARE(QFileInfo(first).fileName(),
             QStringLiteral("Celvane unwritten data 2026-12-06 14-05-09.txt"));
    QVERIFY2(first != second, "a second file at the same moment does not replace the first");
    QFile file(first);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("12\t13\r\npartial\xE9"));
    QVERIFY(
        saveUnwrittenText(documents.filePath(QStringLiteral("missing/folder")), title, text, now)
            .isEmpty());
}

QTEST_GUILESS_MAIN(tst_AppSettings)
#include "tst_appsettings.moc"
