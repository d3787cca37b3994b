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
    // The port and the macro switch as stored, and as read.
    void loaded_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("comPort");
        QTest::addColumn<QString>("enable");
        QTest::addColumn<bool>("macroEnabled");
        QTest::newRow("nothing") << QString() << 1 << QString() << false;
        QTest::newRow("3, True") << "3" << 3 << "True" << true;
        QTest::newRow("blanks around, true") << " 7 " << 7 << "true" << true;
        QTest::newRow("255, -1") << "255" << 255 << "-1" << true;
        QTest::newRow("0, FALSE") << "0" << 1 << "FALSE" << false;
        QTest::newRow("-4, 0") << "-4" << 1 << "0" << false;
        QTest::newRow("256, yes") << "256" << 1 << "yes" << false;
        QTest::newRow("COM3, empty") << "COM3" << 1 << "" << false;
        QTest::newRow("empty, False") << "" << 1 << "False" << false;
    }
    void loaded() {
        QFETCH(QString, port);
        QFETCH(QString, enable);
        openSettings()->clear();
        if (!port.isNull()) {
            openSettings()->setValue("Communication/ComPort", port);
            openSettings()->setValue("Excel Macro/Enable", enable);
        }
        const AppSettings settings = loadAppSettings();
        QTEST(int(settings.comPort), "comPort");
        QTEST(settings.macroEnabled, "macroEnabled");
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
