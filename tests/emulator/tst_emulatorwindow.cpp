#include "clsorva.h"
#include "clsquorilex.h"
#include "fakeserial.h"
#include "fixedclock.h"
#include "frmemulation.h"
#include "memoryspreadsheet.h"
#include "modglobals.h"
#include "orvalines.h"
#include "receivepath.h"
#include "recordingview.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

namespace {

const QString kOrvaLine50 = QStringLiteral("0 0000 :: 12-06-2026 14:05:09 = 50 (RAW)  50 (C)\r\n");
const QString kSample = QStringLiteral("9999\r\n");
const QString kSeparator = QStringLiteral("\r\n\r\n\r\n");

// A control of the window by its object name; a missing control ends the test run with its name.
template <class T> T* control(QObject* window, const char* name) {
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// The program-wide objects the emulator window works with, and the windows opened on them.
struct Rig {
    modGlobals globals;
    FixedClock clock{QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9))};
    clsOrva orva{clock};
    clsQuorilex quorilex{clock};
    std::vector<QPointer<frmEmulation>> windows;

    Rig() {
        orva.reset();
        quorilex.reset();
    }
    ~Rig() {
        for (const QPointer<frmEmulation>& window : windows)
            delete window.data();
    }

    // Opens the window with its timers stopped, so that the test drives every tick itself.
    frmEmulation* open(QWidget* beside = nullptr) {
        auto* window = new frmEmulation(globals, orva, quorilex, beside);
        windows.emplace_back(window);
        control<QTimer>(window, "Timer1")->stop();
        control<QTimer>(window, "Timer2")->stop();
        return window;
    }

    // Opens the window, shows it and makes it the active window, so that focus moves as for a
    // user.
    frmEmulation* openShown() {
        frmEmulation* window = open();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            qFatal("the emulator window did not become active");
        return window;
    }
};

// Answers the message boxes that come up with OK and remembers what they said.
class MessageBoxAnswerer : public QObject {
public:
    MessageBoxAnswerer() {
        connect(&m_poll, &QTimer::timeout, this, &MessageBoxAnswerer::answer);
        m_poll.start(10);
    }
    QStringList seen; // "title|text"

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen << box->windowTitle() + u'|' + box->text();
        box->button(QMessageBox::Ok)->click();
    }
    QTimer m_poll;
};

// A user moves a bar: a press on it gives it the focus, then the thumb is dragged straight to
// the value.
void userDrags(QScrollBar* bar, int value) {
    bar->setFocus(Qt::MouseFocusReason);
    bar->setSliderDown(true);
    bar->setSliderPosition(value);
    bar->setSliderDown(false);
}

QString cellText(const std::optional<CellValue>& cell) {
    if (!cell)
        return QStringLiteral("empty");
    if (const double* number = std::get_if<double>(&*cell))
        return QStringLiteral("number ") + QString::number(*number, 'g', 12);
    return QStringLiteral("text ") + std::get<QString>(*cell);
}

// A receive view that hands the used-up tab injection on to the emulator window, as the main
// window does.
class ForwardingView : public RecordingReceiveView {
public:
    QPointer<frmEmulation> emulator;
    void injectSingleTabUsed() override {
        RecordingReceiveView::injectSingleTabUsed();
        if (emulator)
            emulator->injectSingleTabUsed();
    }
};

} // namespace

class tst_EmulatorWindow : public QObject {
    Q_OBJECT

private slots:
    void loadState();
    void keypadLayout();
    void placedBesideOpener();
    void timersRun();
    void powerUpCountdown();
    void goAndEsc();
    void escDuringPowerUp();
    void integrationCountStopsAtItsRangeEnd();
    void machineChooser_data();
    void machineChooser();
    void typingInChooser();
    void outputReachesEmulatorOutput();
    void injectionFlagRoundTrip();
    void indexBoxCallsModel();
    void eolFrequencyBox_data();
    void eolFrequencyBox();
    void baseLevelBar();
    void closeClearsActive();
    void closedWindowDoesNotClearNewOne();
    void reopenKeepsModelSettings();

    void rangesAfterLoad();
    void masterCollapsesRange();
    void minimumPastMaximum();
    void maintainedWindow();
    void masterToMinimumsOwnValue();
    void masterSetByCodeClearsMaintain();
    void draggingUpdatesContinuously();
    void focusByTabAndClick();
    void temperatureGroup();

    void emulatorOutputLandsInCells();
};

