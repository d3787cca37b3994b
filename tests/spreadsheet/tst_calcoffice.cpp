// The Calc bridge against a real headless LibreOffice: what only a real office shows.

#include "calcspreadsheet.h"
#include "officelock.h"
#include "officetesthome.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

} // namespace

class tst_CalcOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void orvaRowSavedAsXls();
    void visibleWithoutDisplay();
    void documentMacroByQualifiedName_data();
    void documentMacroByQualifiedName();
    void personalMacrosFromMyMacros();
    void killedOfficeLeavesOwnLock();
    void staleLockDoesNotHangTheOpen();
    void stuckOfficeIsBusy();
    void quitLeavesNoOffice();
    void destroyingEndsTheOffice();
    void saveAsDialog();

private:
    CalcSpreadsheet& start();
    QString file(const QString& name) const { return m_files->filePath(name); }

    std::unique_ptr<OfficeTestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<CalcSpreadsheet> m_app;
};

void tst_CalcOffice::initTestCase() {
    m_home = std::make_unique<OfficeTestHome>();
    QVERIFY(m_home->isValid());
    QVERIFY(m_home->prepareProfile());
    // "My Macros" of the program's profile holds the user's personal macro.
    QVERIFY(makeUserMacros(m_home->options().profileDir, m_home->path(QStringLiteral("ran"))));
}

void tst_CalcOffice::init() {
    m_files = std::make_unique<QTemporaryDir>();
}

void tst_CalcOffice::cleanup() {
    m_app.reset();
    m_files.reset();
}

CalcSpreadsheet& tst_CalcOffice::start() {
    m_app = std::make_unique<CalcSpreadsheet>(m_home->options());
    const Status status = m_app->start();
    if (!status.ok())
        qFatal("cannot start the office: %s", qPrintable(status.message));
    return *m_app;
}

void tst_CalcOffice::orvaRowSavedAsXls() {
    start();
    QVERIFY(copyMaster(file(QStringLiteral("spreadsheet.xls"))));
    const Result<WorkbookId> book = m_app->open(file(QStringLiteral("spreadsheet.xls")));
    QVERIFY(book.ok());
    // 0 0042 :: 12-06-2026 14:05:09 = 51 (RAW)  23 (C), as the receive path writes it.
    const QStringList tokens{"0", "0042", "12-06-2026", "14:05:09", "51", "(RAW)", "23", "(C)"};
    for (int column = 1; column <= tokens.size(); ++column)
        QVERIFY(m_app->setCell(2, column, tokens[column - 1]).ok());
    QVERIFY(m_app->setCell(1, 1, 14.5).ok());
    QVERIFY(m_app->saveAs(book.value, file(QStringLiteral("capture.xls"))).ok());

    const auto sheets = readXls(file(QStringLiteral("capture.xls")));
    QVERIFY(sheets);
    QCOMPARE(sheets->size(), 1);
    const SheetCells expected{
        {{1, 1}, 14.5},
        {{2, 1}, 0.0},
        {{2, 2}, 42.0},
        {{2, 3}, QStringLiteral("12-06-2026")},
        {{2, 4}, QStringLiteral("14:05:09")},
        {{2, 5}, 51.0},
        {{2, 6}, QStringLiteral("(RAW)")},
        {{2, 7}, 23.0},
        {{2, 8}, QStringLiteral("(C)")},
    };
    QCOMPARE(sheets->at(0), expected);
    // The working copy itself is untouched.
    QCOMPARE(readXls(file(QStringLiteral("spreadsheet.xls")))->value(0), SheetCells{});
}

void tst_CalcOffice::visibleWithoutDisplay() {
    start();
    QVERIFY(m_app->headless());
    QVERIFY(copyMaster(file(QStringLiteral("book.xls"))));
    QVERIFY(m_app->open(file(QStringLiteral("book.xls"))).ok());
    QVERIFY(m_app->setVisible(true).ok());
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
}

