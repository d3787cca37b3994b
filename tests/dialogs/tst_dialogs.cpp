#include "formlayout.h"
#include "frmabout.h"
#include "frmcomport.h"
#include "frmexcelmacro.h"
#include "modalanswer.h"
#include "version.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QWindow>
#include <QtTest>

namespace {

// The window's close box: the window system's close request, delivered to the window as it
// comes from the user. True when the window accepted it.
bool pressCloseBox(QWidget* window) {
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QCoreApplication::sendEvent(window->windowHandle(), &event);
    return event.isAccepted();
}

bool anyButtonDown(QWidget* window) {
    const QList<QAbstractButton*> buttons = window->findChildren<QAbstractButton*>();
    return std::any_of(buttons.cbegin(), buttons.cend(),
                       [](QAbstractButton* button) { return button->isDown(); });
}

// Plays what the user does in a dialog, one step a string: "alt:O" (Alt and a letter),
// "key:Tab" or "key:Down*7" (keys pressed in the focused control), "type:text" (typed into the
// focused control), "click:name" (a mouse click on the named control), "enter", "esc" and
// "closebox" (the window's close box).
void play(QDialog* dialog, const QStringList& steps) {
    static const QHash<QString, Qt::Key> keys = {{QStringLiteral("Tab"), Qt::Key_Tab},
                                                 {QStringLiteral("Down"), Qt::Key_Down},
                                                 {QStringLiteral("Up"), Qt::Key_Up}};
    for (const QString& step : steps) {
        QWidget* focused = QApplication::focusWidget();
        QWidget* target = focused != nullptr && focused->window() == dialog ? focused : dialog;
        const QString argument = step.section(QLatin1Char(':'), 1);
        if (step.startsWith(QLatin1String("alt:"))) {
            // A mnemonic presses its control briefly, as a click does.
            QTest::keyClick(dialog, argument.at(0).toLatin1(), Qt::AltModifier);
            QTRY_VERIFY(!anyButtonDown(dialog));
        } else if (step.startsWith(QLatin1String("key:"))) {
            const Qt::Key key = keys.value(argument.section(QLatin1Char('*'), 0, 0));
            const int times = qMax(1, argument.section(QLatin1Char('*'), 1).toInt());
            for (int i = 0; i < times; ++i)
                QTest::keyClick(target, key);
        } else if (step.startsWith(QLatin1String("type:"))) {
            QTest::keyClicks(target, argument);
        } else if (step.startsWith(QLatin1String("click:"))) {
            QWidget* control = dialog->findChild<QWidget*>(argument);
            QVERIFY2(control != nullptr, qPrintable(argument));
            QTest::mouseClick(control, Qt::LeftButton);
        } else if (step == QLatin1String("enter")) {
            QTest::keyClick(target, Qt::Key_Return);
        } else if (step == QLatin1String("esc")) {
            QTest::keyClick(target, Qt::Key_Escape);
        } else if (step == QLatin1String("closebox")) {
            pressCloseBox(dialog);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }
}

QStringList steps(const char* text) {
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The option index that is set in the COM port dialog, -1 when none is.
int setOption(QDialog* dialog) {
    for (int index = 0; index < frmComPort::optionCount; ++index) {
        auto* option = dialog->findChild<QRadioButton*>(QStringLiteral("optComPort_%1").arg(index));
        if (option != nullptr && option->isChecked())
            return index;
    }
    return -1;
}

bool anyComPortDialog() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(),
                       [](QWidget* window) { return qobject_cast<frmComPort*>(window); });
}

QColor textBoxBackground(QDialog* dialog) {
    return dialog->findChild<QLineEdit*>(QStringLiteral("txtExcelMacro"))
        ->palette()
        .color(QPalette::Base);
}

QColor frameBackground(QDialog* dialog) {
    auto* frame = dialog->findChild<QGroupBox*>(QStringLiteral("fraExcelMacro"));
    return frame->palette().color(frame->backgroundRole());
}

// A stand-in for the main window, with one button. Clicks reach it through the window system,
// so a modal dialog blocks them as it blocks the user's.
struct OtherWindow {
    QWidget window;
    QPushButton* button = new QPushButton(QStringLiteral("Start"), &window);
    QSignalSpy clicks{button, &QPushButton::clicked};