void tst_EmulatorWindow::loadState() {
    Rig rig;
    frmEmulation* window = rig.open();
    QVERIFY(rig.globals.emulatorActive);
    QCOMPARE(window->windowTitle(), QStringLiteral("Emulator"));
    QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(!window->isModal());
    QCOMPARE(window->size(), QSize(547, 426));

    QCOMPARE(control<QLabel>(window, "lblLine1")->text(), QStringLiteral("VELDAN DESIGNS"));
    QCOMPARE(control<QLabel>(window, "lblLine2")->text(), QStringLiteral("300"));

    auto* chooser = control<QComboBox>(window, "cboMachine");
    QVERIFY(chooser->isEditable());
    QCOMPARE(chooser->count(), 4);
    const QStringList machines{"ORVA", "PELMAR", "QUORILEX", "TESSOR"};
    for (int i = 0; i < machines.size(); ++i)
        QCOMPARE(chooser->itemText(i), machines[i]);
    QCOMPARE(chooser->currentText(), QStringLiteral("ORVA"));

    auto* orvaPanel = control<QGroupBox>(window, "famOrva");
    auto* quorilexPanel = control<QGroupBox>(window, "famQuorilex");
    QCOMPARE(orvaPanel->title(), QStringLiteral("ORVA Emulation Control Panel"));
    QCOMPARE(quorilexPanel->title(), QStringLiteral("Quorilex Emulation Control Panel"));
    QVERIFY(!orvaPanel->isHidden());
    QVERIFY(quorilexPanel->isHidden());
    QCOMPARE(quorilexPanel->pos(), orvaPanel->pos());
    QCOMPARE(orvaPanel->geometry(), QRect(280, 64, 257, 313));

    QCOMPARE(control<QLineEdit>(window, "txtIndex")->text(), QStringLiteral("0000"));
    QCOMPARE(control<QLineEdit>(window, "txtEOLFrequency")->text(), QStringLiteral("16"));
    QVERIFY(!control<QCheckBox>(window, "chkInjectTab")->isChecked());
    QCOMPARE(control<QGroupBox>(window, "Frame12")->title(),
             QStringLiteral("Measurement Control "));
    QCOMPARE(control<QGroupBox>(window, "Frame13")->title(),
             QStringLiteral("Temperature Control "));
    QCOMPARE(control<QLabel>(window, "lblNextEmulatorOutput")->text(),
             QStringLiteral("RTF (Next Emulator Output)"));
    QCOMPARE(control<QLabel>(window, "Label1")->text(), QStringLiteral("Machine Emulating:"));
}

void tst_EmulatorWindow::keypadLayout() {
    Rig rig;
    frmEmulation* window = rig.open();
    auto* keypad = control<QFrame>(window, "Frame1");
    const QStringList rows[] = {{"ESC", "7", "8", "9", "HOME"},
                                {"Up", "4", "5", "6", "LR"},
                                {"Dn", "1", "2", "3", "ENT"},
                                {"Del", "Setup", "0", "INJ", "GO"}};
    const QList<QPushButton*> keys = keypad->findChildren<QPushButton*>();
    QCOMPARE(keys.size(), 20);
    QPushButton* origin = control<QPushButton>(window, "Command20");
    for (QPushButton* key : keys) {
        QCOMPARE(key->size(), QSize(41, 41));
        const int column = (key->x() - origin->x()) / 49;
        const int row = (key->y() - origin->y()) / 57;
        QCOMPARE(key->text(), rows[row][column]);
    }
    QCOMPARE(control<QPushButton>(window, "Command20")->text(), QStringLiteral("ESC"));
    QCOMPARE(control<QPushButton>(window, "cmdGO")->text(), QStringLiteral("GO"));

    const std::pair<const char*, const char*> faces[] = {
        {"picGO", "cmdGO"}, {"picUp", "cmdUp"}, {"picDn", "cmdDn"}, {"picLR", "cmdLR"}};
    for (const auto& [pictureName, keyName] : faces) {
        auto* picture = control<QLabel>(window, pictureName);
        auto* key = control<QPushButton>(window, keyName);
        QCOMPARE(picture->size(), QSize(37, 37));
        QCOMPARE(picture->pos(), key->pos() + QPoint(1, 1));
        QVERIFY(!picture->pixmap().isNull());
        // The picture lies over its key.
        QCOMPARE(keypad->childAt(picture->geometry().center()), picture);
    }
}

void tst_EmulatorWindow::placedBesideOpener() {
    Rig rig;
    QWidget main;
    main.setGeometry(100, 80, 300, 200);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    frmEmulation* window = rig.open(&main);
    const QRect opener = main.frameGeometry();
    QCOMPARE(window->pos(), QPoint(opener.x() + opener.width() + 1, opener.y()));
}

void tst_EmulatorWindow::timersRun() {
    Rig rig;
    auto* window = new frmEmulation(rig.globals, rig.orva, rig.quorilex, nullptr);
    rig.windows.emplace_back(window);
    auto* display = control<QTimer>(window, "Timer1");
    auto* output = control<QTimer>(window, "Timer2");
    QVERIFY(display->isActive());
    QCOMPARE(display->interval(), 1000);
    QVERIFY(output->isActive());
    QCOMPARE(output->interval(), 250);
    // The output timer feeds the slot on its own.
    QTRY_COMPARE(rig.globals.emulatorOutput, kOrvaLine50);
}

void tst_EmulatorWindow::powerUpCountdown() {
    Rig rig;
    frmEmulation* window = rig.open();
    auto* line1 = control<QLabel>(window, "lblLine1");
    auto* line2 = control<QLabel>(window, "lblLine2");
    window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("VELDAN DESIGNS"));
    QCOMPARE(line2->text(), QStringLiteral("299"));
    for (int tick = 2; tick <= 299; ++tick)
        window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("VELDAN DESIGNS"));
    QCOMPARE(line2->text(), QStringLiteral("1"));
    window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("0.000"));
    QCOMPARE(line2->text(), QStringLiteral("Rdy"));
    window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("0.000"));
}

