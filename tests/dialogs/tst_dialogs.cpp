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
#include <QWindow>
#include <QtTest>

namespace {

// Plays what the user does in a dialog, one step a string: "alt:R" (Alt and a letter),
// "key:Tab" or "key:Down*7" (keys pressed in the focused control), "type:text" (typed into the
// focused control), "click:name" (a mouse click on the named control), "enter", "esc" and
// "closebox" (the window's close box).
void play(QDialog* dialog, const QStringList& steps) {
    for (const QString& step : steps) {
        QWidget* focused = QApplication::focusWidget();
        QWidget* target = focused != nullptr && focused->window() == dialog ? focused : dialog;
        const QString argument = step.section(QLatin1Char(':'), 1);
        if (step.startsWith(QLatin1String("alt:"))) {
            // A mnemonic presses its control briefly, as a click does.
            QTest::keyClick(dialog, argument.at(0).toLatin1(), Qt::AltModifier);
            const QList<QAbstractButton*> buttons = dialog->findChildren<QAbstractButton*>();
            QTRY_VERIFY(std::none_of(buttons.cbegin(), buttons.cend(),
                                     [](QAbstractButton* button) { return button->isDown(); }));
        } else if (step.startsWith(QLatin1String("key:"))) {
            const QString name = argument.section(QLatin1Char('*'), 0, 0);
            const Qt::Key key = name == QLatin1String("Tab") ? Qt::Key_Tab : Qt::Key_Down;
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
            // The window system's close request, as it comes from the user.
            QCloseEvent event;
            QSpontaneKeyEvent::setSpontaneous(&event);
            QCoreApplication::sendEvent(dialog->windowHandle(), &event);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }
}

QStringList steps(const QString& text) {
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The option index that is set in the COM port dialog, -1 when none is.
int setOption(QDialog* dialog) {
    const QList<QRadioButton*> options = dialog->findChildren<QRadioButton*>();
    auto set =
        std::find_if(options.cbegin(), options.cend(), std::mem_fn(&QRadioButton::isChecked));
    return set == options.cend() ? -1 : (*set)->objectName().section(QLatin1Char('_'), 1).toInt();
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void windows_data();
    void windows();

    void comPort_data();
    void comPort();
    void whichOptionButton_data();
    void whichOptionButton();

    void macroRoundTrip_data();
    void macroRoundTrip();

    void aboutTwice_data();
    void aboutTwice();
    void aboutIcon();
};

void TestDialogs::windows_data() {
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("clientSize");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<qreal>("pointSize");

    QTest::newRow("COM port") << "frmComPort"
                              << "COM Port Selection" << twipsSize(3150, 2850) << "cboComPort"
                              << twipsRect(360, 2040, 1212, 336) << formControlPointSize;
    QTest::newRow("macro") << "frmExcelMacro"
                           << "Excel Configuration" << twipsSize(4650, 1725) << "txtExcelMacro"
                           << twipsRect(1920, 240, 2295, 375) << formDefaultPointSize;
    QTest::newRow("About") << "frmAbout"
                           << "About" << twipsSize(3705, 2340) << "lblTitle"
                           << twipsRect(1080, 120, 1935, 1095) << 12.0;
}

// Fixed border, a close box but no minimise or maximise box, no owner window; one control each
// in its place and face.
void TestDialogs::windows() {
    QFETCH(QString, dialog);
    QFETCH(QString, caption);
    QFETCH(QSize, clientSize);
    QFETCH(QString, control);
    QFETCH(QRect, place);
    QFETCH(qreal, pointSize);

    auto look = [&](QDialog* window) {
        QCOMPARE(window->windowTitle(), caption);
        QCOMPARE(window->size(), clientSize);
        QCOMPARE(window->minimumSize(), window->maximumSize());
        const Qt::WindowFlags boxes =
            Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
        QCOMPARE(window->windowFlags() & boxes, Qt::WindowCloseButtonHint);
        QCOMPARE(window->parentWidget(), nullptr);
        auto* widget = window->findChild<QWidget*>(control);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->geometry(), place);
        QCOMPARE(widget->font().pointSizeF(), pointSize);
    };
    if (dialog == QLatin1String("frmComPort")) {
        // The COM port dialog exists only inside a GetPort call.
        ModalAnswer answer([&](QDialog* window) {
            look(window);
            play(window, steps("esc"));
        });
        frmComPort::GetPort(1);
        QVERIFY(answer.reached());
    } else if (dialog == QLatin1String("frmExcelMacro")) {
        frmExcelMacro macro;
        look(&macro);
    } else {
        frmAbout about;
        look(&about);
    }
}

void TestDialogs::comPort_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("actions");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("shownOption");

    // Other, then COM 12 picked from the list.
    const QString other12 = QStringLiteral("click:optComPort_0 key:Tab key:Down*7 ");
    QTest::newRow("3, Enter") << 3 << "enter" << 3 << 3;
    QTest::newRow("9, OK") << 9 << "click:cmdOK" << 9 << 0;
    QTest::newRow("2, COM 12, OK") << 2 << other12 + "click:cmdOK" << 12 << 2;
    QTest::newRow("2, COM 12, Cancel") << 2 << other12 + "click:cmdCancel" << 2 << 2;
    QTest::newRow("2, COM 12, Esc") << 2 << other12 + "esc" << 2 << 2;
    QTest::newRow("2, COM 12, close box") << 2 << other12 + "closebox" << 2 << 2;
    QTest::newRow("14, COM 1, OK") << 14 << "click:optComPort_1 click:cmdOK" << 1 << 0;
    QTest::newRow("2, Other untouched, OK") << 2 << "click:optComPort_0 click:cmdOK" << 5 << 2;

    // A port outside 1 to 16 leaves everything cleared; what is not a usable choice keeps it.
    QTest::newRow("0, OK with nothing set") << 0 << "click:cmdOK" << 0 << -1;
    QTest::newRow("17, Other, no entry, OK") << 17 << "click:optComPort_0 click:cmdOK" << 17 << -1;
    QTest::newRow("200, Other, COM 7, OK")
        << 200 << "click:optComPort_0 key:Tab key:Down*3 click:cmdOK" << 7 << -1;
    QTest::newRow("255, COM 4, Cancel") << 255 << "click:optComPort_4 click:cmdCancel" << 255 << -1;
}

// The port comes in preselected, the list open only for "Other"; the answer comes back and the
// dialog is gone once GetPort returns.
void TestDialogs::comPort() {
    QFETCH(int, port);
    QFETCH(QString, actions);
    QFETCH(int, expected);
    QFETCH(int, shownOption);

    int option = -2;
    bool enabled = false;
    ModalAnswer answer([&](QDialog* dialog) {
        option = setOption(dialog);
        enabled = dialog->findChild<QComboBox*>(QStringLiteral("cboComPort"))->isEnabled();
        play(dialog, steps(actions));
    });
    const int result = frmComPort::GetPort(static_cast<quint8>(port));

    QVERIFY(answer.reached());
    QVERIFY(answer.closedByUser());
    QCOMPARE(option, shownOption);
    QCOMPARE(enabled, shownOption == 0);
    QCOMPARE(result, expected);
    const QWidgetList windows = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(windows.cbegin(), windows.cend(),
                         [](QWidget* window) { return qobject_cast<frmComPort*>(window); }));
}

