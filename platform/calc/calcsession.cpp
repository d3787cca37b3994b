#include "calcsession.h"

#include "calcspreadsheet.h"
#include "macroname.h"
#include "numbertext.h"
#include "officeformats.h"
#include "officelock.h"
#include "officeprocess.h"

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/browse/BrowseNodeTypes.hpp>
#include <com/sun/star/script/browse/XBrowseNode.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/script/provider/theMasterScriptProviderFactory.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XModifiable2.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <thread>

using namespace css;
using rtl::OUString;
using uno::Any;
using uno::Reference;
using uno::Sequence;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;

namespace {

// How long the office may take to answer its pipe after it was started.
constexpr std::chrono::seconds ConnectTime(60);
// The exit code of an office that wants to be started again.
constexpr int RestartRequested = 81;

OUString toOu(const QString& text) {
    return OUString(reinterpret_cast<const sal_Unicode*>(text.utf16()), sal_Int32(text.size()));
}

// A local date and time as the office counts it: days since 30 December 1899, with the time
// of day as the fraction.
double serialDay(const QDateTime& when) {
    return double(QDate(1899, 12, 30).daysTo(when.date())) +
           when.time().msecsSinceStartOfDay() / 86400000.0;
}

QString toQt(const OUString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getStr()), text.getLength());
}

OUString fileUrl(const QString& path) {
    return toOu(QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded()));
}

QString localPath(const OUString& url) {
    return QUrl::fromEncoded(toQt(url).toUtf8()).toLocalFile();
}

template <class T> Sequence<T> sequenceOf(std::initializer_list<T> items) {
    return Sequence<T>(items.begin(), sal_Int32(items.size()));
}

beans::PropertyValue property(const char* name, const Any& value) {
    beans::PropertyValue result;
    result.Name = OUString::createFromAscii(name);
    result.Value = value;
    return result;
}

Status failed(const QString& message) {
    return Status::failure(SpreadsheetStatus::Failed, message);
}

Status closedBook() {
    return Status::failure(SpreadsheetStatus::Closed, QStringLiteral("The workbook was closed."));
}

// Tells us when the office lets go of a document: the user closed it, or the office ended.
class DisposeWatch : public cppu::WeakImplHelper1<lang::XEventListener> {
public:
    explicit DisposeWatch(std::shared_ptr<std::atomic_bool> closed)
        : m_closed(std::move(closed)) {}
    void SAL_CALL disposing(const lang::EventObject&) override { *m_closed = true; }

private:
    std::shared_ptr<std::atomic_bool> m_closed;
};

Reference<frame::XFrame> frameOf(const Reference<sheet::XSpreadsheetDocument>& document) {
    const Reference<frame::XModel> model(document, UNO_QUERY_THROW);
    const Reference<frame::XController> controller = model->getCurrentController();
    return controller.is() ? controller->getFrame() : Reference<frame::XFrame>();
}

bool sameName(const OUString& a, const QString& b) {
    return toQt(a).compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

CalcSession::CalcSession(CalcOptions options, OfficeProcess& office)
    : m_options(std::move(options))
    , m_office(office) {}

CalcSession::~CalcSession() {
    release();
}

template <class R, class F> R CalcSession::guarded(F&& body) {
    Status status;
    try {
        return body();
    } catch (const lang::DisposedException& e) {
        status = Status::failure(SpreadsheetStatus::Closed, toQt(e.Message));
    } catch (const uno::RuntimeException& e) {
        status = Status::failure(m_office.ended() ? SpreadsheetStatus::Closed
                                                  : SpreadsheetStatus::Failed,
                                 toQt(e.Message));
    } catch (const uno::Exception& e) {
        status = failed(toQt(e.Message));
    } catch (const std::exception& e) {
        status = failed(QString::fromLocal8Bit(e.what()));
    }
    if constexpr (std::is_same_v<R, Status>)
        return status;
    else
        return R{status};
}

QString CalcSession::profileUrl() const {
    return QString::fromUtf8(QUrl::fromLocalFile(m_options.profileDir).toEncoded());
}

Status CalcSession::start() {
    return guarded<Status>([&]() -> Status {
        if (!QDir().mkpath(m_options.profileDir))
            return failed(QStringLiteral("Cannot make the office profile folder."));
        m_local = cppu::defaultBootstrap_InitialComponentContext();
        const QString pipe =
            QStringLiteral("celvane-") + QUuid::createUuid().toString(QUuid::Id128);
        QStringList arguments{
            QStringLiteral("-env:UserInstallation=") + profileUrl(),
            QStringLiteral("--norestore"),
            QStringLiteral("--nologo"),
            QStringLiteral("--nodefault"),
            QStringLiteral("--nolockcheck"),
            QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe)};
        if (m_options.headless)
            arguments << QStringLiteral("--headless");
        // The first start with a new profile only makes the profile and asks to be started
        // again.
        Status status;
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!m_office.start(m_options.office, arguments))
                return failed(QStringLiteral("Cannot start ") + m_options.office);
            status = connect(pipe);
            if (status.ok() || m_office.exitCode() != RestartRequested)
                break;
        }
        return status;
    });
}

