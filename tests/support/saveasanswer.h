#pragma once

#include "modalanswer.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

// The user's answer to the question for a new workbook name: the path typed into the file
// dialog, then Enter. Set it up before the click that asks; the question is waited for
// patienceMs at the most.
inline ModalAnswer answerSaveAs(const QString& path, int patienceMs = 2000) {
    return ModalAnswer(
        [path](QDialog* dialog) {
            if (!qobject_cast<QFileDialog*>(dialog))
                return; // not the question for a name: left unanswered
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name)
                return;
            name->setText(path);
            QTest::keyClick(name, Qt::Key_Return);
        },
        patienceMs);
}
