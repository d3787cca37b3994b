#include "version.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Celvane %1").arg(QLatin1String(Version::text)));
    window.setWindowTitle(QStringLiteral("Celvane"));
    window.show();
    return app.exec();
}
