#include "lineformat.h"

#include <initializer_list>
#include <utility>

namespace {

// The value a key's text names, in any letter case and with blanks around it; the first value
// when the text is empty. Nothing, with the reason in error, when it names none of them.
template <typename T>
std::optional<T> valueOf(const QString& key, const QString& text, const QString& what,
                         std::initializer_list<std::pair<const char16_t*, T>> names,
                         QString& error) {
    const QString word = text.trimmed();
    if (word.isEmpty())
        return names.begin()->second;
    for (const auto& [name, value] : names) {
        if (word.compare(QStringView(name), Qt::CaseInsensitive) == 0)
            return value;
    }
    error = QStringLiteral("%1 \"%2\" is not %3").arg(key, text, what);
    return std::nullopt;
}

} // namespace

std::optional<LineFormat> LineFormat::read(const QString& port,
                                           const std::function<QString(const QString&)>& setting,
                                           QString& error) {
    using L = LineEnd;
    using F = Fields;
    using D = Decimal;
    const auto option = [&](const QString& name, const QString& what, auto names) {
        const QString key = port + name;
        return valueOf(key, setting(key), what, names, error);
    };
    const auto lineEnd =
        option(QStringLiteral("LineEnd"), QStringLiteral("a line end"),
               std::initializer_list<std::pair<const char16_t*, L>>{
                   {u"crlf", L::CrLf}, {u"lf", L::Lf}, {u"cr", L::Cr}, {u"any", L::Any}});
    if (!lineEnd)
        return std::nullopt;
    const auto fields =
        option(QStringLiteral("Fields"), QStringLiteral("a field separator"),
               std::initializer_list<std::pair<const char16_t*, F>>{
                   {u"tab", F::Tab}, {u"comma", F::Comma}, {u"semicolon", F::Semicolon}});
    if (!fields)
        return std::nullopt;
    const auto decimal = option(QStringLiteral("Decimal"), QStringLiteral("a decimal mark"),
                                std::initializer_list<std::pair<const char16_t*, D>>{
                                    {u"point", D::Point}, {u"comma", D::Comma}});
    if (!decimal)
        return std::nullopt;
    const auto time = option(
        QStringLiteral("Time"), QStringLiteral("off or on"),
        std::initializer_list<std::pair<const char16_t*, bool>>{{u"off", false}, {u"on", true}});
    if (!time)
        return std::nullopt;
    if (*fields == F::Comma && *decimal == D::Comma) {
        error = QStringLiteral("%1Fields \"%2\" and %1Decimal \"%3\" cannot be read together: "
                               "a comma cannot both separate fields and mark decimals")
                    .arg(port, setting(port + QStringLiteral("Fields")),
                         setting(port + QStringLiteral("Decimal")));
        return std::nullopt;
    }
    return LineFormat{*lineEnd, *fields, *decimal, *time};
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
