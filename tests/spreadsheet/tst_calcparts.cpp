// What the Calc bridge does that a real office cannot show: how macro names are read, whose
// lock files are taken away, calls not answered in time and their late answers, an office
// ending during a call, an office that does not start.

#include "calcspreadsheet.h"
#include "fakewait.h"
#include "macroname.h"
#include "officeformats.h"
#include "officelock.h"
#include "officeprocess.h"
#include "unoworker.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>

class tst_CalcParts : public QObject {
    Q_OBJECT

private slots:
    void macroNames_data();
    void macroNames();
    void workbookNames_data();
    void workbookNames();
    void lockOwners_data();
    void lockOwners();
    void lateAnswers_data();
    void lateAnswers();
    void lateBlockCoversTheStartOfALongerOne();
    void givenUpCallAndRescue();
    void officeEndingWhileACallWaits();
    void officeThatDoesNotStart_data();
    void officeThatDoesNotStart();
};

void tst_CalcParts::macroNames_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parts"); // book|library|module|macro; empty: names no macro
    QTest::newRow("bare") << "Tidy" << QString("|||Tidy");
    QTest::newRow("qualified") << "spreadsheet.xls!Tidy" << QString("spreadsheet.xls|||Tidy");
    QTest::newRow("with module") << "Book.xls!Module1.Tidy" << QString("Book.xls||Module1|Tidy");
    QTest::newRow("with library") << "Book.xls!Standard.Module1.Tidy"
                                  << QString("Book.xls|Standard|Module1|Tidy");
    QTest::newRow("blank inside") << "Book.xls!Ti dy" << QString("Book.xls|||Ti dy");
    QTest::newRow("leading bang qualifies nothing") << "!Tidy" << QString();
    QTest::newRow("workbook and leading bang") << "spreadsheet.xls!!Tidy" << QString();
    QTest::newRow("empty") << "" << QString();
    QTest::newRow("too many parts") << "a.b.c.d" << QString();
    QTest::newRow("empty part") << "Module1..Tidy" << QString();
    QTest::newRow("blank around") << "Book.xls! Tidy" << QString();
}

void tst_CalcParts::macroNames() {
    QFETCH(QString, text);
    const std::optional<MacroName> name = MacroName::parse(text);
    const QStringList parts =
        name ? QStringList{name->book, name->library, name->module, name->macro} : QStringList();
    QTEST(parts.join(u'|'), "parts");
}

void tst_CalcParts::workbookNames_data() {
    // The name the user gave at the save question; what the workbook is stored as.
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("stored");
    QTest::newRow("no extension") << "plain" << QString("plain.xls");
    QTest::newRow("dots in a date") << "run 12.06.2026" << QString("run 12.06.2026.xls");
    QTest::newRow("capitals") << "RUN.XLS" << QString("RUN.XLS");
    QTest::newRow("xlsx") << "run.xlsx" << QString("run.xlsx");
    QTest::newRow("ods in a folder with a dot") << "dir.v2/run.ods" << QString("dir.v2/run.ods");
    // A text format would keep one sheet only.
    QTest::newRow("csv") << "run.csv" << QString("run.csv.xls");
}

void tst_CalcParts::workbookNames() {
    QFETCH(QString, given);
    const QString stored = workbookFileName(given);
    QTEST(stored, "stored");
    QVERIFY(!storeFilterFor(stored).isEmpty());
}

void tst_CalcParts::lockOwners_data() {
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

void tst_CalcParts::lockOwners() {
    QFETCH(QByteArray, content);
    QFETCH(bool, ours);
    QTemporaryDir folder;
    const QString book = folder.filePath(QStringLiteral("book.xls"));
    QFile lock(lockFilePath(book));
    QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(content) == content.size());
    lock.close();
    // Only the lock an office of ours left behind is taken away.
    QCOMPARE(removeOwnLock(book, QStringLiteral("file:///home/u/.local/share/Celvane/office")),
             ours);
    QCOMPARE(lock.exists(), !ours);
}

