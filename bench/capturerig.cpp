#include "capturerig.h"

#include "saveasanswer.h"

#include <QDebug>

using namespace Qt::StringLiterals;

CaptureRig::CaptureRig(const QString& masterFolder)
    : clock(QDateTime(QDate(2026, 12, 6), QTime(14, 30, 0)))
    , capture(globals, serial, factory, shell, view, masterFolder) {}

bool CaptureRig::receive(const QString& text) {
    serial.arrived += text;
    QString waiting;
    do {
        waiting = path.receiveBuffer();
        path.pump();
        if (view.excelLamp == LampColour::Red)
            return false;
    } while (view.excelLamp == LampColour::Yellow || path.receiveBuffer() != waiting);
    return true;
}

bool CaptureRig::stopSavingAs(const QString& path) {
    const ModalAnswer answer = answerSaveAs(path);
    capture.CaptureStop();
    return answer.reached() && answer.closedByUser();
}

QString orvaLine(int index, int measurement, int temperature) {
    return QStringLiteral("0 %1 :: 12-06-2026 14:05:09 = %2 (RAW)  %3 (C)\r\n")
        .arg(index, 4, 10, QLatin1Char('0'))
        .arg(measurement)
        .arg(temperature);
}

void addOrvaRow(SheetCells& cells, int row, int index, int measurement, int temperature) {
    const QVariantList values{
        0.0,        double(index),       u"12-06-2026"_s, u"14:05:09"_s, double(measurement),
        u"(RAW)"_s, double(temperature), u"(C)"_s};
    for (int column = 1; column <= 8; ++column)
        cells.insert({row, column}, values[column - 1]);
}

QStringList numbers(int first, int last) {
    QStringList list;
    for (int n = first; n <= last; ++n)
        list << QString::number(n);
    return list;
}

QString asLines(const QStringList& texts) {
    return texts.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

void addColumn(SheetCells& cells, int column, int row, int first, int last) {
    for (int n = first; n <= last; ++n)
        cells.insert({row++, column}, double(n));
}

QString firstDifference(const QList<SheetCells>& actual, const QList<SheetCells>& expected) {
    if (actual.size() != expected.size())
        return QStringLiteral("%1 sheets where %2 were due")
            .arg(actual.size())
            .arg(expected.size());
    for (qsizetype sheet = 0; sheet < expected.size(); ++sheet) {
        SheetCells both = expected[sheet];
        both.insert(actual[sheet]);
        for (auto cell = both.cbegin(); cell != both.cend(); ++cell) {
            const QVariant due = expected[sheet].value(cell.key());
            const QVariant found = actual[sheet].value(cell.key());
            if (found.typeId() == due.typeId() && found == due)
                continue;
            QString text;
            QDebug(&text).nospace() << "sheet " << sheet + 1 << " cell " << cell.key() << ": "
                                    << found << " where " << due << " was due";
            return text;
        }
    }
    return {};
}
