#include "lineformat.h"

#include <array>
#include <utility>

namespace {

template <typename T> using Names = std::array<std::pair<const char16_t*, T>, 4>;

// The values of each key as the settings file writes them; the first is the default. Fewer
// than four values leave the rest empty.
constexpr Names<LineFormat::LineEnd> kLineEnds{{{u"crlf", LineFormat::LineEnd::CrLf},
                                                {u"lf", LineFormat::LineEnd::Lf},
                                                {u"cr", LineFormat::LineEnd::Cr},
                                                {u"any", LineFormat::LineEnd::Any}}};
constexpr Names<LineFormat::Fields> kFields{{{u"tab", LineFormat::Fields::Tab},
                                             {u"comma", LineFormat::Fields::Comma},
                                             {u"semicolon", LineFormat::Fields::Semicolon}}};
constexpr Names<LineFormat::Decimal> kDecimals{
    {{u"point", LineFormat::Decimal::Point}, {u"comma", LineFormat::Decimal::Comma}}};
constexpr Names<bool> kTimes{{{u"off", false}, {u"on", true}}};

// The value a key's text names, in any letter case and with blanks around it; the default
// when the text is empty. Nothing, with the reason in error, when it names none of them.
template <typename T>
std::optional<T> valueOf(const QString& key, const QString& text, const QString& what,
                         const Names<T>& names, QString& error) {
    const QString word = text.trimmed();
    if (word.isEmpty())
        return names.front().second;
    for (const auto& [name, value] : names) {
        if (name != nullptr && word.compare(QStringView(name), Qt::CaseInsensitive) == 0)
            return value;
    }
    error = QStringLiteral("%1 \"%2\" is not %3").arg(key, text, what);
    return std::nullopt;
}

template <typename T> QString nameOf(const Names<T>& names, T value) {
    for (const auto& [name, named] : names) {
        if (name != nullptr && named == value)
            return QString::fromUtf16(name);
    }
    return {};
}

} // namespace

std::optional<LineFormat> LineFormat::read(const QString& port,
                                           const std::function<QString(const QString&)>& setting,
                                           QString& error) {
    const auto option = [&](const char* name, const char* what, const auto& names) {
        const QString key = port + QLatin1String(name);
        return valueOf(key, setting(key), QLatin1String(what), names, error);
    };
    const auto lineEnd = option("LineEnd", "a line end", kLineEnds);
    if (!lineEnd)
        return std::nullopt;
    const auto fields = option("Fields", "a field separator", kFields);
    if (!fields)
        return std::nullopt;
    const auto decimal = option("Decimal", "a decimal mark", kDecimals);
    if (!decimal)
        return std::nullopt;
    const auto time = option("Time", "off or on", kTimes);
    if (!time)
        return std::nullopt;
    if (*fields == Fields::Comma && *decimal == Decimal::Comma) {
        error = QStringLiteral("%1Fields \"%2\" and %1Decimal \"%3\" cannot be read together: "
                               "a comma cannot both separate fields and mark decimals")
                    .arg(port, setting(port + QStringLiteral("Fields")),
                         setting(port + QStringLiteral("Decimal")));
        return std::nullopt;
    }
    return LineFormat{*lineEnd, *fields, *decimal, *time};
}

QList<std::pair<QString, QString>> LineFormat::settings(const QString& port) const {
    return {{port + QStringLiteral("LineEnd"), nameOf(kLineEnds, lineEnd)},
            {port + QStringLiteral("Fields"), nameOf(kFields, fields)},
            {port + QStringLiteral("Decimal"), nameOf(kDecimals, decimal)},
            {port + QStringLiteral("Time"), nameOf(kTimes, time)}};
}

QString LineFormat::lineEndName() const {
    switch (lineEnd) {
    case LineEnd::CrLf:
        return QStringLiteral("CR LF");
    case LineEnd::Lf:
        return QStringLiteral("LF");
    case LineEnd::Cr:
        return QStringLiteral("CR");
    case LineEnd::Any:
        break;
    }
    return QStringLiteral("CR LF, LF or CR");
}

char16_t LineFormat::separator() const {
    switch (fields) {
    case Fields::Tab:
        break;
    case Fields::Comma:
        return u',';
    case Fields::Semicolon:
        return u';';
    }
    return u'\t';
}
