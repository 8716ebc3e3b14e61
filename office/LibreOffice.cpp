#include "office/LibreOffice.h"

#include "office/OfficeFiles.h"
#include "office/OfficeInstance.h"
#include "office/OfficeProcess.h"
#include "office/OfficeScratch.h"
#include "office/PagePictures.h"
#include "sandbox/Memory.h"
#include "sandbox/Watchdog.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>

#include <algorithm>

namespace office {
namespace {

// The office lays out every document its word processor imports (Word in
// all its versions, RTF, HTML, OpenDocument, WordPerfect, Works, AbiWord and
// the rest). Plain text it would open too, and random bytes read as plain
// text: those are not documents of ours, their pages would be garbage.
bool isPlainText(const std::string &filter)
{
    return filter.rfind("Text", 0) == 0;
}

// The import filter the office chose for a loaded document.
std::string filterOf(const Reference<css::lang::XComponent> &model)
{
    Reference<css::frame::XModel> asModel(model, css::uno::UNO_QUERY);
    if (!asModel.is())
        return "未知类型";
    for (const auto &argument : asModel->getArgs()) {
        OUString filter;
        if (argument.Name == "FilterName" && (argument.Value >>= filter))
            return toQString(filter).toStdString();
    }
    return "未知类型";
}

class LibreOfficeApplication;

class LibreOfficeDocument : public Document {
public:
    LibreOfficeDocument(LibreOfficeApplication &app, Reference<css::lang::XComponent> model, QString damage,
                        mode_t permissions, gid_t group)
        : app_(app), model_(std::move(model)), damage_(std::move(damage)), permissions_(permissions), group_(group)
    {
    }
    ~LibreOfficeDocument() override;

    void select() override;
    std::unique_ptr<Range> range(Position start, Position end) override;
    void close() override;
    QString damage() const override { return damage_; }
    mode_t permissions() const override { return permissions_; }
    gid_t group() const override { return group_; }

    Picture pagePicture(int pageIndex);

private:
    // Made by a guarded call.
    PagePictures &pages();

    LibreOfficeApplication &app_;
    Reference<css::lang::XComponent> model_;
    std::unique_ptr<PagePictures> pages_;
    Position pageCount_ = 0;
    QString damage_;
    mode_t permissions_;
    gid_t group_;
};

class LibreOfficeRange : public Range {
public:
    LibreOfficeRange(LibreOfficeDocument &doc, Position start) : doc_(doc), start_(start) {}
    // A range always starts at a page start; its picture is that page as laid
    // out. A range over several pages (a failed page move) shows its first.
    Picture copy() override { return doc_.pagePicture(start_); }

private:
    LibreOfficeDocument &doc_;
    Position start_;
};

class LibreOfficeApplication : public Application {
public:
    explicit LibreOfficeApplication(const Limits &limits) : office_(limits) {}

    void setCheckGrammarAsYouType(bool on) override
    {
        setLinguisticOption("/org.openoffice.Office.Linguistic/GrammarChecking", "IsAutoCheck", on);
    }

    void setCheckGrammarWithSpelling(bool on) override
    {
        setLinguisticOption("/org.openoffice.Office.Linguistic/SpellChecking", "IsSpellAuto", on);
    }

    std::unique_ptr<Document> open(const QString &path) override
    {
        const auto loaded = office_.load(path);
        const auto &model = loaded.model;
        const std::string type = office_.call([&] { return filterOf(model); });
        if (!Reference<css::text::XTextDocument>(model, css::uno::UNO_QUERY).is() || isPlainText(type)) {
            office_.closeModel(model);
            throw Failure("文件不是文字处理文档（办公软件将其读作" + type + "）");
        }
        return std::make_unique<LibreOfficeDocument>(*this, model, QString::fromStdString(loaded.damage),
                                                     loaded.permissions, loaded.group);
    }

    Position selectionStart() override { return selectionStart_; }
    Position selectionEnd() override { return selectionEnd_; }
    void collapseSelectionToStart() override { selectionEnd_ = selectionStart_; }

    void browseNextPage() override
    {
        if (!activeDocument_)
            throw Failure("没有打开的文档");
        if (selectionStart_ + 1 < activePageCount_)
            ++selectionStart_;
        selectionEnd_ = selectionStart_;
    }

    void quit() override { office_.shutDown(); }

    OfficeInstance &office() { return office_; }

