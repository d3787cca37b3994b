#include "frmabout.h"
#include "frmcomport.h"
#include "frmexcelmacro.h"
#include "modalanswer.h"
#include "version.h"

#include <QtTest>
#include <QtWidgets>

// Steps separated by blanks: "click:name", "type:text", "closebox", or a key ("Down:7": 7 times).
static void play(QDialog* dialog, const QString& steps) {
    for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
        QWidget* target = dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog;
        const QString what = step.section(u':', 0, 0), argument = step.section(u':', 1);
        if (what == u"click") {
            QTest::mouseClick(dialog->findChild<QWidget*>(argument), Qt::LeftButton);
        } else if (what == u"type") {
            QTest::keyClicks(target, argument);
        } else if (what == u"closebox") { // as the window system sends it
            QCloseEvent event;
            QSpontaneKeyEvent::setSpontaneous(&event);
            QCoreApplication::sendEvent(dialog->windowHandle(), &event);
        } else {
            for (int i = qMax(1, argument.toInt()); i > 0; --i)
                QTest::keyClick(target, QKeySequence(what)[0].key());
        }
    }
}

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    // The port given, the steps, the port returned, the option shown checked (-1: none).
    void comPort_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("shownOption");
        const QString com12 = QStringLiteral("click:optComPort_0 Tab Down:7 ");
        QTest::newRow("3, Enter") << 3 << "Return" << 3 << 3;
        QTest::newRow("5, OK") << 5 << "click:cmdOK" << 5 << 0;
        QTest::newRow("COM 12, OK") << 2 << com12 + "click:cmdOK" << 12 << 2;
        QTest::newRow("COM 12, Cancel") << 2 << com12 + "click:cmdCancel" << 2 << 2;
        QTest::newRow("COM 12, close box") << 2 << com12 + "closebox" << 2 << 2;
        QTest::newRow("0, OK") << 0 << "click:cmdOK" << 0 << -1;
        QTest::newRow("200, COM 7")
            << 200 << "click:optComPort_0 Tab Down:3 click:cmdOK" << 7 << -1;
    }
    void comPort() {
        QFETCH(QString, steps);
        int option = -2;
        bool listEnabled = false;
        ModalAnswer answer([&](QDialog* dialog) {
            option = dialog->findChild<QButtonGroup*>()->checkedId();
            listEnabled = dialog->findChild<QComboBox*>("cboComPort")->isEnabled();
            play(dialog, steps);
        });
        QFETCH(int, port);
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
        QTest::newRow("Cancel") << false << "click:chkExcelMacro Tab type:New click:cmdCancel"
                                << false << "Old";
        QTest::newRow("close box") << true << "click:chkExcelMacro closebox" << true << "Old";
    }
    // Values come back only after OK; the kept dialog shows the caller's values at each use, the
    // name open for typing only while the macro is on.
    void macro() {
        QFETCH(bool, enable);
        QFETCH(QString, steps);
        QString name = "Old";
        frmExcelMacro dialog;
        for (int use = 0; use < 2; ++use) {
            dialog.setMacroEnable(enable);
            dialog.setMacroName(name);
            ModalAnswer answer([&](QDialog*) {
                auto* box = dialog.findChild<QLineEdit*>("txtExcelMacro");
                QCOMPARE(dialog.findChild<QCheckBox*>("chkExcelMacro")->isChecked(), enable);
                QVERIFY(box->text() == name && box->isEnabled() == enable);
                play(&dialog, use == 0 ? steps : QStringLiteral("click:cmdOK"));
            });
            const bool confirmed = dialog.ShowForm();
            QVERIFY(answer.closedByUser() && (confirmed || use == 0));
            enable = confirmed ? dialog.MacroEnable() : enable;
            name = confirmed ? dialog.MacroName() : name;
            QTEST(enable, "enableAfter");
            QTEST(name, "nameAfter");
        }
    }
    void aboutShowsVersionAtEachShowing() {
        frmAbout about;
        auto* version = about.findChild<QLabel*>("lblVersion");
        for (const char* close : {"click:cmdOK", "Return", "Esc", "closebox"}) {
            version->setText("stale");
            ModalAnswer answer([&](QDialog*) {
                QCOMPARE(version->text(), QStringLiteral("Version ") + Version::text);
                play(&about, QString::fromLatin1(close));
            });
            about.ShowForm();
            QVERIFY2(answer.closedByUser(), close);
        }
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