    OtherWindow() {
        window.resize(200, 100);
        button->setGeometry(10, 10, 120, 40);
        window.show();
    }

    void click() {
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
    }
};

// Runs look on the named dialog as the user gets it: the COM port dialog inside a GetPort call,
// the others as their users make them.
void inspect(const QString& dialogName, const std::function<void(QDialog*)>& look) {
    if (dialogName == QLatin1String("frmComPort")) {
        ModalAnswer answer([&](QDialog* dialog) {
            look(dialog);
            play(dialog, steps("esc"));
        });
        frmComPort::GetPort(1);
        QVERIFY(answer.reached());
    } else if (dialogName == QLatin1String("frmExcelMacro")) {
        frmExcelMacro macro;
        look(&macro);
    } else {
        frmAbout about;
        look(&about);
    }
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    // All three dialogs
    void windows_data();
    void windows();
    void controls_data();
    void controls();

    // COM port selection
    void comPortList();
    void comPortPreselects_data();
    void comPortPreselects();
    void comPortAnswers_data();
    void comPortAnswers();
    void comPortOutOfRange_data();
    void comPortOutOfRange();
    void comPortCloseBoxIsCancel();
    void comPortStartsAfreshEachCall();
    void comPortTabOrder();
    void whichOptionButton_data();
    void whichOptionButton();

    // Excel macro configuration
    void macroOpensWithValues_data();
    void macroOpensWithValues();
    void macroCheckBoxSwitchesTextBox();
    void macroRoundTrip_data();
    void macroRoundTrip();
    void macroCancelledEditsDoNotReturn_data();
    void macroCancelledEditsDoNotReturn();

    // About box
    void aboutTwice();
    void aboutActivationWritesVersion();
    void aboutCloses_data();
    void aboutCloses();
    void aboutIcon();
};

// ---- All three dialogs ------------------------------------------------------------------------

void TestDialogs::windows_data() {
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("clientSize");

    QTest::newRow("COM port") << "frmComPort"
                              << "COM Port Selection" << twipsSize(3150, 2850);
    QTest::newRow("macro") << "frmExcelMacro"
                           << "Excel Configuration" << twipsSize(4650, 1725);
    QTest::newRow("About") << "frmAbout"
                           << "About" << twipsSize(3705, 2340);
}

// Fixed border, a close box but no minimise or maximise box, and no owner window.
void TestDialogs::windows() {
    QFETCH(QString, dialog);
    QFETCH(QString, caption);
    QFETCH(QSize, clientSize);

    inspect(dialog, [&](QDialog* window) {
        QCOMPARE(window->windowTitle(), caption);
        QCOMPARE(window->size(), clientSize);
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(window->parentWidget(), nullptr);
    });
}

void TestDialogs::controls_data() {
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<qreal>("pointSize");

    const QString com = QStringLiteral("frmComPort");
    const QString frame1 = QStringLiteral("Frame1");
    const qreal large = formControlPointSize;
    QTest::newRow("COM OK") << com << "cmdOK" << com << "OK" << twipsRect(2040, 240, 972, 492)
                            << large;
    QTest::newRow("COM Cancel") << com << "cmdCancel" << com << "Cancel"
                                << twipsRect(2040, 840, 972, 492) << large;
    QTest::newRow("COM frame") << com << "Frame1" << com << "" << twipsRect(120, 120, 1812, 2532)
                               << large;
    const int optionTops[] = {1680, 120, 480, 840, 1200};
    for (int index = 0; index < frmComPort::optionCount; ++index)
        QTest::addRow("COM option %d", index)
            << com << QStringLiteral("optComPort_%1").arg(index) << frame1
            << (index == 0 ? QStringLiteral("&Other") : QStringLiteral("COM &%1").arg(index))
            << twipsRect(120, optionTops[index], 1212, 372) << large;
    QTest::newRow("COM list") << com << "cboComPort" << frame1 << ""
                              << twipsRect(360, 2040, 1212, 336) << large;

    const QString macro = QStringLiteral("frmExcelMacro");
    const QString frame = QStringLiteral("fraExcelMacro");
    const qreal small = formDefaultPointSize;
    QTest::newRow("macro frame") << macro << "fraExcelMacro" << macro << ""
                                 << twipsRect(120, 120, 4335, 855) << small;
    QTest::newRow("macro check box")
        << macro << "chkExcelMacro" << frame
        << "&Run Excel Macro:" << twipsRect(240, 240, 1695, 375) << small;
    QTest::newRow("macro text box")
        << macro << "txtExcelMacro" << frame << "" << twipsRect(1920, 240, 2295, 375) << small;
    QTest::newRow("macro Cancel") << macro << "cmdCancel" << macro << "Cancel"
                                  << twipsRect(2520, 1080, 972, 492) << large;
    QTest::newRow("macro OK") << macro << "cmdOK" << macro << "OK"
                              << twipsRect(1320, 1080, 972, 492) << large;

    const QString about = QStringLiteral("frmAbout");
    QTest::newRow("About OK") << about << "cmdOK" << about << "OK"
                              << twipsRect(1440, 1800, 1215, 495) << small;
    QTest::newRow("About title") << about << "lblTitle" << about << "Celvane"
                                 << twipsRect(1080, 120, 1935, 1095) << 12.0;
    QTest::newRow("About version")
        << about << "lblVersion" << about << "Version" << twipsRect(840, 1320, 2415, 375) << small;
}

void TestDialogs::controls() {
    QFETCH(QString, dialog);
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, place);
    QFETCH(qreal, pointSize);

