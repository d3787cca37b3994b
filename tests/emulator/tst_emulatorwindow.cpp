#include "fixedclock.h"
#include "frmemulation.h"
#include "modeloutputs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class tst_EmulatorWindow : public QObject {
    Q_OBJECT

    modGlobals globals;
    FixedClock clock;
    clsOrva orva{clock};
    clsQuorilex quorilex{clock};
    QPointer<frmEmulation> window;

    // Opens the window active, so that the focus moves as for a user; unless its timers run, the
    // test drives every tick itself.
    void open(bool timersRun = false) {
        window = new frmEmulation(globals, orva, quorilex, nullptr);
        for (QTimer* timer : window->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
            if (!timersRun)
                timer->stop();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }
    template <class T = QWidget> T* find(const QString& name) {
        T* found = window->findChild<T*>(name);
        return found ? found : (qFatal("no control %s", qPrintable(name)), nullptr);
    }
    QString text(const QString& name) { return find<QLabel>(name)->text(); }
    void type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    QScrollBar* bar(const QString& group, const QString& part) {
        return find<QScrollBar>("scroll" + group + part);
    }
    // A range group as the user sees it: "40..60" from its bars, " maintained" while its box is
    // ticked; a value label that disagrees with its bar, and a master bar enabled while the
    // distance is maintained (or disabled while it is not), are added.
    QString rangeState(const QString& group) {
        QString state = u"%1..%2"_s.arg(bar(group, "Min")->value()).arg(bar(group, "Max")->value());
        for (const QString part : {"LS", "Min", "Max"})
            if (text("lbl" + group + part) != QString::number(bar(group, part)->value()))
                state += " label " + part + " shows " + text("lbl" + group + part);
        if (find<QCheckBox>("chkMaintain" + group + "MinMaxWindow")->isChecked())
            state += " maintained";
        if (bar(group, "LS")->isEnabled() == state.endsWith("maintained"))
            state += " master enabled wrongly";
        return state;
    }
    // A press on a bar gives it the focus, then the thumb is dragged; let go unless held.
    void drag(QScrollBar* bar, int value, bool letGo = true) {
        bar->setFocus(Qt::MouseFocusReason);
        bar->setSliderDown(true);
        bar->setSliderPosition(value);
        bar->setSliderDown(!letGo);
    }
    // The mouse wheel, notch by notch, over a bar without the focus.
    void wheel(QScrollBar* bar, int value) {
        const QPointF centre = QRectF(bar->rect()).center();
        for (int notch = 0; notch <= bar->maximum() && bar->value() != value; ++notch) {
            QWheelEvent wheel(centre, bar->mapToGlobal(centre), {},
                              {0, bar->value() < value ? -120 : 120}, Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(bar, &wheel);
        }
    }

private slots:
    void init() {
        globals = modGlobals();
        orva.reset();
        quorilex.reset();
    }
    void cleanup() { delete window; }

    void reopenKeepsModelSettings() {
        open();
        QPointer<frmEmulation> first = window;
        // 9.5 rounds to 10; the box then left empty keeps the frequency.
        type(find<QLineEdit>("txtEOLFrequency"), u"9.5"_s);
        type(find<QLineEdit>("txtEOLFrequency"), u""_s);
        type(find<QLineEdit>("txtIndex"), u"0042"_s);
        drag(bar("Measure", "LS"), 70);
        drag(bar("Measure", "Max"), 82);
        QTest::mouseClick(find("chkMaintainMeasureMinMaxWindow"), Qt::LeftButton);
        find<QCheckBox>("chkInjectTab")->click();
        QVERIFY(globals.emulatorActive && window->close() && !globals.emulatorActive);

        // The closed window goes away later; one opened meanwhile stays loaded and runs.
        open(true);
        QTRY_VERIFY(first.isNull() && globals.emulatorActive);
        QTRY_COMPARE(text("lblLine2"), u"299"_s);
        QTRY_COMPARE(globals.emulatorOutput,
                     u"0 0042 :: 12-06-2026 14:05:09 = 50 (RAW)  50 (C)\r\n"_s);
        QCOMPARE(text("lblNextEmulatorOutput"), globals.emulatorOutput);
        QCOMPARE(find<QLineEdit>("txtEOLFrequency")->text() + find<QLineEdit>("txtIndex")->text(),
                 u"160000"_s);
        QCOMPARE(quorilexOutputs(quorilex, 12), u"|9999999999|"_s);
        // The ranges start again at 50..50; the stored distance stays until the box is clicked.
        QCOMPARE(rangeState("Measure") + " / " + seenRanges(orva), u"50..50 / 50..50 / 50..50"_s);
        QCOMPARE(globals.measureWindow, qint16(12));
        // Told that the injection was used, the window clears the box, and the box the flag.
        QVERIFY(find<QCheckBox>("chkInjectTab")->isChecked());
        window->injectSingleTabUsed();
        QVERIFY(!find<QCheckBox>("chkInjectTab")->isChecked() && !globals.injectSingleTab);
        // Deleted without a close request, a window unloads as well.
        delete window;
        QVERIFY(!globals.emulatorActive);
    }

    void display_data() {
        // Steps, split at ", ": "tick N" refreshes the display N times; any other step clicks the
        // key or key face of that name.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("lines");
        QTest::newRow("power up counts down") << "tick 299" << u"VELDAN DESIGNS | 1"_s;
        QTest::newRow("then ready") << "tick 301" << u"0.000 | Rdy"_s;
        QTest::newRow("GO shows at the next refresh") << "cmdGO" << u"VELDAN DESIGNS | 300"_s;
        QTest::newRow("count passes zero") << "cmdGO, tick 6002" << u"Int: -1 | <ESC>- Abort"_s;
        QTest::newRow("count stops at its range end")
            << "cmdGO, tick 38771" << u"Int: -32768 | <ESC>- Abort"_s;
        QTest::newRow("GO's face") << "tick 301, picGO, tick 1" << u"Int: 6000 | <ESC>- Abort"_s;
        QTest::newRow("ESC") << "cmdGO, tick 3, Command20, tick 1" << u"0.000 | Rdy"_s;
        QTest::newRow("ESC during power up") << "tick 1, Command20, tick 1" << u"0.000 | Rdy"_s;
        QTest::newRow("other keys do nothing") << "cmdGO, tick 1, cmdDigit7, cmdHome, cmdEnt, "
                                                  "cmdSetup, cmdInj, picUp, picDn, picLR, tick 1"
                                               << u"Int: 5999 | <ESC>- Abort"_s;
    }

    void display() {
        QFETCH(QString, steps);
        QFETCH(QString, lines);
        open();
        for (const QString& step : steps.split(u", "_s)) {
            if (!step.startsWith("tick "))
                QTest::mouseClick(find(step), Qt::LeftButton);
            for (int tick = step.mid(5).toInt(); tick > 0; --tick)
                window->Timer1_Timer();
        }
        QCOMPARE(text("lblLine1") + " | " + text("lblLine2"), lines);
    }

    void machineChooser_data() {
        // Steps, split at ", ": "pick X" from the list; "type X" over the text ("\r": Return).
        // Seen: the panel shown, the output a tick then starts with ("kept": the one waiting
        // stays), and each message box.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("seen");
        QTest::newRow("ORVA") << "pick QUORILEX, pick ORVA" << u"famOrva 0 0000"_s;
        QTest::newRow("not emulated")
            << "pick PELMAR, pick QUORILEX, pick TESSOR"
            << u"famQuorilex kept, The PELMAR machine is not currently emulated, The TESSOR "
               "machine is not currently emulated"_s;
        // Typing neither completes a name nor, with Return, adds one; case matters.
        QTest::newRow("typed part of a name") << "type QUORI" << u"famOrva kept"_s;
        QTest::newRow("typed name") << "type QUORILEX" << u"famQuorilex \r\n\r\n\r\n"_s;
        QTest::newRow("typed lower case") << "pick QUORILEX, type orva\r" << u"famQuorilex kept"_s;
    }

    void machineChooser() {
        QFETCH(QString, steps);
        QFETCH(QString, seen);
        open();
        auto* chooser = find<QComboBox>("cboMachine");
        QStringList shown;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown << (box->windowTitle() == "Celvane" ? box->text() : box->windowTitle());
                box->button(QMessageBox::Ok)->click();
            }
        });
        answerer.start(10);
        for (const QString& step : steps.split(u", "_s)) {
            if (step.startsWith("pick"))
                chooser->setCurrentIndex(chooser->findText(step.mid(5)));
            else
                type(chooser->lineEdit(), step.mid(5));
            QCOMPARE(chooser->currentText(), step.mid(5).trimmed());
        }
        QCOMPARE(chooser->count(), 4);
        globals.emulatorOutput = u"kept"_s;
        window->Timer2_Timer();
        shown.prepend((find("famOrva")->isVisible() ? "famOrva " : "famQuorilex ") +
                      globals.emulatorOutput.left(6));
        QCOMPARE(shown.join(u", "_s), seen);
    }

    void rangeCascade_data() {
        // Steps on one group, split at ", ": "LS 70", "Min 60", "Max 30" drag that bar to the
        // value, "hold Min 55" without letting go; "click Min +" ("-") clicks the bar's right
        // (left) arrow; "maintain" clicks the box; "Tab", "Right", "Left" press that key where the
        // focus is; "wheel Max 40" turns the wheel over that bar to the value. After "=" comes the
        // group's state (see rangeState); at each, the model's values match the bars and the other
        // group stays at 50..50.
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("steps");
        QTest::newRow("minimum past maximum")
            << "Measure"
            << "LS 70 = 70..70, Min 60 = 60..70, Min 80 = 80..80, Max 30 = 30..30, Max 90 = 30..90";
        // The distance does not shrink at a limit; cleared, the box takes it again.
        QTest::newRow("maintained window")
            << "Measure"
            << "LS 40 = 40..40, Max 60 = 40..60, maintain = 40..60 maintained, Min 90 = 90..100 "
               "maintained, Min 50 = 50..70 maintained, Max 10 = 0..10 maintained, Max 60 = "
               "40..60 maintained, Min 45 = 45..65 maintained, Max 75 = 55..75 maintained, "
               "maintain = 55..75, Min 70 = 70..75";
        QTest::newRow("master to the minimum's own value")
            << "Measure" << u"Min 40 = 40..50, Max 80 = 40..80, LS 40 = 40..80"_s;
        QTest::newRow("values change while the thumb is dragged")
            << "Measure"
            << "Max 90 = 50..90, hold Min 55 = 55..90, Min 62 = 62..90";
        // The values the cascade sets do not move the focus.
        QTest::newRow("keyboard and arrows")
            << "Measure"
            << "click LS - = 49..49, Tab, Tab, Right, Right, Left = 49..50, click Min + = 50..50, "
               "click Min + = 51..51, click LS - = 48..48";
        QTest::newRow("mouse wheel without the focus")
            << "Measure"
            << "Max 70 = 50..70, Min 60 = 60..70, wheel Max 40 = 40..40, Max 70 = 40..70, "
               "wheel LS 30 = 30..30";
        QTest::newRow("temperature")
            << "Temp"
            << "LS 30 = 30..30, Max 45 = 30..45, maintain = 30..45 maintained, "
               "Min 95 = 95..100 maintained";
    }

    void rangeCascade() {
        QFETCH(QString, group);
        QFETCH(QString, steps);
        open();
        const QMap<QString, Qt::Key> keys{
            {"Tab", Qt::Key_Tab}, {"Right", Qt::Key_Right}, {"Left", Qt::Key_Left}};
        for (const QString& step : steps.split(u", "_s)) {
            const QStringList action = step.section(" = ", 0, 0).split(u' ');
            const QString& verb = action[0];
            if (verb == "maintain") {
                QTest::mouseClick(find("chkMaintain" + group + "MinMaxWindow"), Qt::LeftButton);
            } else if (keys.contains(verb)) {
                QTest::keyClick(QApplication::focusWidget(), keys[verb]);
            } else {
                QScrollBar* moved = bar(group, action[action.size() - 2]);
                if (verb == "click")
                    QTest::mouseClick(moved, Qt::LeftButton, {},
                                      {action[2] == "+" ? moved->width() - 4 : 4, 4});
                else if (verb == "wheel")
                    wheel(moved, action[2].toInt());
                else
                    drag(moved, action.last().toInt(), verb != "hold");
            }
            if (!step.contains(" = "))
                continue;
            const QString state = rangeState(group);
            QVERIFY2(state == step.section(" = ", 1), qPrintable(step + " gives " + state));
            QCOMPARE(rangeState(group == "Temp" ? "Measure" : "Temp"), u"50..50"_s);
            QCOMPARE(seenRanges(orva), rangeState("Measure").section(u' ', 0, 0) + " / " +
                                           rangeState("Temp").section(u' ', 0, 0));
        }
    }
};

QTEST_MAIN(tst_EmulatorWindow)
#include "tst_emulatorwindow.moc"
