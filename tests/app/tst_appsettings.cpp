#include "appsettings.h"
#include "filecontent.h"
#include "settings.h"
#include "unwrittentext.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class tst_AppSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    }
    void loaded_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("enabled");
        const QString port = "Communication/ComPort", enable = "Excel Macro/Enable";
        QTest::newRow("nothing stored") << QString() << QString() << 1 << false;
        QTest::newRow("port 3") << port << "3" << 3 << false;
        QTest::newRow("port, blanks around") << port << " 7 " << 7 << false;
        QTest::newRow("port 255") << port << "255" << 255 << false;
        QTest::newRow("port 0") << port << "0" << 1 << false;
        QTest::newRow("port -4") << port << "-4" << 1 << false;
        QTest::newRow("port 256") << port << "256" << 1 << false;
        QTest::newRow("port COM3") << port << "COM3" << 1 << false;
        QTest::newRow("port empty") << port << "" << 1 << false;
        QTest::newRow("True") << enable << "True" << 1 << true;
        QTest::newRow("true") << enable << "true" << 1 << true;
        QTest::newRow("FALSE") << enable << "FALSE" << 1 << false;
        QTest::newRow("-1") << enable << "-1" << 1 << true;
        QTest::newRow("0") << enable << "0" << 1 << false;
        QTest::newRow("yes") << enable << "yes" << 1 << false;
        QTest::newRow("enable empty") << enable << "" << 1 << false;
    }
    void loaded() {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        openSettings()->clear();
        if (!key.isEmpty())
            openSettings()->setValue(key, stored);
        const AppSettings settings = loadAppSettings();
        QTEST(int(settings.comPort), "port");
        QTEST(settings.macroEnabled, "enabled");
    }
    void roundTrip() {
        saveAppSettings({3, true, QString()});
        auto raw = openSettings();
        QCOMPARE(raw->value(QStringLiteral("Communication/ComPort")).toString(),
                 QStringLiteral("3"));
        QCOMPARE(raw->value(QStringLiteral("Excel Macro/Enable")).toString(),
                 QStringLiteral("True"));
        QVERIFY(raw->contains(QStringLiteral("Excel Macro/Name")));
    }
    void unwrittenTextKeptAsReceived() {
        QTemporaryDir documents;
        const QDateTime now(QDate(2026, 12, 6), QTime(14, 5, 9));
        const QString title = QStringLiteral("Celvane unwritten data");
        const QString text = QStringLiteral("12\t13\r\npartial") + QChar(0xE9); // stays one byte
        const QString first = saveUnwrittenText(documents.path(), title, text, now);
        QCOMPARE(QFileInfo(first).fileName(), title + QStringLiteral(" 2026-12-06 14-05-09.txt"));
        QCOMPARE(readFile(first), QByteArray("12\t13\r\npartial\xE9"));
        // A second file of the same moment does not replace the first.
        QVERIFY(saveUnwrittenText(documents.path(), title, QStringLiteral("x"), now) != first);
        QVERIFY(saveUnwrittenText(documents.filePath(QStringLiteral("missing")), title, text, now)
                    .isEmpty());
    }

private:
    QTemporaryDir m_config;
};

QTEST_GUILESS_MAIN(tst_AppSettings)
#include "tst_appsettings.moc"