Status CalcSession::connect(const QString& pipe) {
    const Reference<bridge::XUnoUrlResolver> resolver = bridge::UnoUrlResolver::create(m_local);
    const OUString url =
        toOu(QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe));
    const auto deadline = std::chrono::steady_clock::now() + ConnectTime;
    for (;;) {
        try {
            m_remote.set(resolver->resolve(url), UNO_QUERY_THROW);
            break;
        } catch (const connection::NoConnectException&) {
            if (m_office.ended())
                return failed(QStringLiteral("The office ended while it started."));
            if (std::chrono::steady_clock::now() >= deadline)
                return failed(QStringLiteral("The office did not answer."));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    m_desktop = frame::Desktop::create(m_remote);
    if (!m_options.headless)
        keepTipsAway();
    return {};
}

void CalcSession::keepTipsAway() {
    // A tip-of-the-day window over the first workbook would only be in the user's way.
    try {
        const Reference<lang::XMultiServiceFactory> provider =
            configuration::theDefaultProvider::get(m_remote);
        const Sequence<Any> path = sequenceOf(
            {Any(property("nodepath", Any(OUString("/org.openoffice.Office.Common/Misc"))))});
        const Reference<container::XNameReplace> misc(
            provider->createInstanceWithArguments(
                "com.sun.star.configuration.ConfigurationUpdateAccess", path),
            UNO_QUERY_THROW);
        misc->replaceByName("ShowTipOfTheDay", Any(false));
        Reference<util::XChangesBatch>(misc, UNO_QUERY_THROW)->commitChanges();
    } catch (const uno::Exception&) {
        // Only a convenience.
    }
}

Status CalcSession::usable(WorkbookId id) const {
    if (id == CalcSpreadsheet::MyMacros)
        return failed(QStringLiteral("My Macros is no workbook."));
    if (id < 1 || std::size_t(id) > m_books.size() || *m_books[std::size_t(id - 1)].closed)
        return closedBook();
    return {};
}

QString CalcSession::fileName(const Book& book) const {
    const Reference<frame::XModel> model(book.document, UNO_QUERY_THROW);
    return QFileInfo(localPath(model->getURL())).fileName();
}

bool CalcSession::isPersonal(const QString& fileName) const {
    return fileName.compare(QStringLiteral("Personal.xls"), Qt::CaseInsensitive) == 0;
}

Result<QList<WorkbookId>> CalcSession::workbooks() {
    return guarded<Result<QList<WorkbookId>>>([&]() -> Result<QList<WorkbookId>> {
        QList<WorkbookId> open;
        bool personal = false;
        for (std::size_t i = 0; i < m_books.size(); ++i) {
            if (*m_books[i].closed)
                continue;
            open << WorkbookId(i + 1);
            personal = personal || isPersonal(fileName(m_books[i]));
        }
        if (!personal)
            open << CalcSpreadsheet::MyMacros;
        return {{}, open};
    });
}

Result<WorkbookId> CalcSession::open(const QString& path) {
    return guarded<Result<WorkbookId>>([&]() -> Result<WorkbookId> {
        const QFileInfo file(path);
        if (!file.isFile() || !file.isReadable())
            return {failed(QStringLiteral("There is no file ") + path)};
        const QString absolute = file.absoluteFilePath();
        bool alreadyOpen = false;
        for (const Book& book : m_books)
            alreadyOpen =
                alreadyOpen ||
                (!*book.closed &&
                 QFileInfo(localPath(
                     Reference<frame::XModel>(book.document, UNO_QUERY_THROW)->getURL())) == file);
        // A lock that an office of ours left when it was killed would stop the load.
        if (!alreadyOpen)
            removeOwnLock(absolute, profileUrl());

        const Sequence<beans::PropertyValue> arguments = sequenceOf({
            property("Hidden", Any(!m_visible || m_options.headless)),
            // The program runs the user's macros of its own workbooks, as the spreadsheet's
            // automation does.
            property("MacroExecutionMode", Any(document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN)),
        });
        const Reference<lang::XComponent> component =
            m_desktop->loadComponentFromURL(fileUrl(absolute), "_blank", 0, arguments);
        Book book;
        book.document.set(component, UNO_QUERY);
        if (!book.document.is()) {
            if (const Reference<util::XCloseable> closeable{component, UNO_QUERY}; closeable.is())
                closeable->close(true);
            return {failed(QStringLiteral("Not a workbook: ") + path)};
        }
        const Reference<frame::XModel> model(component, UNO_QUERY_THROW);
        const Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
        if (view.is()) {
            book.sheet = view->getActiveSheet();
        } else {
            const Reference<container::XIndexAccess> sheets(book.document->getSheets(),
                                                            UNO_QUERY_THROW);
            book.sheet.set(sheets->getByIndex(0), UNO_QUERY_THROW);
        }
        book.closed = std::make_shared<std::atomic_bool>(false);
        component->addEventListener(new DisposeWatch(book.closed));
        std::lock_guard lock(m_booksMutex);
        m_books.push_back(book);
        return {{}, WorkbookId(m_books.size())};
    });
}

void CalcSession::showWindow(Book& book, bool visible) {
    const Reference<frame::XFrame> frame = frameOf(book.document);
    if (!frame.is())
        return;
    const Reference<awt::XWindow> window = frame->getContainerWindow();
    window->setVisible(visible);
    if (visible)
        if (const Reference<awt::XTopWindow> top{window, UNO_QUERY}; top.is())
            top->toFront();
}

Status CalcSession::setVisible(bool visible) {
    return guarded<Status>([&]() -> Status {
        m_visible = visible;
        if (m_options.headless)
            return {};
        for (Book& book : m_books)
            if (!*book.closed)
                showWindow(book, visible);
        return {};
    });
}

Status CalcSession::activate(WorkbookId id) {
    return guarded<Status>([&]() -> Status {
        if (Status status = usable(id); !status.ok())
            return status;
        if (m_visible && !m_options.headless)
            showWindow(book(id), true);
        return {};
    });
}

Status CalcSession::setBlock(WorkbookId id, int row, int firstColumn, const QList<CellRow>& rows) {
    return guarded<Status>([&]() -> Status {
        if (Status status = usable(id); !status.ok())
            return status;
        const int width = rows.isEmpty() ? 0 : int(rows.first().size());
        const int lastRow = row + int(rows.size()) - 1;
        const int lastColumn = firstColumn + width - 1;
        if (width == 0 || row < 1 || lastRow > SheetMaxRows || firstColumn < 1 ||
            lastColumn > SheetMaxColumns)
            return failed(QStringLiteral("The cells lie outside the sheet."));
        for (const CellRow& values : rows)
            if (values.size() != width)
                return failed(QStringLiteral("The rows are not of one length."));
        // A number as a number, any other text as literal text, a date and time as its
        // serial day number.
        const auto cellValue = [](const CellValue& value) {
            if (const auto* when = std::get_if<QDateTime>(&value))
                return Any(serialDay(*when));
            if (const auto* literal = std::get_if<LiteralText>(&value))
                return Any(toOu(literal->text));
            const double* given = std::get_if<double>(&value);
            const std::optional<double> number =
                given ? std::optional<double>(*given) : numberFromText(std::get<QString>(value));
            return number ? Any(*number) : Any(toOu(std::get<QString>(value)));
        };
        Book& target = book(id);
        const Reference<sheet::XSpreadsheet>& sheet = target.sheet;
        // Columns that hold dates and times get a date-time format over the rows written, and
        // once per sheet, after the first of them, the width that shows them whole.
        QList<sal_Int32> widen;
        for (int column = 0; column < width; ++column) {
            if (!std::holds_alternative<QDateTime>(rows.first().at(column)))
                continue;
            const sal_Int32 index = firstColumn - 1 + column;
            Reference<beans::XPropertySet>(
                sheet->getCellRangeByPosition(index, row - 1, index, lastRow - 1), UNO_QUERY_THROW)
                ->setPropertyValue(OUString("NumberFormat"), Any(dateTimeFormat(target)));
            if (!target.dateTimeColumns.contains(index))
                widen << index;
        }
        if (rows.size() == 1 && width == 1) {
            // A single cell is quicker set on its own than as a range.
            const Any value = cellValue(rows.first().first());
            const Reference<table::XCell> cell = sheet->getCellByPosition(firstColumn - 1, row - 1);
            double number = 0;
            if (value >>= number)
                cell->setValue(number);
            else
                Reference<text::XTextRange>(cell, UNO_QUERY_THROW)
                    ->setString(value.get<OUString>());
        } else {
            // The whole rectangle in one call.
            Sequence<Sequence<Any>> data(sal_Int32(rows.size()));
            Sequence<Any>* line = data.getArray();
            for (const CellRow& values : rows) {
                line->realloc(width);
                Any* cell = line->getArray();
                for (const CellValue& value : values)
                    *cell++ = cellValue(value);
                ++line;
            }
            const Reference<sheet::XCellRangeData> range(
                sheet->getCellRangeByPosition(firstColumn - 1, row - 1, lastColumn - 1,
                                              lastRow - 1),
                UNO_QUERY_THROW);
            range->setDataArray(data);
        }
        if (!widen.isEmpty()) {
            const Reference<container::XIndexAccess> columns(
                Reference<table::XColumnRowRange>(sheet, UNO_QUERY_THROW)->getColumns(),
                UNO_QUERY_THROW);
            for (const sal_Int32 index : widen) {
                Reference<beans::XPropertySet>(columns->getByIndex(index), UNO_QUERY_THROW)
                    ->setPropertyValue(OUString("OptimalWidth"), Any(true));
                target.dateTimeColumns.insert(index);
            }
        }
        return {};
    });
}

sal_Int32 CalcSession::dateTimeFormat(Book& book) {
    if (book.dateTimeFormat < 0) {
        // The format's code is read in English whatever the office's language.
        const lang::Locale english(OUString("en"), OUString("US"), OUString());
        const OUString code("YYYY-MM-DD HH:MM:SS.000");
        const Reference<util::XNumberFormats> formats =
            Reference<util::XNumberFormatsSupplier>(book.document, UNO_QUERY_THROW)
                ->getNumberFormats();
        book.dateTimeFormat = formats->queryKey(code, english, false);
        if (book.dateTimeFormat < 0)
            book.dateTimeFormat = formats->addNew(code, english);
    }
    return book.dateTimeFormat;
}

Status CalcSession::addWorksheet(WorkbookId id) {
    return guarded<Status>([&]() -> Status {
        if (Status status = usable(id); !status.ok())
            return status;
        Book& target = book(id);
        const Reference<sheet::XSpreadsheets> sheets = target.document->getSheets();
        const sal_Int16 count =
            sal_Int16(Reference<container::XIndexAccess>(sheets, UNO_QUERY_THROW)->getCount());
        int number = count + 1;
        while (sheets->hasByName(toOu(QStringLiteral("Sheet%1").arg(number))))
            ++number;
        const OUString name = toOu(QStringLiteral("Sheet%1").arg(number));
        sheets->insertNewByName(name, count);
        target.sheet.set(sheets->getByName(name), UNO_QUERY_THROW);
        target.dateTimeColumns.clear();
        const Reference<frame::XModel> model(target.document, UNO_QUERY_THROW);
        if (const Reference<sheet::XSpreadsheetView> view{model->getCurrentController(), UNO_QUERY};
            view.is())
            view->setActiveSheet(target.sheet);
        return {};
    });
}

CalcSession::MacroPlace CalcSession::documentMacros(const Book& book) const {
    MacroPlace place;
    const Reference<script::provider::XScriptProviderSupplier> supplier(book.document, UNO_QUERY);
    const Reference<beans::XPropertySet> properties(book.document, UNO_QUERY);
    if (!supplier.is() || !properties.is())
        return place;
    place.provider = supplier->getScriptProvider();
    properties->getPropertyValue("BasicLibraries") >>= place.libraries;
    place.document = book.document;
    return place;
}

CalcSession::MacroPlace CalcSession::myMacros() const {
    MacroPlace place;
    place.provider =
        script::provider::theMasterScriptProviderFactory::get(m_remote)->createScriptProvider(
            Any(OUString("user")));
    place.libraries = m_remote->getServiceManager()->createInstanceWithContext(
        "com.sun.star.script.ApplicationScriptLibraryContainer", m_remote);
    return place;
}

OUString CalcSession::findMacro(const MacroPlace& place, const MacroName& name) const {
    using script::browse::XBrowseNode;
    const Reference<XBrowseNode> root(place.provider, UNO_QUERY);
    if (!root.is())
        return {};
    // Languages, then libraries, modules and their macros.
    for (const Reference<XBrowseNode>& language : root->getChildNodes()) {
        if (language->getName() != "Basic")
            continue;
        for (const Reference<XBrowseNode>& library : language->getChildNodes()) {
            if (!name.library.isEmpty() && !sameName(library->getName(), name.library))
                continue;
            for (const Reference<XBrowseNode>& module : library->getChildNodes()) {
                if (!name.module.isEmpty() && !sameName(module->getName(), name.module))
                    continue;
                for (const Reference<XBrowseNode>& macro : module->getChildNodes()) {
                    if (macro->getType() != script::browse::BrowseNodeTypes::SCRIPT ||
                        !sameName(macro->getName(), name.macro))
                        continue;
                    OUString uri;
                    Reference<beans::XPropertySet>(macro, UNO_QUERY_THROW)
                        ->getPropertyValue("URI") >>= uri;
                    return uri;
                }
            }
        }
    }
    return {};
}

Status CalcSession::runMacro(const MacroPlace& place, const OUString& uri) {
    // The office swallows a Basic error of a macro run through its script interface, so the
    // macro is called from a short function that catches the error and reports it. That
    // function lives in the macro's own library only while it runs, and its coming and going
    // does not count as a change of the workbook.
    // "vnd.sun.star.script:Library.Module.Macro?language=Basic&location=..."
    const QString address = toQt(uri);
    const qsizetype colon = address.indexOf(u':');
    const qsizetype question = address.indexOf(u'?');
    const QStringList path = address.mid(colon + 1, question - colon - 1).split(u'.');
    const QString query = address.mid(question);
    if (colon < 0 || question < 0 || path.size() != 3)
        return failed(QStringLiteral("Cannot call ") + address);
    const Reference<script::XLibraryContainer> libraries(place.libraries, UNO_QUERY_THROW);
    libraries->loadLibrary(toOu(path[0]));
    const Reference<container::XNameContainer> library(libraries->getByName(toOu(path[0])),
                                                       UNO_QUERY_THROW);
    QString caller = QStringLiteral("CelvaneRun");
    for (int n = 2; library->hasByName(toOu(caller)); ++n)
        caller = QStringLiteral("CelvaneRun%1").arg(n);
    const QString source = QStringLiteral("Function %1() As Boolean\n"
                                          "    On Error GoTo failed\n"
                                          "    %2.%3\n"
                                          "    %1 = True\n"
                                          "    Exit Function\n"
                                          "failed:\n"
                                          "    %1 = False\n"
                                          "End Function\n")
                               .arg(caller, path[1], path[2]);
    const Reference<util::XModifiable2> document(place.document, UNO_QUERY);
    const auto unchanged = [&document](const auto& change) {
        const bool enabled = document.is() && document->disableSetModified();
        change();
        if (enabled)
            document->enableSetModified();
    };
    unchanged([&] { library->insertByName(toOu(caller), Any(toOu(source))); });
    // Taken away again whatever the macro did; a macro that closed its own workbook took it
    // away with the workbook.
    const auto removeCaller = [&] {
        try {
            unchanged([&] { library->removeByName(toOu(caller)); });
        } catch (const uno::Exception&) {
            // Gone with its workbook.
        }
    };
    Any result;
    try {
        Sequence<sal_Int16> outIndex;
        Sequence<Any> out;
        const QString callerUri =
            QStringLiteral("vnd.sun.star.script:%1.%2.%2").arg(path[0], caller) + query;
        result = place.provider->getScript(toOu(callerUri))->invoke({}, outIndex, out);
    } catch (const uno::Exception&) {
        removeCaller();
        throw;
    }
    removeCaller();
    bool ran = false;
    result >>= ran;
    return ran ? Status() : failed(QStringLiteral("The macro failed: ") + address);
}

Status CalcSession::run(const QString& text) {
    return guarded<Status>([&]() -> Status {
        const std::optional<MacroName> name = MacroName::parse(text);
        if (!name)
            return failed(QStringLiteral("No macro is named ") + text);
        // The places to look, in order: the named workbook, or every open workbook; then the
        // user's own macros for an unqualified name or one of the personal macro workbook.
        QList<MacroPlace> places;
        for (const Book& book : m_books) {
            if (*book.closed)
                continue;
            if (!name->book.isEmpty() &&
                fileName(book).compare(name->book, Qt::CaseInsensitive) != 0)
                continue;
            places << documentMacros(book);
        }
        if (name->book.isEmpty() || isPersonal(name->book))
            places << myMacros();
        for (const MacroPlace& place : places) {
            const OUString uri = findMacro(place, *name);
            if (!uri.isEmpty())
                return runMacro(place, uri);
        }
        return failed(QStringLiteral("There is no macro ") + text);
    });
}

Result<QString> CalcSession::name(WorkbookId id) {
    return guarded<Result<QString>>([&]() -> Result<QString> {
        if (id == CalcSpreadsheet::MyMacros)
            return {{}, QStringLiteral("Personal.xls")};
        if (Status status = usable(id); !status.ok())
            return {status};
        return {{}, fileName(book(id))};
    });
}

Result<bool> CalcSession::saved(WorkbookId id) {
    return guarded<Result<bool>>([&]() -> Result<bool> {
        if (id == CalcSpreadsheet::MyMacros)
            return {{}, true};
        if (Status status = usable(id); !status.ok())
            return {status};
        const Reference<util::XModifiable> modifiable(book(id).document, UNO_QUERY_THROW);
        return {{}, !modifiable->isModified()};
    });
}

Status CalcSession::saveAs(WorkbookId id, const QString& requested) {
    return guarded<Status>([&]() -> Status {
        if (Status status = usable(id); !status.ok())
            return status;
        const QString path = QFileInfo(workbookFileName(requested)).absoluteFilePath();
        removeOwnLock(path, profileUrl());
        const Reference<frame::XStorable> storable(book(id).document, UNO_QUERY_THROW);
        storable->storeAsURL(fileUrl(path),
                             sequenceOf({property("FilterName", Any(toOu(storeFilterFor(path)))),
                                         property("Overwrite", Any(true))}));
        return {};
    });
}

QString CalcSession::keepRecoveryCopy(Book& book) {
    const Reference<frame::XModel> model(book.document, UNO_QUERY_THROW);
    const QFileInfo original(localPath(model->getURL()));
    QString filter = storeFilterFor(original.fileName());
    QString suffix = original.suffix();
    if (filter.isEmpty()) {
        filter = storeFilterFor(QStringLiteral("x.xls"));
        suffix = QStringLiteral("xls");
    }
    QDir().mkpath(m_options.recoveryDir);
    const QString stem = QStringLiteral("%1/%2 (recovered %3)")
                             .arg(m_options.recoveryDir, original.completeBaseName(),
                                  QDateTime::currentDateTime().toString(u"yyyy-MM-dd hh-mm-ss"));
    QString path = stem + u'.' + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1 %2.%3").arg(stem).arg(n).arg(suffix);
    const Reference<frame::XStorable> storable(book.document, UNO_QUERY_THROW);
    storable->storeToURL(fileUrl(path), sequenceOf({property("FilterName", Any(toOu(filter)))}));
    return path;
}

std::vector<CalcSession::Book> CalcSession::books() {
    std::lock_guard lock(m_booksMutex);
    return m_books;
}

QStringList CalcSession::copyModifiedBooks() {
    QStringList kept;
    for (Book& book : books())
        if (!*book.closed &&
            Reference<util::XModifiable>(book.document, UNO_QUERY_THROW)->isModified())
            kept << keepRecoveryCopy(book);
    return kept;
}

Status CalcSession::keepRecoveryCopies(QString& kept) {
    return guarded<Status>([&]() -> Status {
        kept = copyModifiedBooks().join(QStringLiteral("; "));
        return {};
    });
}

Result<QString> CalcSession::quit(bool ask) {
    return guarded<Result<QString>>([&]() -> Result<QString> {
        // Asked, the office closes what the user lets it close; it ends when nothing is left.
        if (ask && m_desktop->terminate())
            return {};
        const QStringList kept = copyModifiedBooks();
        for (Book& book : m_books)
            if (!*book.closed)
                Reference<util::XCloseable>(book.document, UNO_QUERY_THROW)->close(true);
        try {
            m_desktop->terminate();
        } catch (const lang::DisposedException&) {
            // The office went before it answered: it has ended, as asked.
        }
        return {{}, kept.join(QStringLiteral("; "))};
    });
}

void CalcSession::release() {
    m_books.clear();
    m_desktop.clear();
    m_remote.clear();
    if (const Reference<lang::XComponent> local{m_local, UNO_QUERY}; local.is()) {
        try {
            local->dispose();
        } catch (const uno::Exception&) {
            // Nothing left to tell.
        }
    }
    m_local.clear();
}