    void setActiveDocument(LibreOfficeDocument *doc, Position pageCount)
    {
        activeDocument_ = doc;
        activePageCount_ = pageCount;
        selectionStart_ = 0;
        selectionEnd_ = pageCount;
    }

    void forgetDocument(LibreOfficeDocument *doc)
    {
        if (activeDocument_ == doc)
            setActiveDocument(nullptr, 0);
    }

private:
    void setLinguisticOption(const char *node, const char *name, bool on)
    {
        office_.call([&] {
            const auto provider = css::configuration::theDefaultProvider::get(office_.context());
            css::beans::NamedValue path;
            path.Name = "nodepath";
            path.Value <<= OUString::createFromAscii(node);
            const auto access = provider->createInstanceWithArguments(
                "com.sun.star.configuration.ConfigurationUpdateAccess", sequence({css::uno::Any(path)}));
            Reference<css::beans::XPropertySet>(access, css::uno::UNO_QUERY_THROW)
                ->setPropertyValue(OUString::createFromAscii(name), css::uno::Any(on));
            Reference<css::util::XChangesBatch>(access, css::uno::UNO_QUERY_THROW)->commitChanges();
        });
    }

    OfficeInstance office_;
    LibreOfficeDocument *activeDocument_ = nullptr;
    Position activePageCount_ = 0;
    Position selectionStart_ = 0;
    Position selectionEnd_ = 0;
};

LibreOfficeDocument::~LibreOfficeDocument()
{
    app_.forgetDocument(this);
}

void LibreOfficeDocument::select()
{
    // The page count and the pictures come from the same look at the layout.
    pageCount_ = app_.office().call([&] { return pages().count(); });
    app_.setActiveDocument(this, pageCount_);
}

std::unique_ptr<Range> LibreOfficeDocument::range(Position start, Position end)
{
    if (start < 0 || start >= end || end > pageCount_)
        throw Failure("从" + std::to_string(start) + "到" + std::to_string(end) + "的范围在文档正文之外");
    return std::make_unique<LibreOfficeRange>(*this, start);
}

PagePictures &LibreOfficeDocument::pages()
{
    if (!pages_)
        pages_ = std::make_unique<PagePictures>(app_.office().loader(), model_);
    return *pages_;
}

Picture LibreOfficeDocument::pagePicture(int pageIndex)
{
    return app_.office().call([&] { return pages().page(pageIndex); });
}

void LibreOfficeDocument::close()
{
    app_.forgetDocument(this);
    if (pages_) {
        for (const auto &helper : pages_->takeHelpers())
            app_.office().closeModel(helper);
        pages_.reset();
    }
    auto model = std::move(model_);
    app_.office().closeModel(model);
}

} // namespace

QString whyNoOfficeRuns(const ApplicationFactory &start)
{
    try {
        start()->quit();
        return {};
    } catch (const Failure &f) {
        return f.description();
    }
}

std::unique_ptr<Application> startLibreOffice(const Limits &limits)
{
    return std::make_unique<LibreOfficeApplication>(limits);
}

Offices libreOffices(const Limits &limits)
{
    return {[limits] { return startLibreOffice(limits); }, endAllOffices};
}

QStringList confinementShortfalls()
{
    // Where no scratch folder can be made, no office starts anyway; the
    // layers are tried all the same.
    QString folder = QStringLiteral("/");
    try {
        folder = scratchFolder();
    } catch (const Failure &) {
    }
    return shortfalls(sandbox::probeConfinement(sandbox::Confinement(folder, officeFiles(folder))));
}

std::int64_t usableMemory()
{
    return sandbox::usableMemory();
}

std::int64_t defaultOfficeMemory()
{
    constexpr std::int64_t kMiB = 1024 * 1024;
    const std::int64_t usable = usableMemory();
    const std::int64_t bound = 2048 * kMiB;
    return usable < 0 ? bound : std::clamp(usable / 2, 256 * kMiB, bound);
}

EndAllOfficesAfter::EndAllOfficesAfter(std::chrono::milliseconds limit)
    : watchdog_(std::make_unique<sandbox::Watchdog>(endAllOffices))
{
    watchdog_->arm(limit);
}

EndAllOfficesAfter::~EndAllOfficesAfter()
{
    watchdog_->disarm();
}

bool EndAllOfficesAfter::fired() const
{
    return watchdog_->fired();
}

} // namespace office