void TestDialogs::whichOptionButton_data() {
    // A window with option buttons of its own, a frame with option buttons and a frame nested
    // in it: each container has its own group of buttons.
    QTest::addColumn<QString>("container");
    QTest::addColumn<QStringList>("setButtons");
    QTest::addColumn<QString>("expected");

    QTest::newRow("frame") << "frame" << QStringList{"a2"} << "a2";
    QTest::newRow("frame, none set") << "frame" << QStringList{} << "";
    QTest::newRow("frame, only the nested frame's set") << "frame" << QStringList{"n1"} << "";
    QTest::newRow("nested frame") << "nested" << QStringList{"a1", "n1"} << "n1";
    QTest::newRow("window itself") << "window" << QStringList{"a1", "w2"} << "w2";
    QTest::newRow("window, only the frame's set") << "window" << QStringList{"a1"} << "";
}

void TestDialogs::whichOptionButton() {
    QFETCH(QString, container);
    QFETCH(QStringList, setButtons);
    QFETCH(QString, expected);

    QWidget window;
    auto* frame = new QFrame(&window);
    auto* nested = new QFrame(frame);
    const std::pair<QWidget*, QStringList> groups[] = {
        {&window, {"w1", "w2"}}, {frame, {"a1", "a2"}}, {nested, {"n1", "n2"}}};
    for (const auto& [parent, names] : groups) {
        for (const QString& name : names)
            (new QRadioButton(name, parent))->setObjectName(name);
    }

    for (const QString& name : setButtons)
        window.findChild<QRadioButton*>(name)->setChecked(true);
    QWidget* searched = container == QLatin1String("window")  ? &window
                        : container == QLatin1String("frame") ? frame
                                                              : nested;
    QRadioButton* found = frmComPort::WhichOptionButton(searched);
    QCOMPARE(found != nullptr ? found->objectName() : QString(), expected);
}

