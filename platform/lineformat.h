#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

// How an instrument writes its lines: what ends a line, what separates the fields of a data
// line, which character marks decimals, and whether each row starts with the time its line
// arrived. A port keeps it in the settings file under [Ports], beside its line settings:
//
//     COMnLineEnd   crlf (the default), lf, cr or any (CR LF, LF or CR)
//     COMnFields    tab (the default), comma or semicolon
//     COMnDecimal   point (the default) or comma
//     COMnTime      off (the default) or on
//
// Letter case and blanks around a value do not matter. Comma fields cannot be read with a
// decimal comma.
struct LineFormat {
    enum class LineEnd { CrLf, Lf, Cr, Any };
    enum class Fields { Tab, Comma, Semicolon };
    enum class Decimal { Point, Comma };

    LineEnd lineEnd = LineEnd::CrLf;
    Fields fields = Fields::Tab;
    Decimal decimal = Decimal::Point;
    bool time = false;

    // The format that port's keys name ("COM3" for COM3LineEnd...); setting(key) gives what the
    // settings hold under a key, empty when nothing. Nothing when a value is not one of the
    // above, with the reason as a sentence for the user in error
    // ("COM3Fields "pipe" is not a field separator").
    static std::optional<LineFormat> read(const QString& port,
                                          const std::function<QString(const QString&)>& setting,
                                          QString& error);

    // The keys of that port ("COM3" for COM3LineEnd...) with the values that name this format.
    QList<std::pair<QString, QString>> settings(const QString& port) const;

    // The line end as the user knows it: "CR LF", "LF", "CR" or "CR LF, LF or CR".
    QString lineEndName() const;
    // The character between two fields.
    char16_t separator() const;

    bool operator==(const LineFormat&) const = default;
};
