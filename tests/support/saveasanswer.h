#pragma once

#include "modalanswer.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

// The user types the path as the new workbook name, then Enter; any other dialog is left
// unanswered. Set it up before the click that asks.
inline ModalAnswer answerSaveAs(const QString& path, int patienceMs = 2000) {
    return ModalAnswer(
        [path](QDialog* dialog) {
            auto* name = qobject_cast<QFileDialog*>(dialog)
                             ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                             : nullptr;
            if (name != nullptr) {
                name->setText(path);
                QTest::keyClick(name, Qt::Key_Return);
            }
        },
        patienceMs);
}