void tst_EmulatorWindow::goAndEsc() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* line1 = control<QLabel>(window, "lblLine1");
    auto* line2 = control<QLabel>(window, "lblLine2");
    QTest::mouseClick(control<QPushButton>(window, "cmdGO"), Qt::LeftButton);
    // The state shows at the next refresh.
    QCOMPARE(line1->text(), QStringLiteral("VELDAN DESIGNS"));
    window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("Int: 6000"));
    QCOMPARE(line2->text(), QStringLiteral("<ESC>- Abort"));
    window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("Int: 5999"));
    for (int tick = 0; tick < 6000; ++tick)
        window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("Int: -1"));

    // GO again, through the picture over the key, restarts the count.
    QTest::mouseClick(control<QLabel>(window, "picGO"), Qt::LeftButton);
    window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("Int: 6000"));

    QTest::mouseClick(control<QPushButton>(window, "Command20"), Qt::LeftButton);
    window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("0.000"));
    QCOMPARE(line2->text(), QStringLiteral("Rdy"));

    // The other keys and pictures do nothing.
    for (const char* name : {"cmdDigit7", "cmdHome", "cmdEnt", "cmdSetup", "cmdInj"})
        QTest::mouseClick(control<QPushButton>(window, name), Qt::LeftButton);
    for (const char* name : {"picUp", "picDn", "picLR"})
        QTest::mouseClick(control<QLabel>(window, name), Qt::LeftButton);
    window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("0.000"));
    QCOMPARE(line2->text(), QStringLiteral("Rdy"));
}

void tst_EmulatorWindow::escDuringPowerUp() {
    Rig rig;
    frmEmulation* window = rig.open();
    window->Timer1_Timer();
    control<QPushButton>(window, "Command20")->click();
    window->Timer1_Timer();
    QCOMPARE(control<QLabel>(window, "lblLine1")->text(), QStringLiteral("0.000"));
    QCOMPARE(control<QLabel>(window, "lblLine2")->text(), QStringLiteral("Rdy"));
}

void tst_EmulatorWindow::integrationCountStopsAtItsRangeEnd() {
    Rig rig;
    frmEmulation* window = rig.open();
    auto* line1 = control<QLabel>(window, "lblLine1");
    control<QPushButton>(window, "cmdGO")->click();
    // 6000 down to -32768 is 38769 refreshes.
    for (int tick = 0; tick < 38769; ++tick)
        window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("Int: -32768"));
    window->Timer1_Timer();
    window->Timer1_Timer();
    QCOMPARE(line1->text(), QStringLiteral("Int: -32768"));
}

void tst_EmulatorWindow::machineChooser_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("messages"); // "title|text" of each message box
    QTest::addColumn<bool>("orvaShown");
    const QStringList none;
    const QStringList pelmar{"Celvane|The PELMAR machine is not currently emulated"};
    const QStringList tessor{"Celvane|The TESSOR machine is not currently emulated"};
    QTest::newRow("QUORILEX") << "ORVA"
                              << "QUORILEX" << none << false;
    QTest::newRow("ORVA") << "QUORILEX"
                          << "ORVA" << none << true;
    QTest::newRow("PELMAR over ORVA") << "ORVA"
                                      << "PELMAR" << pelmar << true;
    QTest::newRow("PELMAR over QUORILEX") << "QUORILEX"
                                          << "PELMAR" << pelmar << false;
    QTest::newRow("TESSOR over ORVA") << "ORVA"
                                      << "TESSOR" << tessor << true;
    QTest::newRow("TESSOR over QUORILEX") << "QUORILEX"
                                          << "TESSOR" << tessor << false;
}

void tst_EmulatorWindow::machineChooser() {
    QFETCH(QString, before);
    QFETCH(QString, chosen);
    QFETCH(QStringList, messages);
    QFETCH(bool, orvaShown);
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* chooser = control<QComboBox>(window, "cboMachine");
    chooser->setCurrentIndex(chooser->findText(before));

    MessageBoxAnswerer answerer;
    // Chosen from the list, as a user does.
    chooser->showPopup();
    QAbstractItemView* list = chooser->view();
    const QModelIndex item = list->model()->index(chooser->findText(chosen), 0);
    list->setCurrentIndex(item);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(chooser->currentText(), chosen);
    QCOMPARE(answerer.seen, messages);
    QCOMPARE(control<QGroupBox>(window, "famOrva")->isVisible(), orvaShown);
    QCOMPARE(control<QGroupBox>(window, "famQuorilex")->isVisible(), !orvaShown);
}

