#include "frmabout.h"
#include "frmcomport.h"
#include "frmexcelmacro.h"
#include "modalanswer.h"
#include "version.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// Plays the user's steps, separated by blanks: "click:name", "type:text" into the focused
// control, "closebox", or a key into the focused control ("Down:7": seven times).
void play(QDialog* dialog, const QString& steps) {
    for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
        QWidget* focused = QApplication::focusWidget();
        QWidget* target = focused != nullptr && focused->window() == dialog ? focused : dialog;
        const QString what = step.section(u':', 0, 0);
        const QString argument = step.section(u':', 1);
        if (what == u"click") {
            QTest::mouseClick(dialog->findChild<QWidget*>(argument), Qt::LeftButton);
        } else if (what == u"type") {
            QTest::keyClicks(target, argument);
        } else if (what == u"closebox") { // the close request as the window system sends it
            QCloseEvent event;
            QSpontaneKeyEvent::setSpontaneous(&event);
            QCoreApplication::sendEvent(dialog->windowHandle(), &event);
        } else {
            for (int i = qMax(1, argument.toInt()); i > 0; --i)
                QTest::keyClick(target, QKeySequence(what)[0].key());
        }
    }
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void comPort_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("shownOption"); // -1: none

        const QString other12 =
            QStringLiteral("click:optComPort_0 Tab Down:7 "); // COM 12 in the list
        QTest::newRow("3, Enter") << 3 << "Return" << 3 << 3;
        QTest::newRow("5, OK") << 5 << "click:cmdOK" << 5 << 0;
        QTest::newRow("2, COM 12, OK") << 2 << other12 + "click:cmdOK" << 12 << 2;
        QTest::newRow("2, COM 12, Cancel") << 2 << other12 + "click:cmdCancel" << 2 << 2;
        QTest::newRow("2, COM 12, Esc") << 2 << other12 + "Esc" << 2 << 2;
        QTest::newRow("2, COM 12, close box") << 2 << other12 + "closebox" << 2 << 2;
        QTest::newRow("14, COM 1, OK") << 14 << "click:optComPort_1 click:cmdOK" << 1 << 0;
        QTest::newRow("2, Other untouched, OK") << 2 << "click:optComPort_0 click:cmdOK" << 5 << 2;
        // A port outside 1 to 16 shows nothing set; what is not a usable choice keeps it.
        QTest::newRow("0, OK") << 0 << "click:cmdOK" << 0 << -1;
        QTest::newRow("17, Other, no entry, OK")
            << 17 << "click:optComPort_0 click:cmdOK" << 17 << -1;
        QTest::newRow("200, Other, COM 7, OK")
            << 200 << "click:optComPort_0 Tab Down:3 click:cmdOK" << 7 << -1;
        QTest::newRow("255, COM 4, Cancel")
            << 255 << "click:optComPort_4 click:cmdCancel" << 255 << -1;
    }
    // The port comes in preselected, the list open only for "Other".
    void comPort() {
        QFETCH(int, port);
        QFETCH(QString, steps);
        int option = -1;
        bool listEnabled = false;
        ModalAnswer answer([&](QDialog* dialog) {
            for (QRadioButton* button : dialog->findChildren<QRadioButton*>()) {
                if (button->isChecked())
                    option = button->objectName().section(u'_', 1).toInt();
            }
            listEnabled = dialog->findChild<QComboBox*>(QStringLiteral("cboComPort"))->isEnabled();
            play(dialog, steps);
        });
        QTEST(frmComPort::GetPort(quint8(port)), "chosen");
        QVERIFY(answer.closedByUser());
        QTEST(option, "shownOption");
        QCOMPARE(listEnabled, option == 0);
    }
    void macro_data() {
        QTest::addColumn<bool>("enable");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("enableAfter");
        QTest::addColumn<QString>("nameAfter");

        QTest::newRow("check, type, Enter")
            << false << "click:chkExcelMacro Tab type:Tidy Return" << true << "Tidy";
        QTest::newRow("uncheck, OK") << true << "click:chkExcelMacro click:cmdOK" << false << "Old";
        QTest::newRow("changes, Cancel")
            << false << "click:chkExcelMacro Tab type:New click:cmdCancel" << false << "Old";
        QTest::newRow("changes, Esc") << true << "Tab type:New Esc" << true << "Old";
        QTest::newRow("changes, close box")
            << true << "click:chkExcelMacro closebox" << true << "Old";
    }
    // Values come back only after OK; the dialog is kept between uses and shows the caller's values
    // each time, the name open for typing only while the macro is switched on.
    void macro() {
        QFETCH(bool, enable);
        QFETCH(QString, steps);
        QString name = QStringLiteral("Old");
        frmExcelMacro dialog;
        for (int use = 0; use < 2; ++use) {
            dialog.setMacroEnable(enable);
            dialog.setMacroName(name);
            ModalAnswer answer([&](QDialog*) {
                QCOMPARE(dialog.findChild<QCheckBox*>(QStringLiteral("chkExcelMacro"))->isChecked(),
                         enable);
                auto* box = dialog.findChild<QLineEdit*>(QStringLiteral("txtExcelMacro"));
                QCOMPARE(box->text(), name);
                QCOMPARE(box->isEnabled(), enable);
                play(&dialog, use == 0 ? steps : QStringLiteral("click:cmdOK"));
            });
            const bool confirmed = dialog.ShowForm();
            QVERIFY(answer.closedByUser() && (confirmed || use == 0));
            if (confirmed) {
                enable = dialog.MacroEnable();
                name = dialog.MacroName();
            }
            QTEST(enable, "enableAfter");
            QTEST(name, "nameAfter");
        }
    }
    void about_data() {
        QTest::addColumn<QString>("closeStep");
        QTest::newRow("OK") << "click:cmdOK";
        QTest::newRow("Enter") << "Return";
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("close box") << "closebox";
    }
    // Shown twice, with the version written anew each time; each way of closing only hides it.
    void about() {
        QFETCH(QString, closeStep);
        frmAbout about;
        auto* version = about.findChild<QLabel*>(QStringLiteral("lblVersion"));
        for (int round = 0; round < 2; ++round) {
            version->setText(QStringLiteral("stale"));
            ModalAnswer answer([&](QDialog*) {
                QCOMPARE(version->text(),
                         QStringLiteral("Version ") + QLatin1String(Version::text));
                play(&about, closeStep);
            });
            about.ShowForm();
            QVERIFY(answer.closedByUser());
        }
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
