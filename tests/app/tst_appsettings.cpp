#include "appsettings.h"
#include "filecontent.h"
#include "settings.h"
#include "unwrittentext.h"

#include <QTemporaryDir>
#include <QTest>

class tst_AppSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    }
    // The port and the macro switch as stored (none: nothing stored), and as read.
    void loaded_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("comPort");
        QTest::addColumn<QString>("enable");
        QTest::addColumn<bool>("macroEnabled");
        QTest::newRow("none") << QString() << 1 << QString() << false;
        QTest::newRow("3, True") << "3" << 3 << "True" << true;
        QTest::newRow("blanks, true") << " 7 " << 7 << "true" << true;
        QTest::newRow("255, -1") << "255" << 255 << "-1" << true;
        QTest::newRow("0, FALSE") << "0" << 1 << "FALSE" << false;
        QTest::newRow("256, yes") << "256" << 1 << "yes" << false;
        QTest::newRow("COM3, empty") << "COM3" << 1 << "" << false;
    }
    void loaded() {
        QFETCH(QString, port);
        QFETCH(QString, enable);
        openSettings()->clear();
        if (!port.isNull()) {
            openSettings()->setValue("Communication/ComPort", port);
            openSettings()->setValue("Excel Macro/Enable", enable);
        }
        QTEST(int(loadAppSettings().comPort), "comPort");
        QTEST(loadAppSettings().macroEnabled, "macroEnabled");
    }
    void roundTrip() {
        saveAppSettings({3, true, QString()});
        QCOMPARE(openSettings()->value("Communication/ComPort").toString(), "3");
        QCOMPARE(openSettings()->value("Excel Macro/Enable").toString(), "True");
        QVERIFY(openSettings()->contains("Excel Macro/Name"));
    }
    // Received text kept in a file: byte for byte, and never over an earlier file.
    void unwrittenTextKept() {
        QString bytes;
        for (int b = 0; b < 256; ++b)
            bytes += QChar(b);
        const QDateTime now(QDate(2026, 12, 6), QTime(14, 5, 9));
        const QString first = saveUnwrittenText(m_config.path(), "Unwritten", bytes, now);
        const QString second = saveUnwrittenText(m_config.path(), "Unwritten", "x", now);
        QCOMPARE(first, m_config.filePath("Unwritten 2026-12-06 14-05-09.txt"));
        QCOMPARE(second, m_config.filePath("Unwritten 2026-12-06 14-05-09 (2).txt"));
        QCOMPARE(readFile(first), bytes.toLatin1());
        QCOMPARE(saveUnwrittenText(m_config.filePath("missing"), "Unwritten", "x", now), "");
    }

private:
    QTemporaryDir m_config;
};

QTEST_GUILESS_MAIN(tst_AppSettings)
#include "tst_appsettings.moc"
