#pragma once

#include "spreadsheet.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

// Wraps the applications of another factory: writes "spreadsheet quit" into a log (the view's
// events, so a test sees it among what the user sees), counts the applications still alive,
// and lets quit report a recovery copy, as a real application without a display does.
class ObservedFactory final : public SpreadsheetFactory {
public:
    ObservedFactory(SpreadsheetFactory& inner, QStringList& log)
        : m_inner(inner)
        , m_log(log) {}

    std::unique_ptr<SpreadsheetApp> create(Status& status) override {
        std::unique_ptr<SpreadsheetApp> app = m_inner.create(status);
        if (!app)
            return nullptr;
        return std::make_unique<Observed>(*this, std::move(app));
    }

    int alive = 0;
    int quits = 0;
    QString recoveryCopy; // what quit reports as kept

private:
    class Observed final : public SpreadsheetApp {
    public:
        Observed(ObservedFactory& factory, std::unique_ptr<SpreadsheetApp> app)
            : m_factory(factory)
            , m_app(std::move(app)) {
            ++m_factory.alive;
        }
        ~Observed() override { --m_factory.alive; }

        Result<QList<WorkbookId>> workbooks() override { return m_app->workbooks(); }
        Result<WorkbookId> open(const QString& path) override { return m_app->open(path); }
        Status setVisible(bool visible) override { return m_app->setVisible(visible); }
        Result<QString> startupPath() override { return m_app->startupPath(); }
        Status activate(WorkbookId book) override { return m_app->activate(book); }
        Status setCell(int row, int column, const CellValue& value) override {
            return m_app->setCell(row, column, value);
        }
        Status addWorksheet() override { return m_app->addWorksheet(); }
        Status run(const QString& macro) override { return m_app->run(macro); }
        Result<QString> name(WorkbookId book) override { return m_app->name(book); }
        Result<bool> saved(WorkbookId book) override { return m_app->saved(book); }
        Result<QString> getSaveAsFilename(const QString& initialName, const QString& filter,
                                          const QString& title) override {
            return m_app->getSaveAsFilename(initialName, filter, title);
        }
        Status saveAs(WorkbookId book, const QString& fileName) override {
            return m_app->saveAs(book, fileName);
        }
        Result<QString> quit() override {
            ++m_factory.quits;
            m_factory.m_log << QStringLiteral("spreadsheet quit");
            Result<QString> result = m_app->quit();
            if (result.ok())
                result.value = m_factory.recoveryCopy;
            return result;
        }

    private:
        ObservedFactory& m_factory;
        std::unique_ptr<SpreadsheetApp> m_app;
    };

    SpreadsheetFactory& m_inner;
    QStringList& m_log;
};
