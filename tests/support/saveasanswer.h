#pragma once

#include "modalanswer.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

// The user types the path as the new workbook's name, then Enter; other dialogs are left alone.
inline ModalAnswer answerSaveAs(const QString& path, int patienceMs = 2000) {
    return ModalAnswer(
        [path](QDialog* dialog) {
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (qobject_cast<QFileDialog*>(dialog) != nullptr && name != nullptr) {
                name->setText(path);
                QTest::keyClick(name, Qt::Key_Return);
            }
        },
        patienceMs);
}
