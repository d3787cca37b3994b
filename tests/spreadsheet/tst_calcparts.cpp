// The parts of the Calc bridge that work without an office: macro names, file formats, file
// dialog filters, lock files, the office process and the worker's busy rules.

#include "calcspreadsheet.h"
#include "macroname.h"
#include "officeformats.h"
#include "officelock.h"
#include "officeprocess.h"
#include "saveasdialog.h"
#include "unoworker.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <future>
#include <thread>

class tst_CalcParts : public QObject {
    Q_OBJECT

private slots:
    void macroNames_data();
    void macroNames();
    void workbookFileNames_data();
    void workbookFileNames();
    void storeFilters_data();
    void storeFilters();
    void nameFilters_data();
    void nameFilters();
    void saveAsDialogAnswered();
    void saveAsDialogCancelled();
    void lockOwners_data();
    void lockOwners();
    void removeOnlyOwnLocks();

    void processEndsAndReportsExitCode();
    void processStoppedAndKilled();

    void workerRunsJobsInOrder();
    void unansweredWriteIsBusy();
    void slowCallWaitsForAStoppedOfficeNoLonger();
    void endedOfficeFailsClosed();

    void officeThatDoesNotStart_data();
    void officeThatDoesNotStart();

private:
    void answerDialog(const QString& fileName);
};

void tst_CalcParts::macroNames_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("book");
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("macro");
    QTest::newRow("bare") << "Tidy" << true << ""
                          << ""
                          << ""
                          << "Tidy";
    QTest::newRow("qualified") << "spreadsheet.xls!Tidy" << true << "spreadsheet.xls"
                               << ""
                               << ""
                               << "Tidy";
    QTest::newRow("with module") << "Book.xls!Module1.Tidy" << true << "Book.xls"
                                 << ""
                                 << "Module1"
                                 << "Tidy";
    QTest::newRow("with library") << "Book.xls!Standard.Module1.Tidy" << true << "Book.xls"
                                  << "Standard"
                                  << "Module1"
                                  << "Tidy";
    QTest::newRow("module, unqualified") << "Module1.Tidy" << true << ""
                                         << ""
                                         << "Module1"
                                         << "Tidy";
    QTest::newRow("leading bang qualifies nothing") << "!Tidy" << false << ""
                                                    << ""
                                                    << ""
                                                    << "";
    QTest::newRow("workbook and leading bang") << "spreadsheet.xls!!Tidy" << false << ""
                                               << ""
                                               << ""
                                               << "";
    QTest::newRow("empty") << "" << false << ""
                           << ""
                           << ""
                           << "";
    QTest::newRow("no macro after the workbook") << "Book.xls!" << false << ""
                                                 << ""
                                                 << ""
                                                 << "";
    QTest::newRow("too many parts") << "a.b.c.d" << false << ""
                                    << ""
                                    << ""
                                    << "";
    QTest::newRow("empty part") << "Module1..Tidy" << false << ""
                                << ""
                                << ""
                                << "";
    QTest::newRow("blank inside") << "Book.xls!Ti dy" << true << "Book.xls"
                                  << ""
                                  << ""
                                  << "Ti dy";
    QTest::newRow("blank around") << "Book.xls! Tidy" << false << ""
                                  << ""
                                  << ""
                                  << "";
}

void tst_CalcParts::macroNames() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const std::optional<MacroName> name = MacroName::parse(text);
    QCOMPARE(name.has_value(), valid);
    if (!valid)
        return;
    QTEST(name->book, "book");
    QTEST(name->library, "library");
    QTEST(name->module, "module");
    QTEST(name->macro, "macro");
}

void tst_CalcParts::workbookFileNames_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("stored");
    QTest::newRow("no extension") << "/home/u/data"
                                  << "/home/u/data.xls";
    QTest::newRow("xls") << "/home/u/data.xls"
                         << "/home/u/data.xls";
    QTest::newRow("ods") << "/home/u/data.ods"
                         << "/home/u/data.ods";
    QTest::newRow("dot in folder only") << "/home/u.v/data"
                                        << "/home/u.v/data.xls";
}

void tst_CalcParts::workbookFileNames() {
    QFETCH(QString, given);
    QTEST(workbookFileName(given), "stored");
}

void tst_CalcParts::storeFilters_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("filter");
    QTest::newRow("xls") << "a.xls"
                         << "MS Excel 97";
    QTest::newRow("XLS in capitals") << "A.XLS"
                                     << "MS Excel 97";
    QTest::newRow("xlsx") << "a.xlsx"
                          << "Calc MS Excel 2007 XML";
    QTest::newRow("ods") << "a.ods"
                         << "calc8";
    QTest::newRow("csv") << "a.csv"
                         << "Text - txt - csv (StarCalc)";
    QTest::newRow("unknown") << "a.txt"
                             << "";
}

void tst_CalcParts::storeFilters() {
    QFETCH(QString, file);
    QTEST(storeFilterFor(file), "filter");
}