void tst_CalcOffice::documentMacroByQualifiedName_data() {
    QTest::addColumn<QString>("macro");
    QTest::addColumn<bool>("runs");
    QTest::newRow("macro") << "macros.ods!Tidy" << true;
    QTest::newRow("module and macro") << "macros.ods!Module1.Tidy" << true;
    QTest::newRow("library, module and macro") << "macros.ods!Standard.Module1.Tidy" << true;
    QTest::newRow("names in other case") << "MACROS.ODS!module1.TIDY" << true;
    QTest::newRow("wrong module") << "macros.ods!Module2.Tidy" << false;
    QTest::newRow("missing macro") << "macros.ods!Untidy" << false;
    QTest::newRow("macro that fails") << "macros.ods!Fails" << false;
    QTest::newRow("workbook not open") << "other.ods!Tidy" << false;
    QTest::newRow("personal macro under the wrong workbook") << "macros.ods!PersonalTidy" << false;
}

void tst_CalcOffice::documentMacroByQualifiedName() {
    QFETCH(QString, macro);
    QFETCH(bool, runs);
    start();
    QVERIFY(makeMacroBook(file(QStringLiteral("macros.ods"))));
    const Result<WorkbookId> book = m_app->open(file(QStringLiteral("macros.ods")));
    QVERIFY(book.ok());
    const Status status = m_app->run(macro);
    QCOMPARE(status.ok(), runs);
    if (!runs)
        QCOMPARE(status.code, SpreadsheetStatus::Failed);
    // Tidy writes into the workbook: it is modified exactly when the macro ran.
    QCOMPARE(m_app->saved(book.value).value, !runs);
}

void tst_CalcOffice::personalMacrosFromMyMacros() {
    start();
    QVERIFY(copyMaster(file(QStringLiteral("spreadsheet.xls"))));
    const Result<WorkbookId> capture = m_app->open(file(QStringLiteral("spreadsheet.xls")));
    QVERIFY(capture.ok());
    // The capture stop's search: every entry of workbooks() by name; "My Macros" comes last.
    const Result<QList<WorkbookId>> books = m_app->workbooks();
    QCOMPARE(books.value, (QList<WorkbookId>{capture.value, CalcSpreadsheet::MyMacros}));
    QCOMPARE(m_app->name(CalcSpreadsheet::MyMacros).value, QStringLiteral("Personal.xls"));
    QCOMPARE(m_app->saved(CalcSpreadsheet::MyMacros).value, true);
    QCOMPARE(m_app->activate(CalcSpreadsheet::MyMacros).code, SpreadsheetStatus::Failed);

    QCOMPARE(m_app->run(QStringLiteral("spreadsheet.xls!PersonalTidy")).code,
             SpreadsheetStatus::Failed);
    QVERIFY(!QFile::exists(m_home->path(QStringLiteral("ran"))));
    QVERIFY(m_app->run(QStringLiteral("Personal.xls!PersonalTidy")).ok());
    QCOMPARE(readAll(m_home->path(QStringLiteral("ran"))), QStringLiteral("ran"));
    QFile::remove(m_home->path(QStringLiteral("ran")));
    // Unqualified, the search ends in "My Macros" too.
    QVERIFY(m_app->run(QStringLiteral("PersonalTidy")).ok());
    QCOMPARE(readAll(m_home->path(QStringLiteral("ran"))), QStringLiteral("ran"));
    // The capture workbook is still the one written to.
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    QCOMPARE(m_app->saved(capture.value).value, false);
}

void tst_CalcOffice::killedOfficeLeavesOwnLock() {
    start();
    QVERIFY(copyMaster(file(QStringLiteral("book.xls"))));
    QVERIFY(m_app->open(file(QStringLiteral("book.xls"))).ok());
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    ::kill(m_app->officePid(), SIGKILL);
    QTRY_COMPARE(m_app->setCell(1, 1, 2.0).code, SpreadsheetStatus::Closed);
    // The office could not clean up: its lock names our profile, so the next open may drop it.
    QFile lock(lockFilePath(file(QStringLiteral("book.xls"))));
    QVERIFY(lock.open(QIODevice::ReadOnly));
    QVERIFY(
        isLockOf(lock.readAll(),
                 QString::fromUtf8(QUrl::fromLocalFile(m_home->options().profileDir).toEncoded())));
}

