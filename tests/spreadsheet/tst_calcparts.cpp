// What the Calc bridge does that a real office cannot show.

#include "calcspreadsheet.h"
#include "callwait.h"
#include "macroname.h"
#include "modalanswer.h"
#include "officeformats.h"
#include "officelock.h"
#include "officeprocess.h"
#include "saveasdialog.h"
#include "unoworker.h"

#include <QtTest>
#include <QtWidgets>

#include <atomic>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// A wait whose windows turn and whose user gives up at the look given (0: never).
struct FakeWait final : CallWait {
    bool keepWaiting(std::chrono::milliseconds) override {
        QCoreApplication::processEvents();
        return ++looks != giveUpAt;
    }
    void waitEnded() override { ++ended; }
    int looks = 0, ended = 0, giveUpAt = 0;
};

// A worker on an office that only sleeps; held() jobs block it until letGo() or the rig ends.
struct WorkerRig {
    WorkerRig() { office.start(u"/bin/sleep"_s, {u"600"_s}); }
    ~WorkerRig() { letGo(); }
    std::function<Status()> held(Status answer = Status::success()) const {
        return [go = go, answer] { return go->wait(false), answer; };
    }
    std::function<Status()> counted() const {
        return [runs = runs] { return ++*runs, Status::success(); };
    }
    void letGo() const { *go = true, go->notify_all(); }

    std::shared_ptr<std::atomic_bool> go = std::make_shared<std::atomic_bool>(false);
    std::shared_ptr<std::atomic_int> runs = std::make_shared<std::atomic_int>(0);
    FakeWait wait;
    OfficeProcess office;
    UnoWorker worker{office, &wait};
};

UnoCall write(double row, std::chrono::milliseconds deadline, const QList<CellRow>& rows = {}) {
    UnoCall call(u"setBlock"_s, {row, 1.0, u"a"_s}, deadline);
    call.rows = rows;
    return call;
}

} // namespace