    inspect(dialog, [&](QDialog* window) {
        auto* control = window->findChild<QWidget*>(name);
        QVERIFY(control != nullptr);
        QCOMPARE(control->parentWidget()->objectName(), container);
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            QCOMPARE(button->text(), caption);
        if (auto* label = qobject_cast<QLabel*>(control))
            QVERIFY(label->text().startsWith(caption));
        QCOMPARE(control->geometry(), place);
        QCOMPARE(control->font().pointSizeF(), pointSize);
    });
}

// ---- COM port selection ----------------------------------------------------------------------

void TestDialogs::comPortList() {
    QStringList entries;
    bool editable = true;
    inspect(QStringLiteral("frmComPort"), [&](QDialog* dialog) {
        auto* list = dialog->findChild<QComboBox*>(QStringLiteral("cboComPort"));
        editable = list->isEditable();
        for (int i = 0; i < list->count(); ++i)
            entries << list->itemText(i);
    });
    QVERIFY(!editable);
    QStringList expected;
    for (int port = 5; port <= 16; ++port)
        expected << QStringLiteral("COM %1").arg(port);
    QCOMPARE(entries, expected);
}

void TestDialogs::comPortPreselects_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("option");
    QTest::addColumn<bool>("listEnabled");
    QTest::addColumn<QString>("listShows");

    for (int port = 1; port <= 4; ++port)
        QTest::addRow("COM %d", port) << port << port << false << "COM 5";
    for (int port = 5; port <= 16; ++port)
        QTest::addRow("COM %d", port) << port << 0 << true << QStringLiteral("COM %1").arg(port);
}

// Whatever port comes in is set, and Enter hands it back unchanged.
void TestDialogs::comPortPreselects() {
    QFETCH(int, port);
    QFETCH(int, option);
    QFETCH(bool, listEnabled);
    QFETCH(QString, listShows);

    int shownOption = -2;
    bool shownEnabled = !listEnabled;
    QString shownText;
    ModalAnswer answer([&](QDialog* dialog) {
        shownOption = setOption(dialog);
        auto* list = dialog->findChild<QComboBox*>(QStringLiteral("cboComPort"));
        shownEnabled = list->isEnabled();
        shownText = list->currentText();
        play(dialog, steps("enter"));
    });
    const int result = frmComPort::GetPort(static_cast<quint8>(port));

    QVERIFY(answer.reached());
    QVERIFY(answer.closedByUser());
    QCOMPARE(shownOption, option);
    QCOMPARE(shownEnabled, listEnabled);
    QCOMPARE(shownText, listShows);
    QCOMPARE(result, port);
}

