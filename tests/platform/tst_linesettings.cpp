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
};

QTEST_GUILESS_MAIN(tst_LineSettings)
#include "tst_linesettings.moc"