void tst_EmulatorWindow::typingInChooser() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* chooser = control<QComboBox>(window, "cboMachine");
    auto* orvaPanel = control<QGroupBox>(window, "famOrva");
    auto* quorilexPanel = control<QGroupBox>(window, "famQuorilex");
    QLineEdit* edit = chooser->lineEdit();

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("QUORI"));
    QCOMPARE(chooser->currentText(), QStringLiteral("QUORI"));
    QVERIFY(orvaPanel->isVisible());
    QVERIFY(quorilexPanel->isHidden());
    // No model is fed while the text names none.
    rig.globals.emulatorOutput = QStringLiteral("taken");
    window->Timer2_Timer();
    QCOMPARE(rig.globals.emulatorOutput, QStringLiteral("taken"));

    QTest::keyClicks(edit, QStringLiteral("LEX"));
    QVERIFY(orvaPanel->isHidden());
    QVERIFY(quorilexPanel->isVisible());
    window->Timer2_Timer();
    QCOMPARE(rig.globals.emulatorOutput, kSeparator);

    // Case matters; Return adds no entry.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("orva"));
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(quorilexPanel->isVisible());
    QCOMPARE(chooser->count(), 4);
    // A typed P does not complete to PELMAR: no message box comes.
    MessageBoxAnswerer answerer;
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("P"));
    QCOMPARE(chooser->currentText(), QStringLiteral("P"));
    QVERIFY(answerer.seen.isEmpty());
}

void tst_EmulatorWindow::outputReachesEmulatorOutput() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* next = control<QLabel>(window, "lblNextEmulatorOutput");
    auto* chooser = control<QComboBox>(window, "cboMachine");

    window->Timer2_Timer();
    QCOMPARE(rig.globals.emulatorOutput, kOrvaLine50);
    QCOMPARE(next->text(), kOrvaLine50);

    // Each tick replaces the slot, taken or not.
    rig.clock.advanceMs(1000);
    window->Timer2_Timer();
    QCOMPARE(rig.globals.emulatorOutput,
             QStringLiteral("0 0000 :: 12-06-2026 14:05:10 = 50 (RAW)  50 (C)\r\n"));

    {
        MessageBoxAnswerer answerer;
        chooser->setCurrentIndex(1);
        QCOMPARE(answerer.seen.size(), 1);
    }
    const QString pending = rig.globals.emulatorOutput;
    window->Timer2_Timer();
    QCOMPARE(rig.globals.emulatorOutput, pending);
    rig.globals.emulatorOutput.clear(); // the reader took it
    window->Timer2_Timer();
    QCOMPARE(rig.globals.emulatorOutput, QString());
    QCOMPARE(next->text(), pending);

    chooser->setCurrentIndex(2);
    window->Timer2_Timer();
    QCOMPARE(rig.globals.emulatorOutput, kSeparator);
    QCOMPARE(next->text(), kSeparator);
    window->Timer2_Timer();
    QCOMPARE(rig.globals.emulatorOutput, kSample);
}

void tst_EmulatorWindow::injectionFlagRoundTrip() {
    Rig rig;
    rig.globals.injectSingleTab = true;
    frmEmulation* window = rig.openShown();
    auto* inject = control<QCheckBox>(window, "chkInjectTab");
    // The box shows the shared flag when the window opens.
    QVERIFY(inject->isChecked());

    control<QComboBox>(window, "cboMachine")->setCurrentIndex(2);
    QTest::mouseClick(inject, Qt::LeftButton);
    QVERIFY(!rig.globals.injectSingleTab);
    QTest::mouseClick(inject, Qt::LeftButton);
    QVERIFY(rig.globals.injectSingleTab);

    FakeSerial serial;
    ForwardingView view;
    view.emulator = window;
    ReceivePath path(rig.globals, serial, view, rig.clock);
    window->Timer2_Timer(); // the separator
    window->Timer2_Timer(); // a sample replaces it
    QCOMPARE(path.ReadReceivedText(), QStringLiteral("9999\t10000\r\n"));
    QVERIFY(!inject->isChecked());
    QVERIFY(!rig.globals.injectSingleTab);
    // One output only.
    window->Timer2_Timer();
    QCOMPARE(path.ReadReceivedText(), kSample);

    // The slot the main window calls clears the box, and the box the flag.
    inject->setChecked(true);
    QVERIFY(rig.globals.injectSingleTab);
    window->injectSingleTabUsed();
    QVERIFY(!inject->isChecked());
    QVERIFY(!rig.globals.injectSingleTab);
}

void tst_EmulatorWindow::indexBoxCallsModel() {
    Rig rig;
    rig.orva.setFourDigitIndex(QStringLiteral("7"));
    frmEmulation* window = rig.open();
    // Showing 0000 at load leaves the model's index alone.
    QCOMPARE(rig.orva.getFourDigitIndex(), QStringLiteral("0007"));
    auto* index = control<QLineEdit>(window, "txtIndex");
    index->selectAll();
    QTest::keyClicks(index, QStringLiteral("12ab"));
    QCOMPARE(rig.orva.getFourDigitIndex(), QStringLiteral("0012"));
    QTest::keyClick(index, Qt::Key_Backspace);
    QTest::keyClick(index, Qt::Key_Backspace);
    QTest::keyClick(index, Qt::Key_Backspace);
    QCOMPARE(rig.orva.getFourDigitIndex(), QStringLiteral("0001"));
    window->Timer2_Timer();
    QVERIFY(rig.globals.emulatorOutput.startsWith(QStringLiteral("0 0001 :: ")));
    // Pasted text reaches the model as well.
    index->selectAll();
    index->insert(QStringLiteral("345"));
    QCOMPARE(rig.orva.getFourDigitIndex(), QStringLiteral("0345"));
}