void TestDialogs::comPortAnswers_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<int>("expected");

    QTest::newRow("3, Enter") << 3 << steps("enter") << 3;
    QTest::newRow("9, OK") << 9 << steps("click:cmdOK") << 9;
    QTest::newRow("2, Other, COM 12, OK")
        << 2 << steps("click:optComPort_0 key:Tab key:Down*7 click:cmdOK") << 12;
    QTest::newRow("2, Other, COM 12, Cancel")
        << 2 << steps("click:optComPort_0 key:Tab key:Down*7 click:cmdCancel") << 2;
    QTest::newRow("2, Other, COM 12, Esc")
        << 2 << steps("click:optComPort_0 key:Tab key:Down*7 esc") << 2;
    QTest::newRow("2, Other, COM 12, close box")
        << 2 << steps("click:optComPort_0 key:Tab key:Down*7 closebox") << 2;
    QTest::newRow("14, COM 1, OK") << 14 << steps("click:optComPort_1 click:cmdOK") << 1;
    QTest::newRow("2, Other untouched, OK") << 2 << steps("click:optComPort_0 click:cmdOK") << 5;
    QTest::newRow("1, Alt+4, Enter") << 1 << steps("alt:4 enter") << 4;
    QTest::newRow("16, Alt+2, Enter") << 16 << steps("alt:2 enter") << 2;
    QTest::newRow("3, Alt+O, Enter") << 3 << steps("alt:O enter") << 5;
    QTest::newRow("5, list up to COM 8 and back to COM 6, OK")
        << 5 << steps("click:optComPort_0 key:Tab key:Down*3 key:Up*2 click:cmdOK") << 6;
    QTest::newRow("7, COM 3, Other again, OK")
        << 7 << steps("click:optComPort_3 click:optComPort_0 click:cmdOK") << 7;
}

void TestDialogs::comPortAnswers() {
    QFETCH(int, port);
    QFETCH(QStringList, actions);
    QFETCH(int, expected);

    ModalAnswer answer([&](QDialog* dialog) { play(dialog, actions); });
    const int result = frmComPort::GetPort(static_cast<quint8>(port));

    QVERIFY(answer.reached());
    QVERIFY(answer.closedByUser());
    QCOMPARE(result, expected);
    QVERIFY(!anyComPortDialog());
}

void TestDialogs::comPortOutOfRange_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<int>("expected");

    for (int port : {0, 17, 200, 255}) {
        QTest::addRow("%d, OK with nothing set", port) << port << steps("click:cmdOK") << port;
        QTest::addRow("%d, Other without an entry, OK", port)
            << port << steps("click:optComPort_0 click:cmdOK") << port;
        QTest::addRow("%d, COM 2, OK", port)
            << port << steps("click:optComPort_2 click:cmdOK") << 2;
        QTest::addRow("%d, Other, COM 7 picked, OK", port)
            << port << steps("click:optComPort_0 key:Tab key:Down*3 click:cmdOK") << 7;
        QTest::addRow("%d, COM 4, Cancel", port)
            << port << steps("click:optComPort_4 click:cmdCancel") << port;
    }
}

// A saved port outside 1 to 16 leaves everything cleared; whatever is not a usable choice
// keeps the port that came in.
void TestDialogs::comPortOutOfRange() {
    QFETCH(int, port);
    QFETCH(QStringList, actions);
    QFETCH(int, expected);

    int shownOption = -2;
    bool listEnabled = true;
    int listPosition = 0;
    ModalAnswer answer([&](QDialog* dialog) {
        shownOption = setOption(dialog);
        auto* list = dialog->findChild<QComboBox*>(QStringLiteral("cboComPort"));
        listEnabled = list->isEnabled();
        listPosition = list->currentIndex();
        play(dialog, actions);
    });
    const int result = frmComPort::GetPort(static_cast<quint8>(port));

    QVERIFY(answer.reached());
    QVERIFY(answer.closedByUser());
    QCOMPARE(shownOption, -1);
    QVERIFY(!listEnabled);
    QCOMPARE(listPosition, -1);
    QCOMPARE(result, expected);
}

