#include "lineformat.h"
#include "linesettings.h"

#include <QTest>

using Line = std::optional<LineSettings>;
Q_DECLARE_METATYPE(Line)
using Format = std::optional<LineFormat>;
Q_DECLARE_METATYPE(Format)
using Keys = QMap<QString, QString>;

class tst_LineSettings : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Line>("line");
        using P = QSerialPort;
        QTest::newRow("the default") << "9600,n,8,1" << Line(LineSettings{});
        QTest::newRow("7 bits even parity, a rate of the device's own")
            << "250000,e,7,1"
            << Line(LineSettings{.baud = 250000, .parity = P::EvenParity, .dataBits = P::Data7});
        QTest::newRow("any letter case, blanks around fields")
            << " 19200 , O , 6 , 2 , RtsCts "
            << Line(LineSettings{19200, P::OddParity, P::Data6, P::TwoStop, P::HardwareControl});
        QTest::newRow("mark, 5 bits, 1.5 stop bits, xon/xoff")
            << "300,M,5,1.5,xonxoff"
            << Line(LineSettings{300, P::MarkParity, P::Data5, P::OneAndHalfStop,
                                 P::SoftwareControl});
        QTest::newRow("space, no flow control named")
            << "1200,s,8,1,none" << Line(LineSettings{.baud = 1200, .parity = P::SpaceParity});
        for (const char* text : {"115200,q,8,1", "9600,n,4,1", "9600,n,8,3", "9600,n,8,1,dtrdsr",
                                 "0,n,8,1", "+9600,n,8,1", "99999999999,n,8,1", "9600,n,8",
                                 "9600,n,8,1,none,none", "9600;n;8;1", ""})
            QTest::addRow("refused: \"%s\"", text) << QString::fromLatin1(text) << Line();
    }

    void parse() {
        QFETCH(QString, text);
        QFETCH(Line, line);
        QVERIFY(LineSettings::parse(text) == line);
    }

    void readFormat_data() {
        QTest::addColumn<Keys>("settings"); // what [Ports] holds
        QTest::addColumn<Format>("format");
        QTest::addColumn<QString>("error");
        using F = LineFormat;
        QTest::newRow("no keys: today's format") << Keys{} << Format(F{}) << "";
        QTest::newRow("every key, any letter case, blanks around")
            << Keys{{"COM3LineEnd", " LF "},
                    {"COM3Fields", "Semicolon"},
                    {"COM3Decimal", "COMMA"},
                    {"COM3Time", "on"}}
            << Format(F{F::LineEnd::Lf, F::Fields::Semicolon, F::Decimal::Comma, true}) << "";
        QTest::newRow("bad line end") << Keys{{"COM3LineEnd", "crcr"}} << Format()
                                      << "COM3LineEnd \"crcr\" is not a line end";
        QTest::newRow("bad separator") << Keys{{"COM3Fields", "pipe"}} << Format()
                                       << "COM3Fields \"pipe\" is not a field separator";
        QTest::newRow("bad decimal") << Keys{{"COM3Decimal", "dot"}} << Format()
                                     << "COM3Decimal \"dot\" is not a decimal mark";
        QTest::newRow("bad time") << Keys{{"COM3Time", "yes"}} << Format()
                                  << "COM3Time \"yes\" is not off or on";
        QTest::newRow("comma fields with a decimal comma")
            << Keys{{"COM3Fields", "comma"}, {"COM3Decimal", "comma"}} << Format()
            << "COM3Fields \"comma\" and COM3Decimal \"comma\" cannot be read together: a "
               "comma cannot both separate fields and mark decimals";
    }

    void readFormat() {
        QFETCH(Keys, settings);
        QFETCH(Format, format);
        QFETCH(QString, error);
        QString why;
        const auto read = LineFormat::read(
            "COM3", [&](const QString& key) { return settings.value(key); }, why);
        QVERIFY(read == format);
        QCOMPARE(why, error);
    }
};

QTEST_GUILESS_MAIN(tst_LineSettings)
#include "tst_linesettings.moc"