void tst_EmulatorWindow::eolFrequencyBox_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("samples"); // between two separators; 16 when the text is ignored
    QTest::newRow("3") << "3" << 3;
    QTest::newRow("blanks around") << " 5 " << 5;
    QTest::newRow("half to even, down") << "2.5" << 2;
    QTest::newRow("half to even, up") << "3.5" << 4;
    QTest::newRow("empty keeps") << "" << 16;
    QTest::newRow("letters keep") << "abc" << 16;
    QTest::newRow("digits then letters keep") << "4x" << 16;
    QTest::newRow("out of range keeps") << "40000" << 16;
}

void tst_EmulatorWindow::eolFrequencyBox() {
    QFETCH(QString, text);
    QFETCH(int, samples);
    Rig rig;
    frmEmulation* window = rig.open();
    control<QLineEdit>(window, "txtEOLFrequency")->setText(text);
    QCOMPARE(rig.quorilex.nextOutput(), kSeparator);
    for (int i = 0; i < samples; ++i)
        QCOMPARE(rig.quorilex.nextOutput(), kSample);
    QCOMPARE(rig.quorilex.nextOutput(), kSeparator);
}

void tst_EmulatorWindow::baseLevelBar() {
    Rig rig;
    frmEmulation* window = rig.open();
    auto* level = control<QScrollBar>(window, "VScroll1");
    auto* bar = control<QFrame>(window, "famIll");
    QCOMPARE(level->minimum(), 0);
    QCOMPARE(level->maximum(), bar->height() * 15);
    QCOMPARE(bar->y(), 0);
    level->setValue(300);
    QCOMPARE(bar->y(), 20);
}

void tst_EmulatorWindow::closeClearsActive() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    window->Timer2_Timer();
    QPointer<frmEmulation> alive(window);
    auto* display = control<QTimer>(window, "Timer1");
    display->start();
    QVERIFY(window->close());
    QVERIFY(!rig.globals.emulatorActive);
    QVERIFY(!display->isActive());
    // A pending output stays where it is.
    QCOMPARE(rig.globals.emulatorOutput, kOrvaLine50);
    QTRY_VERIFY(alive.isNull());

    // Deleted without a close request, it unloads as well.
    frmEmulation* second = rig.open();
    QVERIFY(rig.globals.emulatorActive);
    delete second;
    QVERIFY(!rig.globals.emulatorActive);
}

void tst_EmulatorWindow::closedWindowDoesNotClearNewOne() {
    Rig rig;
    QPointer<frmEmulation> first(rig.open());
    first->close();
    frmEmulation* second = rig.open();
    QVERIFY(rig.globals.emulatorActive);
    // The first window goes away later; the second stays the loaded one.
    QTRY_VERIFY(first.isNull());
    QVERIFY(rig.globals.emulatorActive);
    QVERIFY(second);
}

void tst_EmulatorWindow::reopenKeepsModelSettings() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* frequency = control<QLineEdit>(window, "txtEOLFrequency");
    frequency->selectAll();
    QTest::keyClicks(frequency, QStringLiteral("8"));
    auto* index = control<QLineEdit>(window, "txtIndex");
    index->selectAll();
    QTest::keyClicks(index, QStringLiteral("0042"));
    userDrags(control<QScrollBar>(window, "scrollMeasureLS"), 70);
    userDrags(control<QScrollBar>(window, "scrollMeasureMax"), 82);
    control<QCheckBox>(window, "chkMaintainMeasureMinMaxWindow")->click();
    QCOMPARE(rig.globals.measureWindow, qint16(12));
    window->close();

    window = rig.open();
    QCOMPARE(control<QLineEdit>(window, "txtEOLFrequency")->text(), QStringLiteral("16"));
    QCOMPARE(control<QLineEdit>(window, "txtIndex")->text(), QStringLiteral("0000"));
    QCOMPARE(rig.orva.getFourDigitIndex(), QStringLiteral("0042"));
    QCOMPARE(rig.quorilex.nextOutput(), kSeparator);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(rig.quorilex.nextOutput(), kSample);
    QCOMPARE(rig.quorilex.nextOutput(), kSeparator);
    // The ranges start again at 50..50; the stored distance stays until the box is clicked.
    QCOMPARE(control<QLabel>(window, "lblMeasureMin")->text(), QStringLiteral("50"));
    QCOMPARE(seenRanges(rig.orva).measurement, range(50, 50));
    QCOMPARE(rig.globals.measureWindow, qint16(12));
    QVERIFY(!control<QCheckBox>(window, "chkMaintainMeasureMinMaxWindow")->isChecked());
}