// The close box is refused: the dialog only hides, counts as cancelled, and is destroyed by
// GetPort afterwards.
void TestDialogs::comPortCloseBoxIsCancel() {
    QPointer<QDialog> seen;
    bool closeAccepted = true;
    bool stillThere = false;
    bool hidden = false;
    ModalAnswer answer([&](QDialog* dialog) {
        seen = dialog;
        play(dialog, steps("click:optComPort_4"));
        closeAccepted = pressCloseBox(dialog);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        stillThere = !seen.isNull();
        hidden = stillThere && dialog->isHidden();
    });
    const int result = frmComPort::GetPort(2);

    QVERIFY(answer.reached());
    QVERIFY(!closeAccepted);
    QVERIFY(stillThere);
    QVERIFY(hidden);
    QCOMPARE(result, 2);
    QVERIFY(seen.isNull());
    QVERIFY(!anyComPortDialog());
}

// Nothing of one call's choice reaches the next: each call builds the dialog anew.
void TestDialogs::comPortStartsAfreshEachCall() {
    ModalAnswer first([](QDialog* dialog) {
        play(dialog, steps("click:optComPort_0 key:Tab key:Down*10 click:cmdOK"));
    });
    QCOMPARE(frmComPort::GetPort(0), 14);
    QVERIFY(first.closedByUser());

    int shownOption = -2;
    int listPosition = 0;
    ModalAnswer second([&](QDialog* dialog) {
        shownOption = setOption(dialog);
        listPosition = dialog->findChild<QComboBox*>(QStringLiteral("cboComPort"))->currentIndex();
        play(dialog, steps("click:cmdOK"));
    });
    QCOMPARE(frmComPort::GetPort(0), 0);
    QVERIFY(second.reached());
    QCOMPARE(shownOption, -1);
    QCOMPARE(listPosition, -1);
}

void TestDialogs::comPortTabOrder() {
    QStringList order;
    ModalAnswer answer([&](QDialog* dialog) {
        auto* start = dialog->findChild<QWidget*>(QStringLiteral("cmdOK"));
        QWidget* widget = start;
        do {
            if (widget->focusPolicy() & Qt::TabFocus)
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != start);
        play(dialog, steps("esc"));
    });
    frmComPort::GetPort(5);

    QVERIFY(answer.reached());
    QCOMPARE(order, QStringList({"cmdOK", "cmdCancel", "optComPort_1", "optComPort_2",
                                 "optComPort_3", "optComPort_4", "optComPort_0", "cboComPort"}));
}

void TestDialogs::whichOptionButton_data() {
    // A window with option buttons of its own, two frames with option buttons, and a frame
    // nested in the first frame: each container has its own group of buttons.
    QTest::addColumn<QString>("container");
    QTest::addColumn<QStringList>("setButtons");
    QTest::addColumn<QString>("expected");

    QTest::newRow("frame, second set") << "frameA" << QStringList{"a2"} << "a2";
    QTest::newRow("frame, none set") << "frameA" << QStringList{} << "";
    QTest::newRow("frame, only another frame's set") << "frameA" << QStringList{"b1"} << "";
    QTest::newRow("frame, only the nested frame's set") << "frameA" << QStringList{"n1"} << "";
    QTest::newRow("nested frame") << "nested" << QStringList{"a1", "n1"} << "n1";
    QTest::newRow("other frame") << "frameB" << QStringList{"a1", "b2"} << "b2";
    QTest::newRow("window itself") << "window" << QStringList{"a1", "w2"} << "w2";
    QTest::newRow("window, only frames' set") << "window" << QStringList{"a1", "b1"} << "";
}

