// The Calc bridge against a real headless office: what only a real office shows.

#include "calcspreadsheet.h"
#include "officelock.h"
#include "officetesthome.h"
#include "saveasanswer.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

class tst_CalcOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_home.isReady()); }
    void init() { start(); }
    void cleanup() { m_app.reset(); }
    void macroByQualifiedName();
    void staleLockOfOurProfile();
    void stuckOffice();
    void destroyingEndsTheOffice();
    void saveAsDialog();

private:
    void start() {
        m_app = std::make_unique<CalcSpreadsheet>(m_home.options());
        QVERIFY(m_app->start().ok());
    }
    WorkbookId openCopy(const QString& name) { return m_home.openMasterCopy(*m_app, name); }
    QString file(const QString& name) const { return m_home.file(name); }

    OfficeTestHome m_home;
    std::unique_ptr<CalcSpreadsheet> m_app;
};

void tst_CalcOffice::macroByQualifiedName() {
    const Result<WorkbookId> macros = m_app->open(file("macros.ods"));
    const WorkbookId capture = openCopy("spreadsheet.xls");
    QVERIFY(macros.ok() && capture);
    // The capture stop searches every entry of workbooks() by name; "My Macros" come last.
    QCOMPARE(m_app->workbooks().value,
             (QList<WorkbookId>{macros.value, capture, CalcSpreadsheet::MyMacros}));
    QCOMPARE(m_app->activate(CalcSpreadsheet::MyMacros).code, SpreadsheetStatus::Failed);
    // Tidy writes into macros.ods, PersonalTidy (in "My Macros") into the file "ran".
    for (const auto& [macro, runs] : QList<std::pair<const char*, bool>>{
             {"macros.ods!Module2.Tidy", false},
             {"spreadsheet.xls!PersonalTidy", false},
             {"Personal.xls!PersonalTidy", true},
             {"macros.ods!Module1.Tidy", true},
             {"MACROS.ODS!standard.module1.TIDY", true},
         }) {
        QFile::remove(file("ran"));
        QCOMPARE(m_app->run(QString::fromLatin1(macro)).ok(), runs);
        QCOMPARE(!m_app->saved(macros.value).value || QFile::exists(file("ran")), runs);
    }
    QVERIFY(m_app->run(u"PersonalTidy"_s).ok() && QFile::exists(file("ran")));
    // The capture workbook is still the one written to.
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    QCOMPARE(m_app->saved(capture).value, false);
}

void tst_CalcOffice::staleLockOfOurProfile() {
    QVERIFY(openCopy("book.xls"));
    ::kill(m_app->officePid(), SIGKILL);
    QTRY_COMPARE(m_app->setCell(1, 1, 2.0).code, SpreadsheetStatus::Closed);
    // The office could not clean up: its lock names our profile. Left under another host name
    // it would have the office open the workbook read-only; it is ours all the same.
    const QByteArray profile = QUrl::fromLocalFile(m_home.options().profileDir).toEncoded();
    QFile lock(lockFilePath(file("book.xls")));
    QVERIFY(lock.open(QIODevice::ReadWrite) &&
            isLockOf(lock.readAll(), QString::fromUtf8(profile)));
    QVERIFY(lock.resize(0) && lock.write(",user,other host,06.12.2026 20:42," + profile + ";"));
    lock.close();

    start();
    const Result<WorkbookId> reopened = m_app->open(file("book.xls"));
    QVERIFY(reopened.ok());
    QVERIFY(m_app->setCell(1, 1, u"after the lock"_s).ok());
    QVERIFY(m_app->saveAs(reopened.value, file("book.xls")).ok()); // not read-only
    QCOMPARE(
        firstDifference(readXls(file("book.xls")), {SheetCells{{{1, 1}, u"after the lock"_s}}}),
        QString());
}

void tst_CalcOffice::stuckOffice() {
    const WorkbookId book = openCopy("book.xls");
    QVERIFY(book);
    const pid_t office = m_app->officePid();
    ::kill(office, SIGSTOP);
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Busy);
    // Behind the unanswered write nothing else is sent.
    QCOMPARE(m_app->setCell(1, 2, 2.0).code, SpreadsheetStatus::Busy);
    QCOMPARE(m_app->saved(book).status.code, SpreadsheetStatus::Busy);
    ::kill(office, SIGCONT);
    QVERIFY(m_app->settle().ok());
    // The same write takes the late answer; a sheet added late is added once.
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    ::kill(office, SIGSTOP);
    QCOMPARE(m_app->addWorksheet().code, SpreadsheetStatus::Busy);
    ::kill(office, SIGCONT);
    QVERIFY(m_app->settle().ok() && m_app->addWorksheet().ok());
    QVERIFY(m_app->setCell(1, 3, 3.0).ok());
    QVERIFY(m_app->saveAs(book, file("after.xls")).ok());
    QCOMPARE(firstDifference(readXls(file("after.xls")),
                             {SheetCells{{{1, 1}, 1.0}}, SheetCells{{{1, 3}, 3.0}}}),
             QString());
    // Stopped for good with a modified workbook: quit says no copy was kept and ends it.
    QVERIFY(m_app->setCell(2, 1, 4.0).ok());
    ::kill(office, SIGSTOP);
    QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Busy);
    QCOMPARE(officeProcesses(), QList<pid_t>{});
}

void tst_CalcOffice::destroyingEndsTheOffice() {
    QVERIFY(openCopy("book.xls"));
    QVERIFY(m_app->setCell(1, 1, u"kept"_s).ok());
    const QDir documents(m_home.options().recoveryDir);
    const qsizetype before = documents.entryList(QDir::Files).size();
    m_app.reset();
    QCOMPARE(officeProcesses(), QList<pid_t>{});
    QVERIFY(!QFile::exists(lockFilePath(file("book.xls"))));
    QCOMPARE(documents.entryList(QDir::Files).size(), before + 1); // the modified workbook
}

void tst_CalcOffice::saveAsDialog() {
    const auto ask = [this] {
        return m_app->getSaveAsFilename(QString(), u"Excel workbook,*.xls"_s, u"Rename"_s);
    };
    const ModalAnswer cancel([&](QDialog* dialog) {
        QCOMPARE(dialog->windowTitle(), u"Rename"_s);
        QCOMPARE(qobject_cast<QFileDialog*>(dialog)->directory().absolutePath(),
                 m_home.options().recoveryDir);
        dialog->reject();
    });
    QCOMPARE(ask().value, u"False"_s);
    QVERIFY(cancel.closedByUser());
    const ModalAnswer answer = answerSaveAs(file("chosen.xls"));
    QCOMPARE(ask().value, file("chosen.xls"));
    QVERIFY(answer.closedByUser());
    QVERIFY(!QFile::exists(file("chosen.xls"))); // the dialog writes nothing
}

QTEST_MAIN(tst_CalcOffice)
#include "tst_calcoffice.moc"