void tst_EmulatorWindow::rangesAfterLoad() {
    Rig rig;
    frmEmulation* window = rig.open();
    for (const char* name : {"lblMeasureLS", "lblMeasureMin", "lblMeasureMax", "lblTempLS",
                             "lblTempMin", "lblTempMax"})
        QCOMPARE(control<QLabel>(window, name)->text(), QStringLiteral("50"));
    for (const char* name : {"scrollMeasureLS", "scrollMeasureMin", "scrollMeasureMax",
                             "scrollTempLS", "scrollTempMin", "scrollTempMax"}) {
        auto* bar = control<QScrollBar>(window, name);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->singleStep(), 1);
        QCOMPARE(bar->pageStep(), 1);
        QCOMPARE(bar->value(), 50);
    }
    QVERIFY(control<QScrollBar>(window, "scrollMeasureLS")->isEnabled());
    QVERIFY(control<QScrollBar>(window, "scrollTempLS")->isEnabled());
    QVERIFY(!control<QCheckBox>(window, "chkMaintainMeasureMinMaxWindow")->isChecked());
    QVERIFY(!control<QCheckBox>(window, "chkMaintainTempMinMaxWindow")->isChecked());
    QCOMPARE(rig.globals.measureFocus, qint16(1));
    QCOMPARE(rig.globals.tempFocus, qint16(1));
    window->Timer2_Timer();
    const auto line = parseOrvaLine(rig.globals.emulatorOutput);
    QVERIFY(line);
    QCOMPARE(line->measurement, 50);
    QCOMPARE(line->temperature, 50);
}

void tst_EmulatorWindow::masterCollapsesRange() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    userDrags(control<QScrollBar>(window, "scrollMeasureLS"), 70);
    QCOMPARE(rig.globals.measureFocus, qint16(1));
    QCOMPARE(control<QLabel>(window, "lblMeasureLS")->text(), QStringLiteral("70"));
    QCOMPARE(control<QLabel>(window, "lblMeasureMin")->text(), QStringLiteral("70"));
    QCOMPARE(control<QLabel>(window, "lblMeasureMax")->text(), QStringLiteral("70"));
    QCOMPARE(control<QScrollBar>(window, "scrollMeasureMin")->value(), 70);
    QCOMPARE(control<QScrollBar>(window, "scrollMeasureMax")->value(), 70);
    for (int i = 0; i < 5; ++i) {
        window->Timer2_Timer();
        const auto line = parseOrvaLine(rig.globals.emulatorOutput);
        QVERIFY(line);
        QCOMPARE(line->measurement, 70);
        QCOMPARE(line->temperature, 50);
    }
}

void tst_EmulatorWindow::minimumPastMaximum() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* minimum = control<QScrollBar>(window, "scrollMeasureMin");
    auto* maximum = control<QScrollBar>(window, "scrollMeasureMax");
    userDrags(control<QScrollBar>(window, "scrollMeasureLS"), 70);

    userDrags(minimum, 60);
    QCOMPARE(rig.globals.measureFocus, qint16(2));
    QCOMPARE(maximum->value(), 70);
    QCOMPARE(seenRanges(rig.orva).measurement, range(60, 70));

    userDrags(minimum, 80);
    QCOMPARE(maximum->value(), 80);
    QCOMPARE(control<QLabel>(window, "lblMeasureMax")->text(), QStringLiteral("80"));
    QCOMPARE(seenRanges(rig.orva).measurement, range(80, 80));

    // The maximum moved below the minimum takes the minimum down with it.
    userDrags(maximum, 30);
    QCOMPARE(rig.globals.measureFocus, qint16(3));
    QCOMPARE(minimum->value(), 30);
    QCOMPARE(seenRanges(rig.orva).measurement, range(30, 30));
    userDrags(maximum, 90);
    QCOMPARE(minimum->value(), 30);
    QCOMPARE(seenRanges(rig.orva).measurement, range(30, 90));
}

void tst_EmulatorWindow::maintainedWindow() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* master = control<QScrollBar>(window, "scrollMeasureLS");
    auto* minimum = control<QScrollBar>(window, "scrollMeasureMin");
    auto* maximum = control<QScrollBar>(window, "scrollMeasureMax");
    auto* maintain = control<QCheckBox>(window, "chkMaintainMeasureMinMaxWindow");
    userDrags(master, 40);
    userDrags(maximum, 60);
    QCOMPARE(seenRanges(rig.orva).measurement, range(40, 60));

    QTest::mouseClick(maintain, Qt::LeftButton);
    QVERIFY(maintain->isChecked());
    QVERIFY(!master->isEnabled());
    QCOMPARE(rig.globals.measureWindow, qint16(20));

    userDrags(minimum, 90);
    QCOMPARE(maximum->value(), 100);
    QCOMPARE(seenRanges(rig.orva).measurement, range(90, 100));
    userDrags(minimum, 50);
    QCOMPARE(maximum->value(), 70);
    QCOMPARE(seenRanges(rig.orva).measurement, range(50, 70));
    userDrags(maximum, 10);
    QCOMPARE(minimum->value(), 0);
    QCOMPARE(control<QLabel>(window, "lblMeasureMin")->text(), QStringLiteral("0"));
    QCOMPARE(seenRanges(rig.orva).measurement, range(0, 10));
    // The distance did not shrink at the limit: moving back restores it.
    userDrags(maximum, 60);
    QCOMPARE(minimum->value(), 40);
    QCOMPARE(rig.globals.measureWindow, qint16(20));

    // Cleared by the user: the master is back and the distance is taken again.
    userDrags(minimum, 45);
    QCOMPARE(maximum->value(), 65);
    userDrags(maximum, 75);
    QCOMPARE(minimum->value(), 55);
    QTest::mouseClick(maintain, Qt::LeftButton);
    QVERIFY(!maintain->isChecked());
    QVERIFY(master->isEnabled());
    QCOMPARE(rig.globals.measureWindow, qint16(20));
    userDrags(minimum, 70);
    QCOMPARE(maximum->value(), 75);
}

