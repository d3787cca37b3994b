// The Calc bridge against a real headless LibreOffice: what only a real office shows.

#include "calcspreadsheet.h"
#include "modalanswer.h"
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

class tst_CalcOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void documentMacroByQualifiedName_data();
    void documentMacroByQualifiedName();
    void personalMacrosFromMyMacros();
    void staleLockOfOurProfile();
    void stuckOfficeIsBusy();
    void quitLeavesNoOffice();
    void destroyingEndsTheOffice();
    void saveAsDialog();

private:
    void start();
    WorkbookId openCopy(const QString& name) { return openMasterCopy(*m_app, file(name)); }
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

void tst_CalcOffice::start() {
    m_app = std::make_unique<CalcSpreadsheet>(m_home->options());
    const Status status = m_app->start();
    if (!status.ok())
        qFatal("cannot start the office: %s", qPrintable(status.message));
}

void tst_CalcOffice::documentMacroByQualifiedName_data() {
    QTest::addColumn<QString>("macro");
    QTest::addColumn<bool>("runs");
    QTest::newRow("module and macro") << "macros.ods!Module1.Tidy" << true;
    QTest::newRow("library, module and macro") << "macros.ods!Standard.Module1.Tidy" << true;
    QTest::newRow("names in other case") << "MACROS.ODS!module1.TIDY" << true;
    QTest::newRow("wrong module") << "macros.ods!Module2.Tidy" << false;
}

void tst_CalcOffice::documentMacroByQualifiedName() {
    QFETCH(QString, macro);
    QFETCH(bool, runs);
    start();
    QVERIFY(makeMacroBook(file(QStringLiteral("macros.ods"))));
    const Result<WorkbookId> book = m_app->open(file(QStringLiteral("macros.ods")));
    QVERIFY(book.ok());
    QCOMPARE(m_app->run(macro).code, runs ? SpreadsheetStatus::Ok : SpreadsheetStatus::Failed);
    // Tidy writes into the workbook: it is modified exactly when the macro ran.
    QCOMPARE(m_app->saved(book.value).value, !runs);
}

void tst_CalcOffice::personalMacrosFromMyMacros() {
    start();
    const WorkbookId capture = openCopy(QStringLiteral("spreadsheet.xls"));
    QVERIFY(capture);
    QVERIFY(m_app->setVisible(true).ok()); // without a display too
    // The capture stop's search: every entry of workbooks() by name; "My Macros" comes last.
    QCOMPARE(m_app->workbooks().value, (QList<WorkbookId>{capture, CalcSpreadsheet::MyMacros}));
    QCOMPARE(m_app->name(CalcSpreadsheet::MyMacros).value, QStringLiteral("Personal.xls"));
    QCOMPARE(m_app->saved(CalcSpreadsheet::MyMacros).value, true);
    QCOMPARE(m_app->activate(CalcSpreadsheet::MyMacros).code, SpreadsheetStatus::Failed);

    const QString mark = m_home->path(QStringLiteral("ran"));
    QCOMPARE(m_app->run(QStringLiteral("spreadsheet.xls!PersonalTidy")).code,
             SpreadsheetStatus::Failed);
    QVERIFY(!QFile::exists(mark));
    QVERIFY(m_app->run(QStringLiteral("Personal.xls!PersonalTidy")).ok());
    QVERIFY(QFile::remove(mark));
    // Unqualified, the search ends in "My Macros" too.
    QVERIFY(m_app->run(QStringLiteral("PersonalTidy")).ok());
    QVERIFY(QFile::remove(mark));
    // The capture workbook is still the one written to.
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    QCOMPARE(m_app->saved(capture).value, false);
}

void tst_CalcOffice::staleLockOfOurProfile() {
    start();
    const QString book = file(QStringLiteral("book.xls"));
    QVERIFY(openCopy(QStringLiteral("book.xls")));
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    ::kill(m_app->officePid(), SIGKILL);
    QTRY_COMPARE(m_app->setCell(1, 1, 2.0).code, SpreadsheetStatus::Closed);
    // The office could not clean up: its lock names our profile.
    const QByteArray profile = QUrl::fromLocalFile(m_home->options().profileDir).toEncoded();
    QFile lock(lockFilePath(book));
    QVERIFY(lock.open(QIODevice::ReadOnly));
    QVERIFY(isLockOf(lock.readAll(), QString::fromUtf8(profile)));
    lock.close();
    // Left under another user or host name (a renamed machine, a shared home), such a lock
    // would have the office open the workbook read-only. It is ours all the same: taken away.
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(",user,other host,06.12.2026 20:42," + profile + ";");
    lock.close();

    start();
    const Result<WorkbookId> reopened = m_app->open(book);
    QVERIFY(reopened.ok());
    QVERIFY(m_app->setCell(1, 1, QStringLiteral("after the lock")).ok());
    QVERIFY(m_app->saveAs(reopened.value, book).ok()); // into its own file: not read-only
    QCOMPARE(readXls(book).value_or(QList<SheetCells>{}).value(0),
             (SheetCells{{{1, 1}, QStringLiteral("after the lock")}}));
}

void tst_CalcOffice::stuckOfficeIsBusy() {
    start();
    const WorkbookId book = openCopy(QStringLiteral("book.xls"));
    QVERIFY(book);
    ::kill(m_app->officePid(), SIGSTOP);
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Busy);
    // Behind the unanswered write, writes are busy at once and slow calls give up too.
    QCOMPARE(m_app->setCell(1, 2, 2.0).code, SpreadsheetStatus::Busy);
    QCOMPARE(m_app->saved(book).status.code, SpreadsheetStatus::Busy);
    QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Busy);
    ::kill(m_app->officePid(), SIGCONT);
    QTRY_VERIFY(m_app->setCell(1, 2, 2.0).ok());
    // The write that was abandoned as busy landed too.
    QVERIFY(m_app->saveAs(book, file(QStringLiteral("after.xls"))).ok());
    QCOMPARE(readXls(file(QStringLiteral("after.xls"))).value_or(QList<SheetCells>{}).value(0),
             (SheetCells{{{1, 1}, 1.0}, {{1, 2}, 2.0}}));
}

void tst_CalcOffice::quitLeavesNoOffice() {
    start();
    const pid_t office = m_app->officePid();
    QVERIFY(openCopy(QStringLiteral("book.xls")));
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
    QVERIFY(openCopy(QStringLiteral("book.xls")));
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
    const auto ask = [this] {
        return m_app->getSaveAsFilename(QString(), QStringLiteral("Excel workbook,*.xls"),
                                        QStringLiteral("Please rename this workbook"));
    };
    const QString documents = m_home->options().recoveryDir;
    ModalAnswer answer([&](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        QVERIFY(files);
        QCOMPARE(files->windowTitle(), QStringLiteral("Please rename this workbook"));
        QCOMPARE(files->nameFilters(), QStringList{QStringLiteral("Excel workbook (*.xls)")});
        QCOMPARE(files->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(files->directory().absolutePath(), documents);
        auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(chosen);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QCOMPARE(ask().value, chosen);
    QVERIFY(answer.closedByUser());

    ModalAnswer cancel([](QDialog* dialog) { dialog->reject(); });
    QCOMPARE(ask().value, QStringLiteral("False"));
    QVERIFY(cancel.closedByUser());
    QVERIFY(!QFile::exists(chosen)); // the dialog writes nothing
}

QTEST_MAIN(tst_CalcOffice)
#include "tst_calcoffice.moc"
