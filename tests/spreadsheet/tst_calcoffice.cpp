// The spreadsheet interface as the Calc bridge keeps it with a real headless office.

#include "calcspreadsheet.h"
#include "officelock.h"
#include "officetesthome.h"
#include "spreadsheetcontract.h"

#include <QDir>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

class tst_CalcOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_home.isReady()); }
    void init() {
        m_app = std::make_unique<CalcSpreadsheet>(m_home.options());
        QVERIFY(m_app->start().ok());
    }
    void cleanup() { m_app.reset(); }

    void contract() {
        const WorkbookId book = openCopy("book.xls");
        QVERIFY(book);
        checkSpreadsheetContract(*m_app, book, QFileInfo(file("book.xls")).path(), readXls);
    }

    void macros() {
        const Result<WorkbookId> macros = m_app->open(file("macros.ods"));
        QVERIFY(macros.ok() && openCopy("spreadsheet.xls"));
        // Tidy writes into macros.ods, PersonalTidy (in "My Macros") into the file "ran".
        const QStringList failing{u"macros.ods!Fails"_s, u"macros.ods!NoSuchMacro"_s,
                                  u"absent.xls!Tidy"_s, u"spreadsheet.xls!PersonalTidy"_s};
        const QStringList running{u"Personal.xls!PersonalTidy"_s, u"PersonalTidy"_s,
                                  u"MACROS.ODS!standard.module1.TIDY"_s};
        for (const QString& macro : failing + running) {
            QFile::remove(file("ran"));
            QCOMPARE(m_app->run(macro).ok(), running.contains(macro));
            QCOMPARE(!m_app->saved(macros.value).value || QFile::exists(file("ran")),
                     running.contains(macro));
        }
    }

    void killedOfficeThenEnd() {
        QVERIFY(openCopy("book.xls"));
        ::kill(m_app->officePid(), SIGKILL);
        QTRY_COMPARE(m_app->setCell(1, 1, 2.0).code, SpreadsheetStatus::Closed);
        QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Closed);
        init(); // the lock it left does not make the workbook read-only
        QVERIFY(openCopy("unchanged.xls"));
        const Result<WorkbookId> reopened = m_app->open(file("book.xls"));
        QVERIFY(reopened.ok() && m_app->setCell(1, 1, u"after"_s).ok());
        QVERIFY(m_app->saveAs(reopened.value, file("book.xls")).ok());
        QVERIFY(m_app->setCell(5, 2, u"not lost"_s).ok());
        const QDir documents(m_home.options().recoveryDir);
        const QStringList before = documents.entryList(QDir::Files);
        m_app.reset(); // as the program ends without quitting first
        // Only the modified workbook is kept, in the recovery folder; no office or lock is left.
        QStringList kept = documents.entryList(QDir::Files);
        kept.removeIf([&](const QString& name) { return before.contains(name); });
        QVERIFY(kept.size() == 1 && kept[0].startsWith(u"book"));
        QCOMPARE(readXls(documents.filePath(kept[0])),
                 (QList<SheetCells>{{{{1, 1}, u"after"_s}, {{5, 2}, u"not lost"_s}}}));
        QCOMPARE(officeProcesses(), QList<pid_t>{});
        QVERIFY(!QFile::exists(lockFilePath(file("unchanged.xls"))));
    }

    void stuckOffice() {
        const WorkbookId book = openCopy("book.xls");
        const pid_t office = m_app->officePid();
        ::kill(office, SIGSTOP);
        QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Busy);
        // Behind the unanswered write nothing else is sent.
        QCOMPARE(m_app->saved(book).status.code, SpreadsheetStatus::Busy);
        ::kill(office, SIGCONT);
        // The same write takes the late answer; a sheet added late is added once.
        QVERIFY(m_app->settle().ok() && m_app->setCell(1, 1, 1.0).ok());
        ::kill(office, SIGSTOP);
        QCOMPARE(m_app->addWorksheet().code, SpreadsheetStatus::Busy);
        ::kill(office, SIGCONT);
        QVERIFY(m_app->settle().ok() && m_app->addWorksheet().ok());
        QVERIFY(m_app->saveAs(book, file("after.xls")).ok());
        QCOMPARE(readXls(file("after.xls")), (QList<SheetCells>{{{{1, 1}, 1.0}}, {}}));
        // Stopped for good with a modified workbook: quit says no copy was kept and ends it.
        QVERIFY(m_app->setCell(2, 1, 4.0).ok());
        ::kill(office, SIGSTOP);
        QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Busy);
        QCOMPARE(officeProcesses(), QList<pid_t>{});
    }

private:
    WorkbookId openCopy(const char* name) {
        return m_home.openMasterCopy(*m_app, QLatin1String(name));
    }
    QString file(const char* name) const { return m_home.file(QLatin1String(name)); }

    OfficeTestHome m_home;
    std::unique_ptr<CalcSpreadsheet> m_app;
};

QTEST_MAIN(tst_CalcOffice)
#include "tst_calcoffice.moc"