class tst_CalcParts : public QObject {
    Q_OBJECT

private slots:
    void macroNames_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parts"); // book|library|module|macro; empty: names no macro
        QTest::newRow("bare") << "Tidy" << QString("|||Tidy");
        QTest::newRow("module") << "Book.xls!Module1.Tidy" << QString("Book.xls||Module1|Tidy");
        QTest::newRow("library") << "B.xls!Std.M1.Ti dy" << QString("B.xls|Std|M1|Ti dy");
        for (const char* wrong : {"!Tidy", "", "b.xls!!Tidy", "a.b.c.d", "M..Tidy", "B.xls! Tidy"})
            QTest::newRow(wrong) << wrong << QString();
    }

    void macroNames() {
        QFETCH(QString, text);
        const std::optional<MacroName> name = MacroName::parse(text);
        const QStringList parts =
            name ? QStringList{name->book, name->library, name->module, name->macro}
                 : QStringList();
        QTEST(parts.join(u'|'), "parts");
    }

    void workbookNames_data() {
        QTest::addColumn<QString>("given"); // at the question for a new name
        QTest::addColumn<QString>("stored");
        QTest::newRow("no extension") << "run 12.06.2026" << QString("run 12.06.2026.xls");
        QTest::newRow("capitals") << "RUN.XLS" << QString("RUN.XLS");
        QTest::newRow("xlsx") << "run.xlsx" << QString("run.xlsx");
        QTest::newRow("ods, dotted folder") << "dir.v2/run.ods" << QString("dir.v2/run.ods");
        QTest::newRow("csv keeps one sheet only") << "run.csv" << QString("run.csv.xls");
    }

    void workbookNames() {
        QFETCH(QString, given);
        QTEST(workbookFileName(given), "stored");
        QVERIFY(!storeFilterFor(workbookFileName(given)).isEmpty());
    }

    // The name a workbook is stored under is asked about when that file exists.
    void saveAsQuestion_data() {
        QTest::addColumn<QString>("typed");  // into the dialog, where this file exists: "run.xls"
        QTest::addColumn<int>("reply");      // to "run.xls already exists..."; after No, Esc
        QTest::addColumn<QString>("stored"); // empty: cancelled
        QTest::newRow("new") << "new" << 0 << "new.xls";
        QTest::newRow(".xls added, yes") << "run" << int(QMessageBox::Yes) << "run.xls";
        QTest::newRow(".xls added, no") << "run" << int(QMessageBox::No) << "";
    }
    void saveAsQuestion() {
        QFETCH(QString, typed);
        QFETCH(int, reply);
        QTemporaryDir folder;
        QFile(folder.filePath(u"run.xls"_s)).open(QIODevice::WriteOnly);
        QString asked;
        const ModalAnswer answer([&](QDialog* dialog) {
            if (reply != 0)
                ModalAnswer([&](QDialog* question) {
                    auto* box = qobject_cast<QMessageBox*>(question);
                    asked = box->text();
                    box->button(QMessageBox::StandardButton(reply))->click();
                    if (reply == QMessageBox::No)
                        ModalAnswer([](QDialog*) {}); // Esc in the dialog shown again
                });
            QTest::keyClicks(dialog->focusWidget(), typed + u'\r');
        });
        QFETCH(QString, stored);
        QCOMPARE(askSaveAsFilename({}, u"Excel workbook,*.xls"_s, u"Rename"_s, folder.path()),
                 stored.isEmpty() ? "" : folder.filePath(stored));
        QCOMPARE(asked, reply ? u"run.xls already exists.\nDo you want to replace it?"_s : "");
    }

    void lockOwners_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("ours");
        const QByteArray user = ",u,host,06.12.2026 20:42,";
        const QByteArray profile = "file:///home/u/.local/share/Celvane/office";
        QTest::newRow("ours") << user + profile + ";\n" << true;
        QTest::newRow("author with comma") << "Doe\\, Jane" + user + profile + ";" << true;
        QTest::newRow("other profile") << user + "file:///home/u/.config/libreoffice/4;" << false;
        QTest::newRow("profile below ours") << user + profile + "/other;" << false;
        QTest::newRow("garbage") << QByteArray("nonsense") << false;
    }

    void lockOwners() {
        QFETCH(QByteArray, content);
        QFETCH(bool, ours);
        QTemporaryDir folder;
        QFile lock(folder.filePath(u".~lock.book.xls#"_s)); // as the office names it
        QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(content) == content.size());
        lock.close();
        QCOMPARE(removeOwnLock(folder.filePath(u"book.xls"_s),
                               u"file:///home/u/.local/share/Celvane/office"_s),
                 ours);
        QCOMPARE(lock.exists(), !ours);
    }

    void headless_data() {
        QTest::addColumn<QByteArrayList>("environment"); // CELVANE_HEADLESS, DISPLAY, WAYLAND_..
        QTest::addColumn<bool>("headless");
        QTest::newRow("forced") << QByteArrayList{"1", ":0", ""} << true;
        QTest::newRow("0: shown on X") << QByteArrayList{"0", ":0", ""} << false;
        QTest::newRow("shown on Wayland") << QByteArrayList{"", "", "wayland-0"} << false;
        QTest::newRow("no display") << QByteArrayList{"0", "", ""} << true;
    }

    void headless() {
        QFETCH(QByteArrayList, environment);
        for (const char* name : {"CELVANE_HEADLESS", "DISPLAY", "WAYLAND_DISPLAY"})
            qputenv(name, environment.takeFirst());
        QTEST(CalcOptions::fromEnvironment().headless, "headless");
    }

    void lateAnswers_data() {
        QTest::addColumn<bool>("landed");   // the late call succeeded
        QTest::addColumn<double>("row");    // of the call made once the answer came (first: row 1)
        QTest::addColumn<QString>("gives"); // its status, and whether it was sent
        QTest::newRow("late success, same call") << true << 1.0 << "ok, not sent";
        QTest::newRow("late failure, same call") << false << 1.0 << "failed, not sent";
        QTest::newRow("another call drops it") << true << 2.0 << "ok, sent";
    }

    void lateAnswers() {
        QFETCH(bool, landed);
        QFETCH(double, row);
        WorkerRig rig;
        UnoCall first = write(1, 100ms);
        const Status answer =
            landed ? Status::success() : Status::failure(SpreadsheetStatus::Failed);
        QCOMPARE(rig.worker.perform(rig.held(answer), first).code, SpreadsheetStatus::Busy);
        QVERIFY(rig.wait.looks > 0 && rig.wait.ended == 1); // the caller's windows kept answering
        // Pending, it holds back every other call.
        UnoCall other = write(2, 1min);
        QCOMPARE(rig.worker.perform(rig.counted(), other).code, SpreadsheetStatus::Busy);
        QCOMPARE(rig.worker.settle(100ms).code, SpreadsheetStatus::Busy);
        rig.letGo();
        QVERIFY(rig.worker.settle(1min).ok());
        UnoCall next = write(row, 1min);
        const Status status = rig.worker.perform(rig.counted(), next);
        QTEST(u"%1, %2"_s.arg(status.ok() ? "ok" : "failed", *rig.runs ? "sent" : "not sent"),
              "gives");
    }

    void lateBlockCoversTheStartOfALongerOne() {
        WorkerRig rig;
        const CellRow a{u"a"_s}, b{u"b"_s};
        UnoCall late = write(5, 100ms, {a});
        QCOMPARE(rig.worker.perform(rig.held(), late).code, SpreadsheetStatus::Busy);
        QCOMPARE(rig.worker.landedRows(write(5, {}, {a, b})), 0); // not landed while unanswered
        rig.letGo();
        QVERIFY(rig.worker.settle(1min).ok());
        QCOMPARE(rig.worker.landedRows(write(5, {}, {b})), 0);
        QCOMPARE(rig.worker.landedRows(write(5, {}, {a, b})), 1);
        QCOMPARE(rig.worker.landedRows(write(5, {}, {a, b})), 0); // the answer was taken
    }

    void officeEnd_data() {
        QTest::addColumn<QString>("lives");   // seconds the office takes to end by itself
        QTest::addColumn<int>("waitMs");      // how long its end is waited for
        QTest::addColumn<int>("giveUpAt");    // the look at which the user gives up (0: never)
        QTest::addColumn<bool>("endedAlone"); // the wait saw it end by itself
        QTest::newRow("ends in time") << "0.3" << 60000 << 0 << true;
        QTest::newRow("never ends, the wait runs out") << "600" << 1500 << 0 << false;
        QTest::newRow("never ends, the user gives up") << "600" << 20000 << 30 << false;
    }

    void officeEnd() { // the windows turn throughout, also as the office is killed
        QFETCH(QString, lives);
        QFETCH(int, waitMs);
        QFETCH(int, giveUpAt);
        OfficeProcess office;
        QVERIFY(office.start(u"/bin/sleep"_s, {lives}));
        FakeWait wait;
        wait.giveUpAt = giveUpAt;
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout,
                [&] { longestGap = qMax(longestGap, sinceTick.restart()); });
        sinceTick.start(), tick.start(10);
        QTEST(office.waitForEnd(std::chrono::milliseconds(waitMs), &wait), "endedAlone");
        office.kill(); // at once, without waiting for the system to take it away
        QTRY_VERIFY(office.ended());
        QVERIFY2(longestGap < 1000, qPrintable(u"the windows stood %1 ms"_s.arg(longestGap)));
        QVERIFY(wait.ended == 1 && (giveUpAt == 0 || wait.looks == giveUpAt));
    }

    void officeThatDoesNotStart_data() {
        QTest::addColumn<QString>("office");
        QTest::newRow("not installed") << "/nonexistent/soffice.bin";
        QTest::newRow("ends at once") << "/bin/true";
    }

    void officeThatDoesNotStart() {
        QFETCH(QString, office);
        QTemporaryDir home;
        const CalcOptions options{office, home.filePath(u"profile"_s), home.filePath(u"startup"_s),
                                  home.filePath(u"documents"_s)};
        Status status;
        QVERIFY(!CalcSpreadsheetFactory(options).create(status));
        QVERIFY(status.code == SpreadsheetStatus::Failed && !status.message.isEmpty());
        CalcSpreadsheet app(options); // whose start failed only fails, as closed
        QVERIFY(!app.start().ok() && app.setCell(1, 1, 1.0).code == SpreadsheetStatus::Closed);
    }
};

QTEST_MAIN(tst_CalcParts)
#include "tst_calcparts.moc"
