#include "macroname.h"

#include <QStringList>

std::optional<MacroName> MacroName::parse(const QString& text) {
    MacroName name;
    QString path = text;
    const qsizetype bang = text.indexOf(u'!');
    if (bang > 0) {
        name.book = text.left(bang);
        path = text.mid(bang + 1);
    }
    const QStringList parts = path.split(u'.');
    if (parts.size() > 3)
        return std::nullopt;
    for (const QString& part : parts)
        if (part.trimmed().isEmpty() || part.contains(u'!') || part != part.trimmed())
            return std::nullopt;
    name.macro = parts.last();
    if (parts.size() >= 2)
        name.module = parts.at(parts.size() - 2);
    if (parts.size() == 3)
        name.library = parts.first();
    return name;
}
