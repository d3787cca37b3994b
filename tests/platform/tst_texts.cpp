#include "lineformat.h"
#include "linesettings.h"
#include "numbertext.h"

#include <QTest>

using Line = std::optional<LineSettings>;
Q_DECLARE_METATYPE(Line)
using Format = std::optional<LineFormat>;
Q_DECLARE_METATYPE(Format)
using Keys = QMap<QString, QString>;

// Texts the program reads: numbers in received fields, line settings and line formats.
class tst_Texts : public QObject {
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
        QString why;
        const auto read = LineFormat::read(
            "COM3", [&](const QString& key) { return settings.value(key); }, why);
        QVERIFY(read == format);
        QTEST(why, "error");
    }

    void read_data() {
        // The whole text as a number (NaN: no number), the number at its start, and that one
        // written back shortest.
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::addColumn<double>("prefix");
        QTest::addColumn<QString>("written");
        const double none = qQNaN();
        QTest::newRow("signed fraction") << "-3.5" << -3.5 << -3.5 << "-3.5";
        QTest::newRow("plus sign") << "+7" << 7.0 << 7.0 << "7";
        QTest::newRow("leading point") << ".5" << 0.5 << 0.5 << "0.5";
        QTest::newRow("exponent") << "2.5E-2" << 0.025 << 0.025 << "0.025";
        QTest::newRow("large") << "1e21" << 1e21 << 1e21 << "1e+21";
        QTest::newRow("blanks, TAB, line end") << "\t 9999\r\n" << 9999.0 << 9999.0 << "9999";
        QTest::newRow("underflow") << "1e-999" << 0.0 << 0.0 << "0";
        QTest::newRow("beyond double range") << "1e999" << none << qInf() << "inf";
        QTest::newRow("empty") << "" << none << 0.0 << "0";
        QTest::newRow("trailing letters") << "12ab" << none << 12.0 << "12";
        QTest::newRow("comma decimal") << "1,5" << none << 1.0 << "1";
        QTest::newRow("exponent without digits") << "7e+" << none << 7.0 << "7";
        QTest::newRow("blanks and sign before text") << "   -42x" << none << -42.0 << "-42";
        QTest::newRow("fraction and exponent before text") << "1.5e2 u" << none << 150.0 << "150";
    }

    void read() {
        QFETCH(QString, text);
        QFETCH(double, number);
        QFETCH(double, prefix);
        QFETCH(QString, written);
        QCOMPARE(numberFromText(text).value_or(qQNaN()), number);
        QCOMPARE(numericPrefix(text), prefix);
        QCOMPARE(shortestDecimal(prefix), written);
    }
};

QTEST_GUILESS_MAIN(tst_Texts)
#include "tst_texts.moc"