void tst_CalcParts::nameFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("qt");
    QTest::newRow("one") << "Excel workbook,*.xls" << QStringList{"Excel workbook (*.xls)"};
    QTest::newRow("two") << "Excel workbook,*.xls,All files,*.*"
                         << QStringList{"Excel workbook (*.xls)", "All files (*.*)"};
    QTest::newRow("several patterns")
        << "Workbooks,*.xls;*.ods" << QStringList{"Workbooks (*.xls *.ods)"};
    QTest::newRow("empty") << "" << QStringList{};
}

void tst_CalcParts::nameFilters() {
    QFETCH(QString, filter);
    QTEST(qtNameFilters(filter), "qt");
}

void tst_CalcParts::answerDialog(const QString& fileName) {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Please rename this workbook"));
    QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("Excel workbook (*.xls)")});
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    if (fileName.isEmpty()) {
        dialog->reject();
        return;
    }
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(fileName);
    QTest::keyClick(name, Qt::Key_Return);
}

void tst_CalcParts::saveAsDialogAnswered() {
    QTemporaryDir folder;
    const QString chosen = folder.filePath(QStringLiteral("results.xls"));
    QTimer::singleShot(0, this, [this, chosen] { answerDialog(chosen); });
    QCOMPARE(askSaveAsFilename(QString(), QStringLiteral("Excel workbook,*.xls"),
                               QStringLiteral("Please rename this workbook"), folder.path()),
             chosen);
}

void tst_CalcParts::saveAsDialogCancelled() {
    QTemporaryDir folder;
    QTimer::singleShot(0, this, [this] { answerDialog(QString()); });
    QCOMPARE(askSaveAsFilename(QString(), QStringLiteral("Excel workbook,*.xls"),
                               QStringLiteral("Please rename this workbook"), folder.path()),
             QString());
}

void tst_CalcParts::lockOwners_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ours");
    const QByteArray profile = "file:///home/u/.local/share/Celvane/office";
    QTest::newRow("ours") << ",u,host,06.12.2026 20:42," + profile + ";" << true;
    QTest::newRow("ours, line end") << ",u,host,06.12.2026 20:42," + profile + ";\n" << true;
    QTest::newRow("author with comma")
        << "Doe\\, Jane,u,host,06.12.2026 20:42," + profile + ";" << true;
    QTest::newRow("other profile") << QByteArray(",u,host,06.12.2026 20:42,file:///home/u/.config/"
                                                 "libreoffice/4;")
                                   << false;
    QTest::newRow("profile below ours") << ",u,host,date," + profile + "/other;" << false;
    QTest::newRow("garbage") << QByteArray("nonsense") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_CalcParts::lockOwners() {
    QFETCH(QByteArray, content);
    QTEST(isLockOf(content, QStringLiteral("file:///home/u/.local/share/Celvane/office")), "ours");
}

void tst_CalcParts::removeOnlyOwnLocks() {
    QTemporaryDir folder;
    const QString ours = folder.filePath(QStringLiteral("ours.xls"));
    const QString theirs = folder.filePath(QStringLiteral("theirs.xls"));
    QCOMPARE(lockFilePath(ours), folder.filePath(QStringLiteral(".~lock.ours.xls#")));
    const auto writeLock = [](const QString& document, const QByteArray& content) {
        QFile lock(lockFilePath(document));
        return lock.open(QIODevice::WriteOnly) && lock.write(content) == content.size();
    };
    QVERIFY(writeLock(ours, ",u,host,date,file:///p/ours;"));
    QVERIFY(writeLock(theirs, ",u,host,date,file:///p/theirs;"));
    QVERIFY(removeOwnLock(ours, QStringLiteral("file:///p/ours")));
    QVERIFY(!removeOwnLock(theirs, QStringLiteral("file:///p/ours")));
    QVERIFY(!QFile::exists(lockFilePath(ours)));
    QVERIFY(QFile::exists(lockFilePath(theirs)));
    // No lock at all: nothing to remove.
    QVERIFY(
        !removeOwnLock(folder.filePath(QStringLiteral("none.xls")), QStringLiteral("file:///p")));
}

void tst_CalcParts::processEndsAndReportsExitCode() {
    OfficeProcess process;
    QVERIFY(!process.ended());
    QVERIFY(process.start(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), QStringLiteral("exit 81")}));
    QVERIFY(process.waitForEnd(std::chrono::seconds(30)));
    QVERIFY(!process.running());
    QCOMPARE(process.exitCode(), 81);
}

void tst_CalcParts::processStoppedAndKilled() {
    OfficeProcess process;
    QVERIFY(process.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}));
    QVERIFY(process.running());
    QVERIFY(!process.stopped());
    ::kill(process.pid(), SIGSTOP);
    QTRY_VERIFY(process.stopped());
    QVERIFY(!process.waitForEnd(std::chrono::milliseconds(50)));
    process.kill();
    QVERIFY(process.ended());
    QCOMPARE(process.exitCode(), -1);
    QCOMPARE(::kill(process.pid(), 0), -1);
}

