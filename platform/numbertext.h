#pragma once

#include <QStringView>

#include <optional>

// The number a whole text stands for, as typed in English: blanks around it, an optional sign,
// digits with an optional decimal point, an optional exponent ("12", "-3.5", ".5", "1e3").
// Anything else (an empty text, "12ab", "=1+1", "1,5") is no number.
std::optional<double> numberFromText(QStringView text);

// The number at the start of a text, read the way a numeric-prefix parser reads it: leading
// blanks skipped, an optional sign, digits, an optional fraction and exponent, reading stopping
// at the first character that cannot continue a number. No leading number gives 0.
double numericPrefix(QStringView text);

// Shortest decimal text that reads back as the same double ("10000", "0.5", "1e+21").
QString shortestDecimal(double value);
