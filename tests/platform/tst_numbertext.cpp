#include "numbertext.h"

#include <QTest>

#include <cmath>

class tst_NumberText : public QObject {
    Q_OBJECT
private slots:
    void wholeNumber_data();
    void wholeNumber();
    void prefix_data();
    void prefix();
    void shortest_data();
    void shortest();
};

void tst_NumberText::wholeNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "12" << true << 12.0;
    QTest::newRow("signed fraction") << "-3.5" << true << -3.5;
    QTest::newRow("plus sign") << "+7" << true << 7.0;
    QTest::newRow("leading point") << ".5" << true << 0.5;
    QTest::newRow("trailing point") << "5." << true << 5.0;
    QTest::newRow("exponent") << "1e3" << true << 1000.0;
    QTest::newRow("negative exponent") << "2.5E-2" << true << 0.025;
    QTest::newRow("blanks and line end around") << " 9999\r\n" << true << 9999.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank") << "  " << false << 0.0;
    QTest::newRow("sign only") << "-" << false << 0.0;
    QTest::newRow("point only") << "." << false << 0.0;
    QTest::newRow("trailing letters") << "12ab" << false << 0.0;
    QTest::newRow("formula") << "=1+1" << false << 0.0;
    QTest::newRow("comma decimal") << "1,5" << false << 0.0;
    QTest::newRow("date") << "12-06-2026" << false << 0.0;
    QTest::newRow("time") << "14:05:09" << false << 0.0;
    QTest::newRow("unit tag") << "(RAW)" << false << 0.0;
    QTest::newRow("exponent without digits") << "1e" << false << 0.0;
    QTest::newRow("beyond double range") << "1e999" << false << 0.0;
    QTest::newRow("two numbers") << "1 2" << false << 0.0;
}

void tst_NumberText::wholeNumber() {
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    const auto number = numberFromText(text);
    QCOMPARE(number.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*number, value);
}

void tst_NumberText::prefix_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("digits then letters") << "12ab" << 12.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("leading blanks and sign") << "   -42x" << -42.0;
    QTest::newRow("fraction and exponent") << "1.5e2 units" << 150.0;
    QTest::newRow("dangling exponent") << "7e+" << 7.0;
    QTest::newRow("line end") << "9999\r\n" << 9999.0;
    QTest::newRow("underflow") << "1e-999" << 0.0;
}

void tst_NumberText::prefix() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(numericPrefix(text), value);
}

void tst_NumberText::shortest_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("integer") << 10000.0 << "10000";
    QTest::newRow("negative") << -5.0 << "-5";
    QTest::newRow("fraction") << 0.1 << "0.1";
    QTest::newRow("large") << 1e21 << "1e+21";
}

void tst_NumberText::shortest() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(shortestDecimal(value), text);
}

QTEST_GUILESS_MAIN(tst_NumberText)
#include "tst_numbertext.moc"