void tst_EmulatorWindow::masterToMinimumsOwnValue() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* master = control<QScrollBar>(window, "scrollMeasureLS");
    userDrags(control<QScrollBar>(window, "scrollMeasureMin"), 40);
    userDrags(control<QScrollBar>(window, "scrollMeasureMax"), 80);
    QCOMPARE(master->value(), 50);
    QCOMPARE(seenRanges(rig.orva).measurement, range(40, 80));

    userDrags(master, 40);
    QCOMPARE(control<QLabel>(window, "lblMeasureLS")->text(), QStringLiteral("40"));
    QCOMPARE(control<QScrollBar>(window, "scrollMeasureMin")->value(), 40);
    QCOMPARE(control<QScrollBar>(window, "scrollMeasureMax")->value(), 80);
    QCOMPARE(control<QLabel>(window, "lblMeasureMax")->text(), QStringLiteral("80"));
    QCOMPARE(seenRanges(rig.orva).measurement, range(40, 80));
    QVERIFY(!control<QCheckBox>(window, "chkMaintainMeasureMinMaxWindow")->isChecked());
}

void tst_EmulatorWindow::masterSetByCodeClearsMaintain() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* master = control<QScrollBar>(window, "scrollMeasureLS");
    auto* maintain = control<QCheckBox>(window, "chkMaintainMeasureMinMaxWindow");
    maintain->click();
    QVERIFY(!master->isEnabled());
    rig.globals.measureFocus = 1;
    master->setValue(30);
    QVERIFY(!maintain->isChecked());
    QVERIFY(master->isEnabled());
    QCOMPARE(seenRanges(rig.orva).measurement, range(30, 30));
}

void tst_EmulatorWindow::draggingUpdatesContinuously() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    userDrags(control<QScrollBar>(window, "scrollMeasureMax"), 90);
    auto* minimum = control<QScrollBar>(window, "scrollMeasureMin");
    auto* label = control<QLabel>(window, "lblMeasureMin");
    minimum->setFocus(Qt::MouseFocusReason);
    minimum->setSliderDown(true);
    minimum->setSliderPosition(55);
    QCOMPARE(label->text(), QStringLiteral("55"));
    QCOMPARE(seenRanges(rig.orva).measurement, range(55, 90));
    minimum->setSliderPosition(62);
    QCOMPARE(label->text(), QStringLiteral("62"));
    QCOMPARE(seenRanges(rig.orva).measurement, range(62, 90));
    minimum->setSliderDown(false);
    QCOMPARE(minimum->value(), 62);
}

void tst_EmulatorWindow::focusByTabAndClick() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* master = control<QScrollBar>(window, "scrollMeasureLS");
    auto* minimum = control<QScrollBar>(window, "scrollMeasureMin");
    auto* maximum = control<QScrollBar>(window, "scrollMeasureMax");
    QVERIFY(QApplication::focusWidget() != master && QApplication::focusWidget() != minimum &&
            QApplication::focusWidget() != maximum);
    QCOMPARE(rig.globals.measureFocus, qint16(1));

    // Tabbing from the master reaches the minimum, then the maximum.
    master->setFocus(Qt::TabFocusReason);
    QTest::keyClick(master, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), minimum);
    QCOMPARE(rig.globals.measureFocus, qint16(2));
    QTest::keyClick(minimum, Qt::Key_Tab);
    QCOMPARE(rig.globals.measureFocus, qint16(3));

    // The keyboard moves the bar that has the focus.
    QTest::keyClick(maximum, Qt::Key_Right);
    QTest::keyClick(maximum, Qt::Key_Right);
    QTest::keyClick(maximum, Qt::Key_Left);
    QCOMPARE(maximum->value(), 51);
    QCOMPARE(seenRanges(rig.orva).measurement, range(50, 51));

    // A click on the minimum's right arrow gives it the focus and moves it one step; it
    // passes the maximum, which follows.
    QTest::mouseClick(minimum, Qt::LeftButton, {},
                      QPoint(minimum->width() - 4, minimum->height() / 2));
    QCOMPARE(rig.globals.measureFocus, qint16(2));
    QCOMPARE(minimum->value(), 51);
    QTest::mouseClick(minimum, Qt::LeftButton, {},
                      QPoint(minimum->width() - 4, minimum->height() / 2));
    QCOMPARE(minimum->value(), 52);
    QCOMPARE(maximum->value(), 52);

    // Values set by the cascade do not move the selector.
    QTest::mouseClick(master, Qt::LeftButton, {}, QPoint(4, master->height() / 2));
    QCOMPARE(rig.globals.measureFocus, qint16(1));
    QCOMPARE(master->value(), 49);
    QCOMPARE(minimum->value(), 49);
    QCOMPARE(maximum->value(), 49);
    QCOMPARE(rig.globals.measureFocus, qint16(1));
}