void TestDialogs::whichOptionButton() {
    QFETCH(QString, container);
    QFETCH(QStringList, setButtons);
    QFETCH(QString, expected);

    QWidget window;
    window.setObjectName(QStringLiteral("window"));
    auto* layout = new QVBoxLayout(&window);
    auto addButtons = [](QWidget* parent, QLayout* into, const QStringList& names) {
        for (const QString& name : names) {
            auto* button = new QRadioButton(name, parent);
            button->setObjectName(name);
            into->addWidget(button);
        }
    };
    addButtons(&window, layout, {"w1", "w2"});
    auto* frameA = new QFrame(&window);
    frameA->setObjectName(QStringLiteral("frameA"));
    auto* layoutA = new QVBoxLayout(frameA);
    addButtons(frameA, layoutA, {"a1", "a2"});
    auto* nested = new QFrame(frameA);
    nested->setObjectName(QStringLiteral("nested"));
    auto* layoutN = new QVBoxLayout(nested);
    addButtons(nested, layoutN, {"n1", "n2"});
    layoutA->addWidget(nested);
    layout->addWidget(frameA);
    auto* frameB = new QFrame(&window);
    frameB->setObjectName(QStringLiteral("frameB"));
    auto* layoutB = new QVBoxLayout(frameB);
    addButtons(frameB, layoutB, {"b1", "b2"});
    layout->addWidget(frameB);

    for (const QString& name : setButtons)
        window.findChild<QRadioButton*>(name)->setChecked(true);
    QWidget* searched =
        container == window.objectName() ? &window : window.findChild<QWidget*>(container);

    QRadioButton* found = frmComPort::WhichOptionButton(searched);
    QCOMPARE(found != nullptr ? found->objectName() : QString(), expected);
}

// ---- Excel macro configuration ---------------------------------------------------------------

void TestDialogs::macroOpensWithValues_data() {
    QTest::addColumn<bool>("enable");
    QTest::addColumn<QString>("name");

    QTest::newRow("off, with a name") << false << "Personal.xls!Tidy";
    QTest::newRow("on, with a name") << true << "FormatSheet";
    QTest::newRow("off, empty") << false << "";
    QTest::newRow("on, empty") << true << "";
}

// The caller's values show as they are: switched off, the name sits in the disabled box in the
// frame's colour; switched on, in a white box open for typing.
void TestDialogs::macroOpensWithValues() {
    QFETCH(bool, enable);
    QFETCH(QString, name);

    frmExcelMacro macro;
    macro.setMacroEnable(enable);
    macro.setMacroName(name);

    bool checked = !enable;
    QString text;
    bool textEnabled = !enable;
    QColor background;
    QColor frameColour;
    ModalAnswer answer([&](QDialog* dialog) {
        checked = dialog->findChild<QCheckBox*>(QStringLiteral("chkExcelMacro"))->isChecked();
        auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("txtExcelMacro"));
        text = box->text();
        textEnabled = box->isEnabled();
        background = textBoxBackground(dialog);
        frameColour = frameBackground(dialog);
        play(dialog, steps("esc"));
    });
    QVERIFY(!macro.ShowForm());

    QVERIFY(answer.reached());
    QCOMPARE(checked, enable);
    QCOMPARE(text, name);
    QCOMPARE(textEnabled, enable);
    QCOMPARE(background, enable ? QColor(Qt::white) : frameColour);
    QVERIFY(frameColour != QColor(Qt::white));
}

void TestDialogs::macroCheckBoxSwitchesTextBox() {
    frmExcelMacro macro;
    macro.setMacroEnable(false);
    macro.setMacroName(QStringLiteral("Keep"));

    QList<bool> enabledAfterClicks;
    QList<QColor> coloursAfterClicks;
    QColor frameColour;
    QString text;
    ModalAnswer answer([&](QDialog* dialog) {
        auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("txtExcelMacro"));
        frameColour = frameBackground(dialog);
        for (const char* step : {"click:chkExcelMacro", "click:chkExcelMacro", "alt:R", "alt:R"}) {
            play(dialog, steps(step));
            enabledAfterClicks << box->isEnabled();
            coloursAfterClicks << textBoxBackground(dialog);
        }
        text = box->text();
        play(dialog, steps("click:cmdCancel"));
    });
    macro.ShowForm();

    QVERIFY(answer.reached());
    QCOMPARE(enabledAfterClicks, QList<bool>({true, false, true, false}));
    QCOMPARE(coloursAfterClicks,
             QList<QColor>({QColor(Qt::white), frameColour, QColor(Qt::white), frameColour}));
    QCOMPARE(text, QStringLiteral("Keep"));
}

