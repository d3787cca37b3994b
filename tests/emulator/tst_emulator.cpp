#include "fixedclock.h"
#include "frmemulation.h"
#include "instrumentplayer.h"
#include "modeloutputs.h"
#include "uartline.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

// The emulated instruments, their window, and celvane-instrument's options and pacing.
class tst_Emulator : public QObject {
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
            } else if (QStringList{"Tab", "Right", "Left"}.contains(act[0])) {
                QTest::keyClick(QApplication::focusWidget(), QKeySequence(act[0])[0].key());
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
        clock.set(FixedClock().now());
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

    void orvaLine() {
        orva.setFourDigitIndex("77");
        orva.setMinMeasurement(51);
        orva.setMaxMeasurement(51);
        orva.setMinTemperature(-3);
        orva.setMaxTemperature(-3);
        // A reset clears the index and keeps the bounds.
        orva.reset();
        QCOMPARE(orva.nextOutput(), u"0 0000 :: 12-06-2026 14:05:09 = 51 (RAW)  -3 (C)\r\n"_s);
        orva.setFourDigitIndex("42");
        clock.set(QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)));
        // Sending a line changes no setting.
        for (int i = 0; i < 2; ++i)
            QCOMPARE(orva.nextOutput(), u"0 0042 :: 01-02-2027 03:04:05 = 51 (RAW)  -3 (C)\r\n"_s);
    }

    void fourDigitIndex() {
        // Text, then the index: the last four characters, half rounded to even; 0099, the one
        // before, when the text is refused.
        for (const QString row : {"12345 2345", "-5 00-5", "12ab 0012", "2.5 0002", "3.5 0004",
                                  "-32768.5 2768", "32767.5 0099"}) {
            orva.setFourDigitIndex("99");
            orva.setFourDigitIndex(row.section(u' ', 0, 0));
            QCOMPARE(orva.getFourDigitIndex(), row.section(u' ', 1));
        }
    }

    void valueRanges() {
        // Both bounds, then the lowest..highest of many values (x: any digit). With the bounds
        // crossed, floor(-39 * r + 50) gives 11..50, where 50 needs a draw of exactly 0.
        for (const QString row : {"40 60 40..60", "50 10 11..49", "-32768 32767 -32xxx..32xxx"}) {
            const auto min = qint16(row.section(u' ', 0, 0).toInt());
            const auto max = qint16(row.section(u' ', 1, 1).toInt());
            orva.setMinMeasurement(min);
            orva.setMaxMeasurement(max);
            orva.setMinTemperature(min);
            orva.setMaxTemperature(max);
            const QString seen = row.section(u' ', 2);
            const QString form =
                QRegularExpression::escape(seen + " / " + seen).replace(u'x', "\\d");
            QVERIFY2(QRegularExpression("^" + form + "$").match(seenRanges(orva)).hasMatch(),
                     qPrintable(row));
        }
    }

    void quorilexSequence_data() {
        // "eol N", "off", "on", "reset" change the model; other steps are the outputs that follow.
        QTest::addColumn<QString>("steps");
        const QString ten(10, u'9');
        QTest::newRow("after reset") << "|" + QString(16, u'9') + "|9";
        QTest::newRow("frequency 0") << "eol 0, |||";
        // Ten samples have been sent; they count towards the new frequency.
        QTest::newRow("lowered below the count") << "|" + ten + ", eol 4, |9999|";
        QTest::newRow("raised") << "|" + ten + ", eol 20, " + ten + "|" + QString(20, u'9') + "|";
        // Switched on again, the sequence goes on where it stopped; a reset switches it on.
        QTest::newRow("power off and on") << "eol 3, |9, off, ...., on, 99|9, off, reset, |9";
    }

    void quorilexSequence() {
        QFETCH(QString, steps);
        for (const QString& step : steps.split(u", "_s)) {
            if (step.startsWith("eol "))
                quorilex.setEOLFrequency(qint16(step.mid(4).toInt()));
            else if (step == "off" || step == "on")
                step == "on" ? quorilex.turnOn() : quorilex.turnOff();
            else if (step == "reset")
                quorilex.reset();
            else
                QCOMPARE(quorilexOutputs(quorilex, int(step.size())), step);
        }
    }

    void playerPacing() {
        // Options, then the first output's start ("|" for CR LF) and the pause after it: ten bits a
        // character by default, eleven with 7 data bits, parity and 2 stop bits; ORVA lines from
        // the bench ranges have 50 characters.
        for (const QString row : {"--interval 100 = 0 0000 after 100000 us",
                                  "--interval 0 --settings 9600,e,7,2 = 0 0000 after 57291 us",
                                  "--model quorilex --interval 0 = ||| after 6250 us"}) {
            QString error;
            const auto options = InstrumentPlayer::parse(
                ("celvane-instrument --device d " + row.section(" = ", 0, 0)).split(u' '), error);
            QVERIFY2(options, qPrintable(error));
            InstrumentPlayer player(*options, clock);
            const QString output = player.nextOutput();
            QCOMPARE(output.left(6).replace(u"\r\n"_s, u"|"_s) +
                         u" after %1 us"_s.arg(player.pauseAfter(output).count()),
                     row.section(" = ", 1));
        }
    }

    void uartLineLosesWhatItsKernelCannotHold_data() {
        // Bytes arriving in two bursts while the program does not read; the bytes lost of them.
        QTest::addColumn<int>("arriving");
        QTest::addColumn<int>("lost");
        QTest::newRow("less than 68 KB") << 60000 << 0;
        QTest::newRow("more") << 100000 << 100000 - 68 * 1024;
    }

    void uartLineLosesWhatItsKernelCannotHold() {
        QFETCH(int, arriving);
        QFETCH(int, lost);
        const QTemporaryDir dir;
        UartLine line;
        QString error;
        QVERIFY2(line.open(dir.filePath("line"), error), qPrintable(error));
        line.arrive(QByteArray(arriving / 2, 'x'));
        QTest::qSleep(50);
        line.arrive(QByteArray(arriving - arriving / 2, 'x'));
        // The pseudo-terminal's own share varies by a few KB with how it was written to.
        QVERIFY2(qAbs(line.lost() - lost) <= 4096, qPrintable(QString::number(line.lost())));
    }
};

QTEST_MAIN(tst_Emulator)
#include "tst_emulator.moc"
