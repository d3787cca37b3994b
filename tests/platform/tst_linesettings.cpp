#include "linesettings.h"

#include <QTest>

using Line = std::optional<LineSettings>;
Q_DECLARE_METATYPE(Line)

class tst_LineSettings : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Line>("line");
        using P = QSerialPort;
        QTest::newRow("the default") << "9600,n,8,1" << Line(LineSettings{});
        QTest::newRow("fast USB adapter") << "115200,n,8,1" << Line(LineSettings{.baud = 115200});
        QTest::newRow("7 bits even parity")
            << "9600,e,7,1" << Line(LineSettings{.parity = P::EvenParity, .dataBits = P::Data7});
        QTest::newRow("any letter case, blanks around fields")
            << " 19200 , O , 8 , 2 , RtsCts "
            << Line(LineSettings{19200, P::OddParity, P::Data8, P::TwoStop, P::HardwareControl});
        QTest::newRow("mark, 5 bits, 1.5 stop bits, xon/xoff")
            << "300,M,5,1.5,xonxoff"
            << Line(LineSettings{300, P::MarkParity, P::Data5, P::OneAndHalfStop,
                                 P::SoftwareControl});
        QTest::newRow("space, 6 bits, no flow control named")
            << "1200,s,6,1,none"
            << Line(LineSettings{.baud = 1200, .parity = P::SpaceParity, .dataBits = P::Data6});
        QTest::newRow("a rate of the device's own")
            << "250000,n,8,1" << Line(LineSettings{.baud = 250000});
        QTest::newRow("unknown parity") << "115200,q,8,1" << Line();
        QTest::newRow("4 data bits") << "9600,n,4,1" << Line();
        QTest::newRow("9 data bits") << "9600,n,9,1" << Line();
        QTest::newRow("3 stop bits") << "9600,n,8,3" << Line();
        QTest::newRow("stop bits with a comma") << "9600,n,8,1,5" << Line();
        QTest::newRow("unknown flow control") << "9600,n,8,1,dtrdsr" << Line();
        QTest::newRow("zero baud") << "0,n,8,1" << Line();
        QTest::newRow("signed baud") << "+9600,n,8,1" << Line();
        QTest::newRow("fractional baud") << "9600.5,n,8,1" << Line();
        QTest::newRow("baud beyond any count") << "99999999999,n,8,1" << Line();
        QTest::newRow("three fields") << "9600,n,8" << Line();
        QTest::newRow("six fields") << "9600,n,8,1,none,none" << Line();
        QTest::newRow("empty field") << "9600,,8,1" << Line();
        QTest::newRow("other separator") << "9600;n;8;1" << Line();
        QTest::newRow("empty") << "" << Line();
    }

    void parse() {
        QFETCH(QString, text);
        QFETCH(Line, line);
        QVERIFY(LineSettings::parse(text) == line);
    }
};

QTEST_GUILESS_MAIN(tst_LineSettings)
#include "tst_linesettings.moc"