void TestDialogs::macroRoundTrip_data() {
    QTest::addColumn<bool>("enable");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<bool>("enableAfter");
    QTest::addColumn<QString>("nameAfter");

    QTest::newRow("check, type, Enter")
        << false << "" << steps("click:chkExcelMacro key:Tab type:Tidy enter") << true << true
        << "Tidy";
    QTest::newRow("check with Alt+R, type a workbook's macro, OK")
        << false << "Old" << steps("alt:R key:Tab type:Personal.xls!Tidy click:cmdOK") << true
        << true << "Personal.xls!Tidy";
    QTest::newRow("uncheck, OK") << true << "Tidy" << steps("click:chkExcelMacro click:cmdOK")
                                 << true << false << "Tidy";
    QTest::newRow("checked, empty name, OK")
        << true << "" << steps("click:cmdOK") << true << true << "";
    QTest::newRow("nothing changed, Enter")
        << false << "Name" << steps("enter") << true << false << "Name";
    QTest::newRow("changes, Cancel")
        << false << "Old" << steps("click:chkExcelMacro key:Tab type:New click:cmdCancel") << false
        << false << "Old";
    QTest::newRow("changes, Esc") << true << "Old" << steps("click:chkExcelMacro esc") << false
                                  << true << "Old";
    QTest::newRow("changes, close box")
        << true << "Old" << steps("key:Tab type:New closebox") << false << true << "Old";
}

// The main window's side: values in, ShowForm, values back only after OK.
void TestDialogs::macroRoundTrip() {
    QFETCH(bool, enable);
    QFETCH(QString, name);
    QFETCH(QStringList, actions);
    QFETCH(bool, confirmed);
    QFETCH(bool, enableAfter);
    QFETCH(QString, nameAfter);

    bool macroEnabled = enable;
    QString macroName = name;

    frmExcelMacro macro;
    macro.setMacroEnable(macroEnabled);
    macro.setMacroName(macroName);
    ModalAnswer answer([&](QDialog* dialog) { play(dialog, actions); });
    const bool result = macro.ShowForm();
    if (result) {
        macroEnabled = macro.MacroEnable();
        macroName = macro.MacroName();
    }

    QVERIFY(answer.reached());
    QVERIFY(answer.closedByUser());
    QCOMPARE(result, confirmed);
    QCOMPARE(macroEnabled, enableAfter);
    QCOMPARE(macroName, nameAfter);
    QVERIFY(macro.isHidden());
}

void TestDialogs::macroCancelledEditsDoNotReturn_data() {
    QTest::addColumn<QString>("cancelStep");

    QTest::newRow("Cancel") << "click:cmdCancel";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("close box") << "closebox";
}

// The dialog is kept between uses; edits made before a cancel stay in its hidden controls, but
// the next opening shows the caller's values again.
void TestDialogs::macroCancelledEditsDoNotReturn() {
    QFETCH(QString, cancelStep);

    const bool macroEnabled = false;
    const QString macroName = QStringLiteral("Saved");

    auto* macro = new frmExcelMacro;
    QPointer<frmExcelMacro> alive(macro);
    macro->setMacroEnable(macroEnabled);
    macro->setMacroName(macroName);
    ModalAnswer edit([&](QDialog* dialog) {
        play(dialog, steps("click:chkExcelMacro key:Tab type:Edited"));
        play(dialog, {cancelStep});
    });
    QVERIFY(!macro->ShowForm());
    QVERIFY(edit.closedByUser());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!alive.isNull());
    QVERIFY(macro->isHidden());

    macro->setMacroEnable(macroEnabled);
    macro->setMacroName(macroName);
    bool checked = true;
    QString text;
    bool textEnabled = true;
    ModalAnswer look([&](QDialog* dialog) {
        checked = dialog->findChild<QCheckBox*>(QStringLiteral("chkExcelMacro"))->isChecked();
        auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("txtExcelMacro"));
        text = box->text();
        textEnabled = box->isEnabled();
        play(dialog, steps("click:cmdOK"));
    });
    QVERIFY(macro->ShowForm());

    QVERIFY(look.reached());
    QVERIFY(!checked);
    QCOMPARE(text, macroName);
    QVERIFY(!textEnabled);
    delete macro;
}

