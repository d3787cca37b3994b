// The spreadsheet interface as the Calc bridge keeps it with a real headless office.

#include "calcspreadsheet.h"
#include "officelock.h"
#include "officetesthome.h"

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

    void cellsAndBlocks() {
        QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed); // no workbook yet
        const WorkbookId book = openCopy("book.xls");
        QVERIFY(book);
        // Written, and stored (invalid: the cell stays empty); row and column differ each time.
        const QList<std::pair<CellValue, QVariant>> cases{
            {12.5, 12.5},           {u"(RAW)"_s, u"(RAW)"_s},
            {u"0"_s, 0.0},          {u" -3.5e2 "_s, -350.0},
            {u"0042"_s, 42.0},      {u"=1+1"_s, u"=1+1"_s},
            {u"1,5"_s, u"1,5"_s},   {u"12-06-2026"_s, u"12-06-2026"_s},
            {u"12ab"_s, u"12ab"_s}, {u"14:05:09"_s, u"14:05:09"_s},
            {QString(), QVariant()}};
        SheetCells expected;
        for (int i = 0; i < cases.size(); ++i) {
            QVERIFY(m_app->setCell(i + 10, 2 * i + 1, cases[i].first).ok());
            if (cases[i].second.isValid())
                expected.insert({i + 10, 2 * i + 1}, cases[i].second);
        }
        // A rectangle in one call, its numbers as numbers; what lies beyond it stays.
        QVERIFY(m_app->setCells(3, 1, CellRow(4, u"old"_s)).ok());
        QVERIFY(m_app->setBlock(2, 1, {{u"a"_s, u"1"_s}, {u"b"_s, 2.5}}).ok());
        expected.insert(SheetCells{{{2, 1}, u"a"_s},
                                   {{2, 2}, 1.0},
                                   {{3, 1}, u"b"_s},
                                   {{3, 2}, 2.5},
                                   {{3, 3}, u"old"_s},
                                   {{3, 4}, u"old"_s}});
        // Rows of different lengths, or cells off the sheet, are not written at all.
        QCOMPARE(m_app->setBlock(4, 2, {{u"x"_s}, {1.0, 2.0}}).code, SpreadsheetStatus::Failed);
        QCOMPARE(m_app->setBlock(SheetMaxRows, 1, {{1.0}, {2.0}}).code, SpreadsheetStatus::Failed);
        QCOMPARE(m_app->setCell(1, SheetMaxColumns + 1, 1.0).code, SpreadsheetStatus::Failed);
        QCOMPARE(m_app->setCell(0, 1, 1.0).code, SpreadsheetStatus::Failed);
        QVERIFY(m_app->saveAs(book, file("out.xls")).ok());
        QCOMPARE(readXls(file("out.xls")), QList<SheetCells>{expected});
        QVERIFY(m_app->setCell(SheetMaxRows, SheetMaxColumns, 1.0).ok());
    }

    void workbooksSavedAndSheets() {
        const WorkbookId first = openCopy("first.xls"), second = openCopy("Second.XLS");
        QVERIFY(first && second && first != second);
        QCOMPARE(m_app->open(file("absent.xls")).status.code, SpreadsheetStatus::Failed);
        QCOMPARE(m_app->name(second).value, u"Second.XLS"_s);
        // The workbook opened last is the active one; one opened beside the others is not.
        QVERIFY(m_app->openBeside(file("macros.ods")).ok());
        QVERIFY(m_app->setCell(1, 1, u"to second"_s).ok());
        QVERIFY(m_app->activate(first).ok() && m_app->saved(first).value);
        QVERIFY(m_app->setCell(1, 1, 7.0).ok() && !m_app->saved(first).value);
        // A name without an extension is stored as .xls; the workbook carries its new name and
        // its working copy keeps the old content.
        QVERIFY(m_app->saveAs(first, file("plain")).ok() && m_app->saved(first).value);
        QCOMPARE(m_app->name(first).value, u"plain.xls"_s);
        QCOMPARE(readXls(file("first.xls")), QList<SheetCells>{SheetCells{}});
        QVERIFY(m_app->addWorksheet().ok() && !m_app->saved(first).value);
        QVERIFY(m_app->setCell(2, 1, u"x"_s).ok());
        QVERIFY(m_app->saveAs(first, file("TWO.XLS")).ok() &&
                m_app->saveAs(second, file("b.xls")).ok());
        QCOMPARE(readXls(file("TWO.XLS")),
                 (QList<SheetCells>{{{{1, 1}, 7.0}}, {{{2, 1}, u"x"_s}}}));
        QCOMPARE(readXls(file("b.xls")), (QList<SheetCells>{{{{1, 1}, u"to second"_s}}}));
    }

    void macros() {
        const Result<WorkbookId> macros = m_app->open(file("macros.ods"));
        const WorkbookId capture = openCopy("spreadsheet.xls");
        QVERIFY(macros.ok() && capture);
        // The capture stop searches every entry of workbooks() by name; "My Macros" come last.
        QCOMPARE(m_app->workbooks().value,
                 (QList<WorkbookId>{macros.value, capture, CalcSpreadsheet::MyMacros}));
        QCOMPARE(m_app->activate(CalcSpreadsheet::MyMacros).code, SpreadsheetStatus::Failed);
        // Tidy writes into macros.ods, PersonalTidy (in "My Macros") into the file "ran".
        const QStringList failing{u"macros.ods!Fails"_s, u"macros.ods!NoSuchMacro"_s,
                                  u"absent.xls!Tidy"_s, u"macros.ods!Module2.Tidy"_s,
                                  u"spreadsheet.xls!PersonalTidy"_s};
        const QStringList running{u"Personal.xls!PersonalTidy"_s, u"PersonalTidy"_s,
                                  u"MACROS.ODS!standard.module1.TIDY"_s};
        for (const QString& macro : failing + running) {
            const bool runs = running.contains(macro);
            QFile::remove(file("ran"));
            QCOMPARE(m_app->run(macro).ok(), runs);
            QCOMPARE(!m_app->saved(macros.value).value || QFile::exists(file("ran")), runs);
        }
        // The macro closes its own workbook, as a user closing its window does; the capture
        // workbook is still the one written to.
        QVERIFY(m_app->run(u"macros.ods!CloseMe"_s).ok());
        QTRY_VERIFY(!m_app->workbooks().value.contains(macros.value));
        QVERIFY(m_app->setCell(1, 1, 1.0).ok() && !m_app->saved(capture).value);
    }

    void killedOfficeAndItsLock() {
        const WorkbookId book = openCopy("book.xls");
        ::kill(m_app->officePid(), SIGKILL);
        QTRY_COMPARE(m_app->setCell(1, 1, 2.0).code, SpreadsheetStatus::Closed);
        QCOMPARE(m_app->saved(book).status.code, SpreadsheetStatus::Closed);
        QCOMPARE(m_app->saveAs(book, file("x.xls")).code, SpreadsheetStatus::Closed);
        QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Closed);
        // Its lock names our profile. Left under another host name it would have the office
        // open the workbook read-only; it is ours all the same.
        const QByteArray profile = QUrl::fromLocalFile(m_home.options().profileDir).toEncoded();
        QFile lock(lockFilePath(file("book.xls")));
        QVERIFY(lock.open(QIODevice::ReadWrite) && isLockOf(lock.readAll(), profile));
        QVERIFY(lock.resize(0) && lock.write(",user,other host,06.12.2026 20:42," + profile + ";"));
        lock.close();
        init();
        const Result<WorkbookId> reopened = m_app->open(file("book.xls"));
        QVERIFY(reopened.ok() && m_app->setCell(1, 1, u"after the lock"_s).ok());
        QVERIFY(m_app->saveAs(reopened.value, file("book.xls")).ok()); // not read-only
        QCOMPARE(readXls(file("book.xls")), (QList<SheetCells>{{{{1, 1}, u"after the lock"_s}}}));
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

    void endKeepsModifiedWorkbook_data() {
        QTest::addColumn<bool>("quit"); // or the application is destroyed
        QTest::newRow("quit") << true;
        QTest::newRow("destroyed") << false;
    }

    void endKeepsModifiedWorkbook() {
        QFETCH(bool, quit);
        QVERIFY(openCopy("unchanged.xls") && openCopy("changed.xls"));
        QVERIFY(m_app->setCell(5, 2, u"not lost"_s).ok());
        const QDir documents(m_home.options().recoveryDir);
        const QStringList before = documents.entryList(QDir::Files);
        QVERIFY(!quit || m_app->quit().ok());
        m_app.reset();
        // Only the modified workbook is kept, in the recovery folder; no office or lock is left.
        QStringList kept = documents.entryList(QDir::Files);
        kept.removeIf([&](const QString& name) { return before.contains(name); });
        QCOMPARE(kept.size(), 1);
        QVERIFY(kept[0].startsWith(u"changed"));
        QCOMPARE(readXls(documents.filePath(kept[0])),
                 (QList<SheetCells>{{{{5, 2}, u"not lost"_s}}}));
        QCOMPARE(officeProcesses(), QList<pid_t>{});
        QVERIFY(!QFile::exists(lockFilePath(file("unchanged.xls"))));
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
