#include "fakeserial.h"
#include "fixedclock.h"
#include "frmemulation.h"
#include "memoryspreadsheet.h"
#include "modeloutputs.h"
#include "receivepath.h"
#include "recordingview.h"

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

namespace {

// A user moves a bar: a press on it gives it the focus, then the thumb is dragged to the value;
// let go, unless the user holds it there.
void userDrags(QScrollBar* bar, int value, bool letGo = true) {
    bar->setFocus(Qt::MouseFocusReason);
    bar->setSliderDown(true);
    bar->setSliderPosition(value);
    bar->setSliderDown(!letGo);
}

// A user turns the mouse wheel over a bar, which leaves the focus where it is, notch by notch
// until the bar has the value.
void userWheels(QScrollBar* bar, int value) {
    const QPointF centre = QRectF(bar->rect()).center();
    for (int notch = 0; notch <= bar->maximum() && bar->value() != value; ++notch) {
        QWheelEvent wheel(centre, bar->mapToGlobal(centre), {},
                          {0, bar->value() < value ? -120 : 120}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &wheel);
    }
}

} // namespace

class tst_EmulatorWindow : public QObject {
    Q_OBJECT

    // Declared first, so that it outlives the spreadsheet the globals hold.
    MemorySpreadsheetFactory factory;
    modGlobals globals;
    FixedClock clock;
    clsOrva orva{clock};
    clsQuorilex quorilex{clock};
    QList<QPointer<frmEmulation>> windows;
    frmEmulation* window = nullptr;