void TestDialogs::macroRoundTrip_data() {
    QTest::addColumn<bool>("enable");
    QTest::addColumn<QString>("actions");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<bool>("enableAfter");
    QTest::addColumn<QString>("nameAfter");

    QTest::newRow("check, type, Enter")
        << false << "click:chkExcelMacro key:Tab type:Tidy enter" << true << true << "Tidy";
    QTest::newRow("check with Alt+R, type a workbook's macro, OK")
        << false << "alt:R key:Tab type:Personal.xls!Tidy click:cmdOK" << true << true
        << "Personal.xls!Tidy";
    QTest::newRow("uncheck, OK") << true << "click:chkExcelMacro click:cmdOK" << true << false
                                 << "Old";
    QTest::newRow("changes, Cancel")
        << false << "click:chkExcelMacro key:Tab type:New click:cmdCancel" << false << false
        << "Old";
    QTest::newRow("changes, Esc") << true << "key:Tab type:New esc" << false << true << "Old";
    QTest::newRow("changes, close box")
        << true << "click:chkExcelMacro closebox" << false << true << "Old";
}

// The main window's side: values in, ShowForm, values back only after OK. The dialog is kept
// between uses, hidden; the next use shows the caller's values, not edits that were cancelled.
// Switched off, the name sits in the disabled box in the frame's colour; switched on, in a
// white box open for typing.
void TestDialogs::macroRoundTrip() {
    QFETCH(bool, enable);
    QFETCH(QString, actions);
    QFETCH(bool, confirmed);
    QFETCH(bool, enableAfter);
    QFETCH(QString, nameAfter);

    bool macroEnabled = enable;
    QString macroName = QStringLiteral("Old");
    QPointer<frmExcelMacro> macro = new frmExcelMacro;
    const auto cleanup = qScopeGuard([&] { delete macro; });
    for (int use = 0; use < 2; ++use) {
        macro->setMacroEnable(macroEnabled);
        macro->setMacroName(macroName);
        ModalAnswer answer([&](QDialog* dialog) {
            auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("txtExcelMacro"));
            auto* frame = dialog->findChild<QGroupBox*>(QStringLiteral("fraExcelMacro"));
            QCOMPARE(dialog->findChild<QCheckBox*>(QStringLiteral("chkExcelMacro"))->isChecked(),
                     macroEnabled);
            QCOMPARE(box->text(), macroName);
            QCOMPARE(box->isEnabled(), macroEnabled);
            QCOMPARE(box->palette().color(QPalette::Base),
                     macroEnabled ? QColor(Qt::white)
                                  : frame->palette().color(frame->backgroundRole()));
            play(dialog, steps(use == 0 ? actions : QStringLiteral("click:cmdOK")));
        });
        const bool result = macro->ShowForm();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QVERIFY(answer.reached());
        QVERIFY(answer.closedByUser());
        QCOMPARE(result, use == 0 ? confirmed : true);
        QVERIFY(!macro.isNull());
        QVERIFY(macro->isHidden());
        if (result) {
            macroEnabled = macro->MacroEnable();
            macroName = macro->MacroName();
        }
        QCOMPARE(macroEnabled, enableAfter);
        QCOMPARE(macroName, nameAfter);
    }
}

void TestDialogs::aboutTwice_data() {
    QTest::addColumn<QString>("closeStep");

    QTest::newRow("OK") << "click:cmdOK";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("close box") << "closebox";
}

// The same box shown twice, the version written anew each time; each way of closing it only
// hides it.
void TestDialogs::aboutTwice() {
    QFETCH(QString, closeStep);

    QPointer<frmAbout> about = new frmAbout;
    const auto cleanup = qScopeGuard([&] { delete about; });
    auto* version = about->findChild<QLabel*>(QStringLiteral("lblVersion"));
    for (int round = 0; round < 2; ++round) {
        version->setText(QStringLiteral("stale"));
        ModalAnswer answer([&](QDialog* dialog) {
            QCOMPARE(version->text(), QStringLiteral("Version ") + QLatin1String(Version::text));
            play(dialog, {closeStep});
        });
        about->ShowForm();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QVERIFY(answer.reached());
        QVERIFY(answer.closedByUser());
        QVERIFY(!about.isNull());
        QVERIFY(about->isHidden());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
}

// The main window takes the box's icon as its own; the box shows it once more beside the title.
void TestDialogs::aboutIcon() {
    frmAbout about;
    const QIcon icon = about.programIcon();
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    auto* picture = about.findChild<QLabel*>(QStringLiteral("imgIcon"));
    QVERIFY(picture != nullptr);
    QCOMPARE(picture->pixmap().toImage(), icon.pixmap(32, 32).toImage());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