// ---- About box -------------------------------------------------------------------------------

// The same content each time: the bordered title and the version, written anew on showing.
void TestDialogs::aboutTwice() {
    frmAbout about;
    QVERIFY(about.findChild<QPushButton*>(QStringLiteral("cmdOK"))->isDefault());
    auto* title = about.findChild<QLabel*>(QStringLiteral("lblTitle"));
    QVERIFY(title->font().bold());
    QCOMPARE(title->frameShape(), QFrame::Box);
    QCOMPARE(title->alignment(), Qt::AlignCenter);
    auto* version = about.findChild<QLabel*>(QStringLiteral("lblVersion"));
    QCOMPARE(version->alignment(), Qt::AlignCenter);

    const QString expected = QStringLiteral("Version ") + QLatin1String(Version::text);
    for (int round = 0; round < 2; ++round) {
        version->setText(QStringLiteral("stale"));
        QString shownTitle;
        QString shownVersion;
        ModalAnswer answer([&](QDialog* dialog) {
            shownTitle = title->text();
            shownVersion = version->text();
            play(dialog, steps("click:cmdOK"));
        });
        about.ShowForm();
        QVERIFY(answer.reached());
        QVERIFY(answer.closedByUser());
        QCOMPARE(shownTitle, QStringLiteral("Celvane"));
        QCOMPARE(shownVersion, expected);
    }
}

// The window manager's activation, not only the showing, writes the version anew.
void TestDialogs::aboutActivationWritesVersion() {
    OtherWindow main;
    frmAbout about;
    about.show();
    auto* version = about.findChild<QLabel*>(QStringLiteral("lblVersion"));
    QApplication::setActiveWindow(&main.window);
    QTRY_VERIFY(main.window.isActiveWindow());
    version->setText(QStringLiteral("stale"));

    QApplication::setActiveWindow(&about);
    QTRY_VERIFY(about.isActiveWindow());
    QCOMPARE(version->text(), QStringLiteral("Version ") + QLatin1String(Version::text));

    version->setText(QStringLiteral("stale"));
    QApplication::setActiveWindow(&main.window);
    QTRY_VERIFY(main.window.isActiveWindow());
    QCOMPARE(version->text(), QStringLiteral("stale"));
    about.hide();
}

void TestDialogs::aboutCloses_data() {
    QTest::addColumn<QString>("closeStep");

    QTest::newRow("OK") << "click:cmdOK";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("close box") << "closebox";
}

// Each way only hides the box; while it is up the other window takes no input, afterwards it
// does again.
void TestDialogs::aboutCloses() {
    QFETCH(QString, closeStep);

    OtherWindow main;
    QVERIFY(QTest::qWaitForWindowExposed(&main.window));
    auto* about = new frmAbout;
    QPointer<frmAbout> alive(about);

    int clicksWhileOpen = -1;
    ModalAnswer answer([&](QDialog* dialog) {
        main.click();
        clicksWhileOpen = main.clicks.count();
        play(dialog, {closeStep});
    });
    about->ShowForm();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(answer.reached());
    QVERIFY(answer.closedByUser());
    QCOMPARE(clicksWhileOpen, 0);
    QVERIFY(!alive.isNull());
    QVERIFY(about->isHidden());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    main.click();
    QCOMPARE(main.clicks.count(), 1);
    delete about;
}

void TestDialogs::aboutIcon() {
    frmAbout about;
    const QIcon icon = about.programIcon();
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    QCOMPARE(about.windowIcon().cacheKey(), icon.cacheKey());

    const QImage image = icon.pixmap(32, 32).toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() > 2);
    QVERIFY(colours.size() <= 16);

    auto* picture = about.findChild<QLabel*>(QStringLiteral("imgIcon"));
    QVERIFY(picture != nullptr);
    QCOMPARE(picture->pixmap().toImage(), image);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