void tst_CalcParts::workerRunsJobsInOrder() {
    OfficeProcess office;
    QVERIFY(office.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}));
    UnoWorker worker(office);
    QStringList order;
    for (const QString& name : {QStringLiteral("open"), QStringLiteral("write")})
        QVERIFY(worker
                    .perform(
                        [&order, name] {
                            order << name;
                            return Status::success();
                        },
                        UnoWorker::Wait::Slow)
                    .ok());
    const Status failed = worker.perform(
        [] { return Status::failure(SpreadsheetStatus::Failed, QStringLiteral("no")); },
        UnoWorker::Wait::Reply);
    QCOMPARE(failed.code, SpreadsheetStatus::Failed);
    QCOMPARE(order, (QStringList{QStringLiteral("open"), QStringLiteral("write")}));
    QVERIFY(worker.idle());
}

void tst_CalcParts::unansweredWriteIsBusy() {
    OfficeProcess office;
    QVERIFY(office.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}));
    UnoWorker worker(office, std::chrono::milliseconds(100));
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    std::atomic_int written = 0;
    // A write the office does not answer in time.
    const Status first = worker.perform(
        [answered, &written] {
            answered.wait();
            ++written;
            return Status::success();
        },
        UnoWorker::Wait::Reply);
    QCOMPARE(first.code, SpreadsheetStatus::Busy);
    // A later write does not queue behind it.
    const Status second = worker.perform(
        [&written] {
            written += 100;
            return Status::success();
        },
        UnoWorker::Wait::Reply);
    QCOMPARE(second.code, SpreadsheetStatus::Busy);
    QVERIFY(!worker.idle());
    answer.set_value();
    // The abandoned write still ends; the refused one never ran.
    QTRY_VERIFY(worker.idle());
    QCOMPARE(written.load(), 1);
    QVERIFY(worker.perform([] { return Status::success(); }, UnoWorker::Wait::Reply).ok());
}

void tst_CalcParts::slowCallWaitsForAStoppedOfficeNoLonger() {
    OfficeProcess office;
    QVERIFY(office.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}));
    UnoWorker worker(office, std::chrono::milliseconds(100));
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    ::kill(office.pid(), SIGSTOP);
    const Status status = worker.perform(
        [answered] {
            answered.wait();
            return Status::success();
        },
        UnoWorker::Wait::Slow);
    QCOMPARE(status.code, SpreadsheetStatus::Busy);
    answer.set_value();
    QTRY_VERIFY(worker.idle());
    ::kill(office.pid(), SIGCONT);
}

void tst_CalcParts::endedOfficeFailsClosed() {
    OfficeProcess office;
    QVERIFY(office.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}));
    UnoWorker worker(office);
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    // The office dies while a slow call waits for it.
    const pid_t pid = office.pid();
    std::thread killer([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(pid, SIGKILL);
    });
    const Status waiting = worker.perform(
        [answered] {
            answered.wait();
            return Status::success();
        },
        UnoWorker::Wait::Slow);
    killer.join();
    QCOMPARE(waiting.code, SpreadsheetStatus::Closed);
    answer.set_value();
    // Every later call fails at once, without running.
    bool ran = false;
    const Status later = worker.perform(
        [&ran] {
            ran = true;
            return Status::success();
        },
        UnoWorker::Wait::Reply);
    QCOMPARE(later.code, SpreadsheetStatus::Closed);
    QVERIFY(!ran);
}

void tst_CalcParts::officeThatDoesNotStart_data() {
    QTest::addColumn<QString>("office");
    QTest::newRow("not installed") << "/nonexistent/soffice.bin";
    QTest::newRow("ends at once") << "/bin/true";
}

void tst_CalcParts::officeThatDoesNotStart() {
    QFETCH(QString, office);
    QTemporaryDir home;
    CalcOptions options;
    options.office = office;
    options.profileDir = home.filePath(QStringLiteral("profile"));
    options.startupDir = home.filePath(QStringLiteral("startup"));
    options.recoveryDir = home.filePath(QStringLiteral("documents"));
    CalcSpreadsheetFactory factory(options);
    Status status;
    QVERIFY(!factory.create(status));
    QCOMPARE(status.code, SpreadsheetStatus::Failed);
    QVERIFY(!status.message.isEmpty());
    // An application whose start failed only fails, as closed.
    CalcSpreadsheet app(options);
    QVERIFY(!app.start().ok());
    QCOMPARE(app.workbooks().status.code, SpreadsheetStatus::Closed);
    QCOMPARE(app.open(home.filePath(QStringLiteral("x.xls"))).status.code,
             SpreadsheetStatus::Closed);
    QCOMPARE(app.setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(app.startupPath().status.code, SpreadsheetStatus::Closed);
    QCOMPARE(app.quit().status.code, SpreadsheetStatus::Closed);
}

QTEST_MAIN(tst_CalcParts)
#include "tst_calcparts.moc"