    // Opens the window, shown and active so that focus moves as for a user, with its timers
    // stopped so that the test drives every tick itself.
    void open(QWidget* beside = nullptr, bool timersRun = false) {
        window = new frmEmulation(globals, orva, quorilex, beside);
        windows << window;
        if (!timersRun) {
            find<QTimer>("Timer1")->stop();
            find<QTimer>("Timer2")->stop();
        }
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            qFatal("the emulator window did not become active");
    }
    // A control of the window opened last, by its object name; a missing one ends the run.
    template <class T = QWidget> T* find(const QString& name) {
        if (T* found = window->findChild<T*>(name))
            return found;
        qFatal("no control %s", qPrintable(name));
    }
    QString text(const QString& name) { return find<QLabel>(name)->text(); }
    QScrollBar* bar(const QString& group, const QString& part) {
        return find<QScrollBar>("scroll" + group + part);
    }
    // One range group as the user sees it: "40..60" from its minimum and maximum bars, and
    // " maintained" while its box is ticked. A value label that disagrees with its bar, and a
    // master bar enabled while the distance is maintained (or disabled while it is not), are
    // added.
    QString rangeState(const QString& group) {
        QString state = u"%1..%2"_s.arg(bar(group, "Min")->value()).arg(bar(group, "Max")->value());
        for (const QString part : {"LS", "Min", "Max"})
            if (text("lbl" + group + part) != QString::number(bar(group, part)->value()))
                state += " label " + part + " shows " + text("lbl" + group + part);
        const bool maintained =
            find<QCheckBox>("chkMaintain" + group + "MinMaxWindow")->isChecked();
        if (maintained)
            state += " maintained";
        if (bar(group, "LS")->isEnabled() == maintained)
            state += " master enabled wrongly";
        return state;
    }

private slots:
    void init() {
        globals = modGlobals();
        clock.set(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)));
        orva.reset();
        quorilex.reset();
    }
    void cleanup() {
        qDeleteAll(windows);
        windows.clear();
    }

    void loadRunAndClose() {
        QWidget main;
        main.setGeometry(100, 80, 300, 200);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        open(&main, true);
        QPointer<frmEmulation> first = window;
        QCOMPARE(window->windowTitle(), u"Emulator"_s);
        QCOMPARE(window->size(), QSize(547, 426));
        const QRect opener = main.frameGeometry();
        QCOMPARE(window->pos(), QPoint(opener.x() + opener.width() + 1, opener.y()));
        // The chooser, not a range bar, has the focus.
        QCOMPARE(QApplication::focusWidget(), find("cboMachine"));
        QCOMPARE(find("famQuorilex")->pos(), find("famOrva")->pos());
        // Each key face shows its picture over its key.
        for (const QString name : {"GO", "Up", "Dn", "LR"}) {
            auto* key = find("cmd" + name);
            QVERIFY(!find<QLabel>("pic" + name)->pixmap().isNull());
            QCOMPARE(key->parentWidget()->childAt(key->geometry().center()), find("pic" + name));
        }
        // The base level bar moves its indicator.
        find<QScrollBar>("VScroll1")->setValue(300);
        QCOMPARE(find("famIll")->y(), 20);
        // Left running, the timers refresh the display and feed the outputs.
        QTRY_COMPARE(text("lblLine2"), u"299"_s);
        QTRY_COMPARE(globals.emulatorOutput,
                     u"0 0000 :: 12-06-2026 14:05:09 = 50 (RAW)  50 (C)\r\n"_s);
        QCOMPARE(text("lblNextEmulatorOutput"), globals.emulatorOutput);
        QVERIFY(globals.emulatorActive && first->close() && !globals.emulatorActive);
        // The closed window goes away later; the one opened meanwhile stays the loaded one.
        open();
        QTRY_VERIFY(first.isNull());
        QVERIFY(globals.emulatorActive);
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
        QTest::newRow("GO") << "cmdGO, tick 2" << u"Int: 5999 | <ESC>- Abort"_s;
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
        for (const QString& step : steps.split(u", "_s, Qt::SkipEmptyParts)) {
            if (!step.startsWith("tick "))
                QTest::mouseClick(find(step), Qt::LeftButton);
            else
                for (int tick = step.mid(5).toInt(); tick > 0; --tick)
                    window->Timer1_Timer();
        }
        QCOMPARE(text("lblLine1") + " | " + text("lblLine2"), lines);
    }

    void machineChooser_data() {
        // Steps, split at ", ": "pick X" from the list; "type X" over the text, then Return for a
        // "\n". Seen: the panel shown, the start of the output a tick then gives ("|" for CR LF,
        // "kept" when the one waiting stays), and each message box.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("seen");
        const QString notEmulated = u"Celvane|The %1 machine is not currently emulated"_s;
        QTest::newRow("QUORILEX") << "pick QUORILEX" << u"famQuorilex |||"_s;
        QTest::newRow("ORVA") << "pick QUORILEX, pick ORVA" << u"famOrva 0 0000"_s;
        QTest::newRow("PELMAR over ORVA") << "pick PELMAR"
                                          << "famOrva kept, " + notEmulated.arg("PELMAR");
        QTest::newRow("TESSOR over QUORILEX") << "pick QUORILEX, pick TESSOR"
                                              << "famQuorilex kept, " + notEmulated.arg("TESSOR");
        // Typing neither completes a name nor, with Return, adds one; case matters.
        QTest::newRow("typed part of a name") << "type QUORI" << u"famOrva kept"_s;
        QTest::newRow("typed name") << "type QUORILEX" << u"famQuorilex |||"_s;
        QTest::newRow("typed lower case") << "pick QUORILEX, type orva\n" << u"famQuorilex kept"_s;
    }

    void machineChooser() {
        QFETCH(QString, steps);
        QFETCH(QString, seen);
        open();
        auto* chooser = find<QComboBox>("cboMachine");
        // Every message box is answered with OK.
        QStringList shown;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown << box->windowTitle() + u'|' + box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        answerer.start(10);
        for (const QString& step : steps.split(u", "_s)) {
            const QString machine = step.mid(5).trimmed();
            if (step.startsWith("pick")) {
                chooser->setCurrentIndex(chooser->findText(machine));
            } else {
                chooser->lineEdit()->selectAll();
                QTest::keyClicks(chooser->lineEdit(), machine);
                if (step.endsWith(u'\n'))
                    QTest::keyClick(chooser->lineEdit(), Qt::Key_Return);
            }
            QCOMPARE(chooser->currentText(), machine);
        }
        QCOMPARE(chooser->count(), 4);
        globals.emulatorOutput = u"kept"_s;
        window->Timer2_Timer();
        QString panels;
        for (const QString panel : {"famOrva", "famQuorilex"})
            panels += find(panel)->isVisible() ? panel : QString();
        shown.prepend(panels + u' ' + globals.emulatorOutput.left(6).replace(u"\r\n"_s, u"|"_s));
        QCOMPARE(shown.join(u", "_s), seen);
    }

    void reopenKeepsModelSettings() {
        open();
        // 9.5 rounds to 10; the box then left empty keeps the frequency.
        auto* eol = find<QLineEdit>("txtEOLFrequency");
        eol->selectAll();
        QTest::keyClicks(eol, u"9.5"_s);
        eol->selectAll();
        QTest::keyClick(eol, Qt::Key_Delete);
        find<QLineEdit>("txtIndex")->selectAll();
        QTest::keyClicks(find<QLineEdit>("txtIndex"), u"0042"_s);
        userDrags(bar("Measure", "LS"), 70);
        userDrags(bar("Measure", "Max"), 82);
        QTest::mouseClick(find("chkMaintainMeasureMinMaxWindow"), Qt::LeftButton);
        find<QCheckBox>("chkInjectTab")->click();
        window->close();

        open();
        QCOMPARE(find<QLineEdit>("txtEOLFrequency")->text() + find<QLineEdit>("txtIndex")->text(),
                 u"160000"_s);
        QCOMPARE(orva.getFourDigitIndex(), u"0042"_s);
        QCOMPARE(quorilexOutputs(quorilex, 12), u"|9999999999|"_s);
        // The ranges start again at 50..50; the stored distance stays until the box is clicked.
        QCOMPARE(rangeState("Measure"), u"50..50"_s);
        QCOMPARE(seenRanges(orva), u"50..50 / 50..50"_s);
        QCOMPARE(globals.measureWindow, qint16(12));
        // The injection box shows the shared flag; told that the injection was used, the window
        // clears the box, and the box the flag.
        QVERIFY(find<QCheckBox>("chkInjectTab")->isChecked());
        window->injectSingleTabUsed();
        QVERIFY(!find<QCheckBox>("chkInjectTab")->isChecked() && !globals.injectSingleTab);
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
        QTest::newRow("master collapses the range") << "Measure" << u"LS 70 = 70..70"_s;
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
            << "Max 90 = 50..90, hold Min 55 = 55..90, hold Min 62 = 62..90, Min 62 = 62..90";
        // A click gives a bar the focus, Tab passes it on, the arrow keys move the focused bar; the
        // values the cascade sets do not move the focus.
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
            const QStringList action = step.section(" = ", 0, 0).split(u' ')
                                       << QString() << QString();
            const QString& verb = action[0];
            if (verb == "maintain") {
                QTest::mouseClick(find("chkMaintain" + group + "MinMaxWindow"), Qt::LeftButton);
            } else if (keys.contains(verb)) {
                QTest::keyClick(QApplication::focusWidget(), keys[verb]);
            } else if (verb == "click") {
                QScrollBar* clicked = bar(group, action[1]);
                const int x = action[2] == "+" ? clicked->width() - 4 : 4;
                QTest::mouseClick(clicked, Qt::LeftButton, {}, QPoint(x, clicked->height() / 2));
            } else if (verb == "wheel") {
                userWheels(bar(group, action[1]), action[2].toInt());
            } else if (verb == "hold") {
                userDrags(bar(group, action[1]), action[2].toInt(), false);
            } else {
                userDrags(bar(group, verb), action[1].toInt());
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

    void emulatorOutputLandsInCells() {
        Status status;
        globals.excelApp = factory.create(status);
        factory.files.insert(u"book.xls"_s, {});
        const WorkbookId book = factory.last()->open(u"book.xls"_s).value;
        // The cells of a row, as "0,text 12-06-2026,empty".
        const auto row = [&](int row, std::initializer_list<int> columns) {
            QStringList cells;
            for (int column : columns) {
                const std::optional<CellValue> value = factory.last()->cell(book, row, column);
                cells << (!value                ? u"empty"_s
                          : value->index() == 0 ? QString::number(std::get<double>(*value))
                                                : "text " + std::get<QString>(*value));
            }
            return cells.join(u',');
        };
        open();
        FakeSerial serial;
        RecordingReceiveView view;
        ReceivePath path(globals, serial, view, clock);
        const auto tick = [&] {
            window->Timer2_Timer();
            path.pump();
        };
        tick();
        QCOMPARE(row(1, {1, 2, 3, 4, 5, 6, 7, 8, 9}),
                 u"0,0,text 12-06-2026,text 14:05:09,50,text (RAW),50,text (C),empty"_s);
        // QUORILEX: a separator opens the next block, and the samples fill it.
        find<QComboBox>("cboMachine")->setCurrentIndex(2);
        for (int i = 0; i < 4; ++i)
            tick();
        QCOMPARE(row(2, {2}) + row(3, {2}) + row(4, {2}) + row(5, {2}), u"999999999999empty"_s);
        // One injected output becomes two numbers in a row; the next is one again.
        QTest::mouseClick(find("chkInjectTab"), Qt::LeftButton);
        tick();
        tick();
        QCOMPARE(row(5, {2, 3}) + " / " + row(6, {2, 3}), u"9999,10000 / 9999,empty"_s);
    }
};

QTEST_MAIN(tst_EmulatorWindow)
#include "tst_emulatorwindow.moc"
