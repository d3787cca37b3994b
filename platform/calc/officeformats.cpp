#include "officeformats.h"

#include <QFileInfo>

QString workbookFileName(const QString& fileName) {
    if (storeFilterFor(fileName).isEmpty())
        return fileName + QStringLiteral(".xls");
    return fileName;
}

QString storeFilterFor(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == u"xls")
        return QStringLiteral("MS Excel 97");
    if (suffix == u"xlsx")
        return QStringLiteral("Calc MS Excel 2007 XML");
    if (suffix == u"ods")
        return QStringLiteral("calc8");
    return {};
}
