#include "numbertext.h"

#include <QTest>

class tst_NumberText : public QObject {
    Q_OBJECT
private slots:
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
        QTest::newRow("date") << "12-06-2026" << none << 12.0 << "12";
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

QTEST_GUILESS_MAIN(tst_NumberText)
#include "tst_numbertext.moc"