namespace {

// A job that holds the worker until let go, at the latest when the test ends, and then answers.
struct HeldJob {
    std::shared_ptr<std::atomic_bool> go = std::make_shared<std::atomic_bool>(false);
    Status answer;

    std::function<Status()> job() const {
        return [go = go, answer = answer] {
            go->wait(false);
            return answer;
        };
    }
    void letGo() const {
        *go = true;
        go->notify_all();
    }
};

// A job that counts its runs.
std::function<Status()> counted(const std::shared_ptr<std::atomic_int>& runs) {
    return [runs] {
        ++*runs;
        return Status::success();
    };
}

} // namespace

void tst_CalcParts::lateAnswers_data() {
    QTest::addColumn<bool>("landed");   // the late call succeeded
    QTest::addColumn<double>("row");    // of the call made once the answer came (first: row 1)
    QTest::addColumn<QString>("gives"); // its status, and whether it was sent
    QTest::newRow("a late success counts for the same call") << true << 1.0 << "ok, not sent";
    QTest::newRow("a late failure counts for the same call") << false << 1.0 << "failed, not sent";
    QTest::newRow("another call drops it") << true << 2.0 << "ok, sent";
}

void tst_CalcParts::lateAnswers() {
    QFETCH(bool, landed);
    QFETCH(double, row);
    OfficeProcess office;
    QVERIFY(office.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}));
    FakeWait wait;
    UnoWorker worker(office, &wait);
    HeldJob held{.answer = landed ? Status::success() : Status::failure(SpreadsheetStatus::Failed)};
    const auto letGoAtTheEnd = qScopeGuard([&] { held.letGo(); });
    const auto write = [](double row, std::chrono::milliseconds deadline) {
        return UnoCall(QStringLiteral("setBlock"), {row, 1.0, QStringLiteral("a")}, deadline);
    };

    // Not answered by its deadline: busy, the caller's windows kept answering meanwhile.
    UnoCall first = write(1, std::chrono::milliseconds(100));
    QCOMPARE(worker.perform(held.job(), first).code, SpreadsheetStatus::Busy);
    QVERIFY(wait.looks > 0);
    QCOMPARE(wait.ended, 1);
    // Pending, it holds back every other call.
    const auto runs = std::make_shared<std::atomic_int>(0);
    UnoCall other = write(2, std::chrono::minutes(1));
    QCOMPARE(worker.perform(counted(runs), other).code, SpreadsheetStatus::Busy);
    QCOMPARE(worker.settle(std::chrono::milliseconds(100)).code, SpreadsheetStatus::Busy);
    QVERIFY(!worker.idle());

    held.letGo();
    QVERIFY(worker.settle(std::chrono::minutes(1)).ok());
    UnoCall next = write(row, std::chrono::minutes(1));
    const Status status = worker.perform(counted(runs), next);
    QTEST(QStringLiteral("%1, %2").arg(status.ok() ? "ok" : "failed", *runs ? "sent" : "not sent"),
          "gives");
}

void tst_CalcParts::lateBlockCoversTheStartOfALongerOne() {
    OfficeProcess office;
    QVERIFY(office.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}));
    UnoWorker worker(office, nullptr);
    const HeldJob held;
    const auto letGoAtTheEnd = qScopeGuard([&] { held.letGo(); });
    const auto block = [](const QList<CellRow>& rows) {
        UnoCall call(QStringLiteral("setBlock"), {1.0, 5.0, 1.0}, std::chrono::milliseconds(100));
        call.rows = rows;
        return call;
    };
    const CellRow first{QStringLiteral("a")};
    const CellRow second{QStringLiteral("b")};
    UnoCall late = block({first});
    QCOMPARE(worker.perform(held.job(), late).code, SpreadsheetStatus::Busy);
    // Nothing landed while the write is unanswered.
    QCOMPARE(worker.landedRows(block({first, second})), 0);
    held.letGo();
    QVERIFY(worker.settle(std::chrono::minutes(1)).ok());
    QCOMPARE(worker.landedRows(block({second})), 0); // another block
    QCOMPARE(worker.landedRows(block({first, second})), 1);
    QCOMPARE(worker.landedRows(block({first, second})), 0); // the answer was taken
}

