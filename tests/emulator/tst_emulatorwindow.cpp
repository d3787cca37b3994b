#include "fixedclock.h"
#include "frmemulation.h"
#include "modeloutputs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
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
    QString group; // the range group the steps move

    // Opened active, so that the focus moves as for a user; the test drives the output itself.
    void open(bool timersRun = false) {
        window = new frmEmulation(globals, orva, quorilex, nullptr);
        for (QTimer* timer : window->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
            timer->setInterval(timersRun ? timer->interval() : 24 * 3600 * 1000);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }
    template <class T = QWidget> T* find(const QString& name) {
        T* found = window->findChild<T*>(name);
        return found ? found : (qFatal("no control %s", qPrintable(name)), nullptr);
    }
    void type(const QString& name, const QString& text) {
        auto* edit = window->findChild<QLineEdit*>(name);
        edit = edit ? edit : find<QComboBox>(name)->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    // "40..60" from a group's bars; " maintained" while its box is ticked, when the master bar
    // must be disabled.
    QString rangeState(const QString& group) {
        const auto bar = [&](const char* part) {
            return find<QScrollBar>("scroll" + group + part);
        };
        QString state = u"%1..%2"_s.arg(bar("Min")->value()).arg(bar("Max")->value());
        if (find<QCheckBox>("chkMaintain" + group + "MinMaxWindow")->isChecked())
            state += " maintained";
        return state + (bar("LS")->isEnabled() == state.endsWith("d") ? " master enabled?" : "");
    }
    // Steps split at ", ": "Temp" moves the other group; "pick X" and "type X" choose a machine
    // ("\r": Return); "LS 70" drags that bar ("hold Min 55" without letting go); "Tab", "Right",
    // "Left" press the key; "maintain" or a control's name clicks it. After " = ": the group's
    // rangeState, the model matching the bars and the other group at 50..50; after "output = ":
    // the panel shown, a tick's output ("kept": the waiting one stays), the machines listed.
    void run(const QString& steps) {
        const QMap<QString, Qt::Key> keys{
            {"Tab", Qt::Key_Tab}, {"Right", Qt::Key_Right}, {"Left", Qt::Key_Left}};
        group = u"Measure"_s;
        for (const QString& step : steps.split(u", "_s)) {
            const QStringList act = step.section(u" = "_s, 0, 0).split(u' ');
            auto* bar =
                window->findChild<QScrollBar*>("scroll" + group + act.value(act.size() - 2));
            auto* chooser = find<QComboBox>("cboMachine");
            if (act[0] == "output") {
                globals.emulatorOutput = u"kept"_s;
                window->Timer2_Timer();
                QCOMPARE((find("famOrva")->isVisible() ? "famOrva " : "famQuorilex ") +
                             globals.emulatorOutput.left(6) + " " +
                             QString::number(chooser->count()),
                         step.section(u" = "_s, 1));
                continue;
            } else if (act[0] == "Temp") {
                group = act[0];
            } else if (act[0] == "pick") {
                chooser->setCurrentIndex(chooser->findText(act[1]));
            } else if (act[0] == "type") {
                type(u"cboMachine"_s, step.mid(5));
            } else if (keys.contains(act[0])) {
                QTest::keyClick(QApplication::focusWidget(), keys[act[0]]);
            } else if (bar) { // a press gives the bar the focus, then the thumb is dragged
                bar->setFocus(Qt::MouseFocusReason);
                bar->setSliderDown(true);
                bar->setSliderPosition(act.last().toInt());
                bar->setSliderDown(act[0] == "hold");
            } else {
                const QString box = "chkMaintain" + group + "MinMaxWindow";
                QTest::mouseClick(find(act[0] == "maintain" ? box : act[0]), Qt::LeftButton);
            }
            if (!step.contains(" = "))
                continue;
            QCOMPARE(rangeState(group), step.section(u" = "_s, 1));
            QCOMPARE(rangeState(group == "Temp" ? "Measure" : "Temp"), u"50..50"_s);
            QCOMPARE(seenRanges(orva), rangeState("Measure").section(u' ', 0, 0) + " / " +
                                           rangeState("Temp").section(u' ', 0, 0));
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
        type(u"txtEOLFrequency"_s, u"9.5"_s);
        type(u"txtEOLFrequency"_s, u""_s);
        type(u"txtIndex"_s, u"0042"_s);
        run(u"LS 70, Max 82, maintain, chkInjectTab"_s);
        QVERIFY(globals.emulatorActive && window->close() && !globals.emulatorActive);
        // The closed window goes away later; one opened meanwhile stays loaded and runs.
        open(true);
        QTRY_VERIFY(first.isNull() && globals.emulatorActive);
        QTRY_COMPARE(globals.emulatorOutput,
                     u"0 0042 :: 12-06-2026 14:05:09 = 50 (RAW)  50 (C)\r\n"_s);
        QCOMPARE(quorilexOutputs(quorilex, 12), u"|9999999999|"_s);
        // The ranges start again at 50..50; the stored distance stays until the box is clicked.
        QCOMPARE(rangeState("Measure") + " / " + seenRanges(orva), u"50..50 / 50..50 / 50..50"_s);
        QCOMPARE(globals.measureWindow, qint16(12));
        // Told that the injection was used, the window clears the box, and the box the flag.
        QVERIFY(find<QCheckBox>("chkInjectTab")->isChecked() && globals.injectSingleTab);
        window->injectSingleTabUsed();
        QVERIFY(!find<QCheckBox>("chkInjectTab")->isChecked() && !globals.injectSingleTab);
        delete window; // without a close request
        QVERIFY(!globals.emulatorActive);
    }

    void panel_data() {
        QTest::addColumn<QString>("steps");
        QTest::newRow("ORVA") << "pick QUORILEX, pick ORVA, output = famOrva 0 0000 4";
        // Typing neither completes a name nor, with Return, adds one; case matters.
        QTest::newRow("typed") << "type QUORILEX, output = famQuorilex \r\n\r\n\r\n 4";
        QTest::newRow("typed lower case")
            << "pick QUORILEX, type orva\r, output = famQuorilex kept 4";
        QTest::newRow("minimum past maximum")
            << "LS 70 = 70..70, Min 60 = 60..70, Min 80 = 80..80, Max 30 = 30..30, Max 90 = 30..90";
        // The distance does not shrink at a limit; cleared, the box takes it again.
        QTest::newRow("maintained window")
            << "LS 40, Max 60, maintain = 40..60 maintained, Min 90 = 90..100 maintained, Min 50 = "
               "50..70 maintained, Max 10 = 0..10 maintained, Max 60 = 40..60 maintained, "
               "maintain, hold Min 70 = 70..70, Min 62 = 62..70";
        QTest::newRow("keys") << "LS 40, Tab, Right = 41..41, Tab, Left, Left = 39..39";
        QTest::newRow("temperature")
            << "Temp, LS 30, Max 45, maintain = 30..45 maintained, Min 95 = 95..100 maintained";
    }

    void panel() {
        QFETCH(QString, steps);
        open();
        run(steps);
    }
};

QTEST_MAIN(tst_EmulatorWindow)
#include "tst_emulatorwindow.moc"