void tst_CalcOffice::staleLockDoesNotHangTheOpen() {
    QVERIFY(copyMaster(file(QStringLiteral("book.xls"))));
    // The lock a killed office of ours left behind (as killedOfficeLeavesOwnLock shows).
    QFile lock(lockFilePath(file(QStringLiteral("book.xls"))));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(",user,host,06.12.2026 20:42," +
               QUrl::fromLocalFile(m_home->options().profileDir).toEncoded() + ";");
    lock.close();
    start();
    const Result<WorkbookId> book = m_app->open(file(QStringLiteral("book.xls")));
    QVERIFY(book.ok());
    QVERIFY(m_app->setCell(1, 1, QStringLiteral("after the lock")).ok());
    // Opened for writing, not read-only: it saves into its own file.
    QVERIFY(m_app->saveAs(book.value, file(QStringLiteral("book.xls"))).ok());
    QCOMPARE(readXls(file(QStringLiteral("book.xls")))->value(0).value({1, 1}),
             QVariant(QStringLiteral("after the lock")));
}

void tst_CalcOffice::stuckOfficeIsBusy() {
    start();
    QVERIFY(copyMaster(file(QStringLiteral("book.xls"))));
    const Result<WorkbookId> book = m_app->open(file(QStringLiteral("book.xls")));
    QVERIFY(book.ok());
    ::kill(m_app->officePid(), SIGSTOP);
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Busy);
    // Behind the unanswered write, writes are busy at once and slow calls give up too.
    QCOMPARE(m_app->setCell(1, 2, 2.0).code, SpreadsheetStatus::Busy);
    QCOMPARE(m_app->saved(book.value).status.code, SpreadsheetStatus::Busy);
    QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Busy);
    ::kill(m_app->officePid(), SIGCONT);
    QTRY_VERIFY(m_app->setCell(1, 2, 2.0).ok());
    // The write that was abandoned as busy landed too.
    QVERIFY(m_app->saveAs(book.value, file(QStringLiteral("after.xls"))).ok());
    QCOMPARE(readXls(file(QStringLiteral("after.xls")))->value(0),
             (SheetCells{{{1, 1}, 1.0}, {{1, 2}, 2.0}}));
}

void tst_CalcOffice::quitLeavesNoOffice() {
    start();
    const pid_t office = m_app->officePid();
    QVERIFY(copyMaster(file(QStringLiteral("book.xls"))));
    QVERIFY(m_app->open(file(QStringLiteral("book.xls"))).ok());
    const Result<QString> quit = m_app->quit();
    QVERIFY(quit.ok());
    QCOMPARE(quit.value, QString()); // nothing was modified
    QVERIFY(processGone(office));
    QVERIFY(!QFile::exists(lockFilePath(file(QStringLiteral("book.xls")))));
    QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Closed);
}

void tst_CalcOffice::destroyingEndsTheOffice() {
    start();
    const pid_t office = m_app->officePid();
    QVERIFY(copyMaster(file(QStringLiteral("book.xls"))));
    QVERIFY(m_app->open(file(QStringLiteral("book.xls"))).ok());
    QVERIFY(m_app->setCell(1, 1, QStringLiteral("kept")).ok());
    const QDir documents(m_home->options().recoveryDir);
    const qsizetype before = documents.entryList(QDir::Files).size();
    m_app.reset();
    QVERIFY(processGone(office));
    // Nothing lost: the modified workbook was kept in the documents folder.
    QCOMPARE(documents.entryList(QDir::Files).size(), before + 1);
}

void tst_CalcOffice::saveAsDialog() {
    start();
    const QString chosen = file(QStringLiteral("chosen.xls"));
    QTimer::singleShot(0, this, [chosen] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Please rename this workbook"));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(chosen);
        QTest::keyClick(name, Qt::Key_Return);
    });
    const Result<QString> answer =
        m_app->getSaveAsFilename(QString(), QStringLiteral("Excel workbook,*.xls"),
                                 QStringLiteral("Please rename this workbook"));
    QVERIFY(answer.ok());
    QCOMPARE(answer.value, chosen);
    QTimer::singleShot(0, this, [] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->reject();
    });
    const Result<QString> cancelled =
        m_app->getSaveAsFilename(QString(), QStringLiteral("Excel workbook,*.xls"),
                                 QStringLiteral("Please rename this workbook"));
    QVERIFY(cancelled.ok());
    QCOMPARE(cancelled.value, QStringLiteral("False"));
    QVERIFY(!QFile::exists(chosen)); // the dialog writes nothing
}

QTEST_MAIN(tst_CalcOffice)
#include "tst_calcoffice.moc"