void tst_CalcParts::givenUpCallAndRescue() {
    OfficeProcess office;
    QVERIFY(office.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}));
    FakeWait wait;
    wait.giveUpAfter = 3;
    UnoWorker worker(office, &wait);
    const HeldJob held;
    const auto letGoAtTheEnd = qScopeGuard([&] { held.letGo(); });
    // The user gives up long before the deadline.
    UnoCall macro(QStringLiteral("run"), {QStringLiteral("Tidy")}, std::chrono::minutes(10));
    QCOMPARE(worker.perform(held.job(), macro).code, SpreadsheetStatus::Busy);
    QCOMPARE(wait.looks, 3);
    QCOMPARE(wait.ended, 1);
    // Beside the call it hangs in, the office is still asked for what can be saved.
    wait.giveUpAfter = -1;
    const auto runs = std::make_shared<std::atomic_int>(0);
    QVERIFY(worker.rescue(counted(runs), std::chrono::minutes(1)).ok());
    QCOMPARE(*runs, 1);
    QVERIFY(!worker.idle());
}

void tst_CalcParts::officeEndingWhileACallWaits() {
    OfficeProcess office;
    QVERIFY(office.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}));
    UnoWorker worker(office, nullptr);
    // The office dies while a slow call waits for its answer; the call holds the worker until
    // let go, at the latest when this ends.
    const auto go = std::make_shared<std::atomic_bool>(false);
    const auto letGo = [go] {
        *go = true;
        go->notify_all();
    };
    const auto letGoAtTheEnd = qScopeGuard(letGo);
    const auto dying = [pid = office.pid(), go] {
        ::kill(pid, SIGKILL);
        go->wait(false);
        return Status::success();
    };
    UnoCall slow(QStringLiteral("slow"), {}, std::chrono::minutes(1));
    QCOMPARE(worker.perform(dying, slow).code, SpreadsheetStatus::Closed);
    letGo();
    // Every later call fails at once, without running.
    const auto ran = std::make_shared<std::atomic_bool>(false);
    const auto later = [ran] {
        *ran = true;
        return Status::success();
    };
    QCOMPARE(worker.perform(later, slow).code, SpreadsheetStatus::Closed);
    QTRY_VERIFY(worker.idle());
    QVERIFY(!*ran);
}

void tst_CalcParts::officeThatDoesNotStart_data() {
    QTest::addColumn<QString>("office");
    QTest::newRow("not installed") << "/nonexistent/soffice.bin";
    QTest::newRow("ends at once") << "/bin/true";
}

void tst_CalcParts::officeThatDoesNotStart() {
    QFETCH(QString, office);
    QTemporaryDir home;
    const CalcOptions options{office, home.filePath(QStringLiteral("profile")),
                              home.filePath(QStringLiteral("startup")),
                              home.filePath(QStringLiteral("documents"))};
    Status status;
    QVERIFY(!CalcSpreadsheetFactory(options).create(status));
    QCOMPARE(status.code, SpreadsheetStatus::Failed);
    QVERIFY(!status.message.isEmpty());
    // An application whose start failed only fails, as closed.
    CalcSpreadsheet app(options);
    QVERIFY(!app.start().ok());
    QCOMPARE(app.open(home.filePath(QStringLiteral("x.xls"))).status.code,
             SpreadsheetStatus::Closed);
    QCOMPARE(app.setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(app.quit().status.code, SpreadsheetStatus::Closed);
}

QTEST_GUILESS_MAIN(tst_CalcParts)
#include "tst_calcparts.moc"