void tst_EmulatorWindow::temperatureGroup() {
    Rig rig;
    frmEmulation* window = rig.openShown();
    auto* minimum = control<QScrollBar>(window, "scrollTempMin");
    auto* maximum = control<QScrollBar>(window, "scrollTempMax");
    userDrags(control<QScrollBar>(window, "scrollTempLS"), 30);
    QCOMPARE(rig.globals.tempFocus, qint16(1));
    QCOMPARE(control<QLabel>(window, "lblTempMin")->text(), QStringLiteral("30"));
    QCOMPARE(control<QLabel>(window, "lblTempMax")->text(), QStringLiteral("30"));
    SeenRanges seen = seenRanges(rig.orva);
    QCOMPARE(seen.temperature, range(30, 30));
    QCOMPARE(seen.measurement, range(50, 50));

    userDrags(maximum, 45);
    QCOMPARE(rig.globals.tempFocus, qint16(3));
    QCOMPARE(rig.globals.measureFocus, qint16(1));
    control<QCheckBox>(window, "chkMaintainTempMinMaxWindow")->click();
    QCOMPARE(rig.globals.tempWindow, qint16(15));
    QVERIFY(!control<QScrollBar>(window, "scrollTempLS")->isEnabled());
    QVERIFY(control<QScrollBar>(window, "scrollMeasureLS")->isEnabled());
    userDrags(minimum, 95);
    QCOMPARE(rig.globals.tempFocus, qint16(2));
    QCOMPARE(maximum->value(), 100);
    seen = seenRanges(rig.orva);
    QCOMPARE(seen.temperature, range(95, 100));
    QCOMPARE(seen.measurement, range(50, 50));
}

void tst_EmulatorWindow::emulatorOutputLandsInCells() {
    MemorySpreadsheetFactory factory; // outlives the spreadsheet the rig's globals hold
    Rig rig;
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString workbookPath = folder.filePath(QStringLiteral("spreadsheet.xls"));
    {
        QFile file(workbookPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    Status status;
    rig.globals.excelApp = factory.create(status);
    QVERIFY(status.ok());
    MemorySpreadsheet* spreadsheet = factory.last();
    const Result<WorkbookId> opened = spreadsheet->open(workbookPath);
    QVERIFY(opened.ok());
    const WorkbookId book = opened.value;
    const auto cell = [&](int row, int column) {
        return cellText(spreadsheet->cell(book, row, column));
    };

    frmEmulation* window = rig.openShown();
    FakeSerial serial;
    serial.setPortOpen(true);
    serial.arrived = QStringLiteral("serial text\r\n");
    ForwardingView view;
    view.emulator = window;
    ReceivePath path(rig.globals, serial, view, rig.clock);

    window->Timer2_Timer();
    path.pump();
    const QStringList first{"number 0",  "number 0",   "text 12-06-2026", "text 14:05:09",
                            "number 50", "text (RAW)", "number 50",       "text (C)"};
    for (int column = 1; column <= 8; ++column)
        QCOMPARE(cell(1, column), first[column - 1]);
    QCOMPARE(cell(1, 9), QStringLiteral("empty"));

    auto* index = control<QLineEdit>(window, "txtIndex");
    index->selectAll();
    QTest::keyClicks(index, QStringLiteral("42"));
    userDrags(control<QScrollBar>(window, "scrollMeasureLS"), 70);
    rig.clock.advanceMs(250);
    window->Timer2_Timer();
    path.pump();
    QCOMPARE(cell(2, 2), QStringLiteral("number 42"));
    QCOMPARE(cell(2, 5), QStringLiteral("number 70"));
    QCOMPARE(cell(2, 7), QStringLiteral("number 50"));

    // QUORILEX: a separator opens the next block, headed by the time, and the samples fill it.
    control<QComboBox>(window, "cboMachine")->setCurrentIndex(2);
    for (int tick = 0; tick < 4; ++tick) {
        window->Timer2_Timer();
        path.pump();
    }
    QCOMPARE(rig.globals.blockColumn, qint16(2));
    QCOMPARE(cell(1, 2), QStringLiteral("number ") + QString::number(50709 / 3600.0, 'g', 12));
    QCOMPARE(cell(2, 2), QStringLiteral("number 9999"));
    QCOMPARE(cell(3, 2), QStringLiteral("number 9999"));
    QCOMPARE(cell(4, 2), QStringLiteral("number 9999"));
    QCOMPARE(cell(5, 2), QStringLiteral("empty"));

    // One injected output becomes two numbers in a row.
    QTest::mouseClick(control<QCheckBox>(window, "chkInjectTab"), Qt::LeftButton);
    window->Timer2_Timer();
    path.pump();
    QCOMPARE(cell(5, 2), QStringLiteral("number 9999"));
    QCOMPARE(cell(5, 3), QStringLiteral("number 10000"));
    QVERIFY(!control<QCheckBox>(window, "chkInjectTab")->isChecked());
    QCOMPARE(view.status,
             QStringLiteral("Bytes Received: ") + QString::number(path.bytesReceived()));
    QCOMPARE(view.excelLamp, LampColour::Green);

    // The serial port was not read while the emulator was open; after it closes, it is.
    QCOMPARE(serial.arrived, QStringLiteral("serial text\r\n"));
    window->close();
    path.pump();
    QCOMPARE(serial.arrived, QString());
    QCOMPARE(cell(6, 2), QStringLiteral("text serial text"));
}

QTEST_MAIN(tst_EmulatorWindow)
#include "tst_emulatorwindow.moc"
