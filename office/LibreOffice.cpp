#include "office/LibreOffice.h"

#include "office/AbortingInteraction.h"
#include "office/OfficeProcess.h"
#include "office/PageLayout.h"
#include "office/Profile.h"
#include "office/UnoConnection.h"
#include "office/Watchdog.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <rtl/ref.hxx>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <atomic>
#include <thread>
#include <type_traits>
#include <unistd.h>

namespace office {
namespace {

using namespace std::chrono_literals;

// The office asks for a restart when a profile is brand new.
constexpr int kRestartRequested = 81;
constexpr int kStartAttempts = 3;

QString uniquePipeName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("pagegrab-%1-%2").arg(getpid()).arg(++counter);
}

class LibreOfficeApplication;

class LibreOfficeDocument : public Document {
public:
    LibreOfficeDocument(LibreOfficeApplication &app, Reference<css::lang::XComponent> model)
        : app_(app), model_(std::move(model))
    {
    }
    ~LibreOfficeDocument() override;

    void select() override;
    std::unique_ptr<Range> range(Position start, Position end) override;
    void close() override;

    Picture pagePicture(int pageIndex);

private:
    LibreOfficeApplication &app_;
    Reference<css::lang::XComponent> model_;
    std::unique_ptr<PageLayout> layout_;
    Position pageCount_ = 0;
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
    explicit LibreOfficeApplication(const Limits &limits)
        : limits_(limits), watchdog_([this] { process_->kill(); })
    {
        start();
    }

    ~LibreOfficeApplication() override { shutDown(); }

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
        const QFileInfo file(path);
        if (!file.exists())
            throw Failure("the file does not exist");
        if (!file.isFile())
            throw Failure("the path is not a file");
        const auto handler = rtl::Reference<AbortingInteraction>(new AbortingInteraction);
        const auto args = sequence({
            property("Hidden", true),
            property("ReadOnly", true),
            property("MacroExecutionMode", css::document::MacroExecMode::NEVER_EXECUTE),
            property("UpdateDocMode", css::document::UpdateDocMode::NO_UPDATE),
            property("InteractionHandler", Reference<css::task::XInteractionHandler>(handler.get())),
        });
        const OUString url = fileUrl(file.absoluteFilePath());
        Reference<css::lang::XComponent> model;
        try {
            model = call([&] { return loader()->loadComponentFromURL(url, "_blank", 0, args); });
        } catch (const Failure &f) {
            throw Failure(openFailure(f.what(), handler->firstQuestion()));
        }
        if (!model.is())
            throw Failure(openFailure("", handler->firstQuestion()));
        if (!Reference<css::text::XTextDocument>(model, css::uno::UNO_QUERY).is()) {
            closeModel(model);
            throw Failure("the file is not a text document");
        }
        return std::make_unique<LibreOfficeDocument>(*this, model);
    }

    Position selectionStart() override { return selectionStart_; }
    Position selectionEnd() override { return selectionEnd_; }
    void collapseSelectionToStart() override { selectionEnd_ = selectionStart_; }

    void browseNextPage() override
    {
        if (!activeDocument_)
            throw Failure("no document is open");
        if (selectionStart_ + 1 < activePageCount_)
            ++selectionStart_;
        selectionEnd_ = selectionStart_;
    }

    void quit() override { shutDown(); }

    // Runs one call into the office under the watchdog and turns every
    // exception into a Failure that says what went wrong.
    template <class F>
    auto call(F &&f) -> decltype(f())
    {
        if (!desktop_.is())
            throw Failure("the office is not running");
        watchdog_.arm(limits_.call);
        try {
            if constexpr (std::is_void_v<decltype(f())>) {
                f();
                watchdog_.disarm();
            } else {
                auto result = f();
                watchdog_.disarm();
                return result;
            }
        } catch (const css::uno::Exception &e) {
            watchdog_.disarm();
            throw failureOf(describe(e));
        }
    }

    Reference<css::uno::XComponentContext> remoteContext() const { return connection_.remote; }
    Reference<css::frame::XComponentLoader> loader() const { return {desktop_, css::uno::UNO_QUERY_THROW}; }
    std::chrono::milliseconds callLimit() const { return limits_.call; }

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

    void closeModel(const Reference<css::lang::XComponent> &model)
    {
        if (!model.is() || !desktop_.is())
            return;
        call([&] {
            Reference<css::util::XCloseable> closeable(model, css::uno::UNO_QUERY);
            if (closeable.is())
                closeable->close(true);
            else
                model->dispose();
        });
    }

private:
    void start()
    {
        if (!profile_.isValid())
            throw Failure("cannot create a profile folder for the office");
        for (int attempt = 1;; ++attempt) {
            process_ = std::make_unique<OfficeProcess>(profile_.url(), pipe_);
            const auto deadline = std::chrono::steady_clock::now() + limits_.start;
            watchdog_.arm(limits_.start);
            try {
                while (!connection_.remote.is()) {
                    connection_ = UnoConnection::tryConnect(pipe_);
                    if (connection_.remote.is())
                        break;
                    if (const auto code = process_->exitCode()) {
                        if (*code == kRestartRequested && attempt < kStartAttempts)
                            break;
                        throw Failure("the office ended while starting (exit code " + std::to_string(*code) + ")");
                    }
                    if (std::chrono::steady_clock::now() > deadline)
                        throw Failure(notStartedText());
                    std::this_thread::sleep_for(20ms);
                }
                if (connection_.remote.is())
                    desktop_ = css::frame::Desktop::create(connection_.remote);
            } catch (const css::uno::Exception &e) {
                watchdog_.disarm();
                shutDown();
                throw Failure(watchdog_.fired() ? notStartedText() : "cannot connect to the office: " + describe(e));
            } catch (...) {
                watchdog_.disarm();
                shutDown();
                throw;
            }
            watchdog_.disarm();
            if (desktop_.is())
                return;
        }
    }

    std::string notStartedText() const
    {
        return "the office did not start within " + std::to_string(limits_.start.count() / 1000) + " s";
    }

    Failure failureOf(const std::string &description)
    {
        if (watchdog_.fired()) {
            process_->waitForExit(5000);
            return Failure("the office did not answer within " + std::to_string(limits_.call.count() / 1000)
                           + " s and was ended");
        }
        if (const auto code = process_->exitCode())
            return Failure("the office ended unexpectedly (exit code " + std::to_string(*code) + ")");
        return Failure(description.empty() ? "the office reported a failure without a description" : description);
    }

    static std::string openFailure(const std::string &error, const std::string &question)
    {
        // What the office asked about (a password, a damaged file) says more
        // than the bare load error that follows the abort.
        if (!question.empty())
            return "cannot open the document: " + question;
        if (!error.empty())
            return "cannot open the document: " + error;
        return "cannot open the document: the office does not recognise its format or content";
    }

    void setLinguisticOption(const char *node, const char *name, bool on)
    {
        call([&] {
            const auto provider = css::configuration::theDefaultProvider::get(connection_.remote);
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

    void shutDown()
    {
        if (!process_)
            return;
        if (desktop_.is() && !watchdog_.fired() && !process_->exitCode()) {
            watchdog_.arm(10s);
            try {
                desktop_->terminate();
            } catch (const css::uno::Exception &) {
                // The bridge drops as the office goes; that is the normal end.
            }
            watchdog_.disarm();
        }
        desktop_.clear();
        connection_.dispose();
        const bool clean = process_->waitForExit(5000) && process_->exitCode() == 0 && !watchdog_.fired();
        if (!clean)
            process_->kill();
        process_.reset();
        if (clean)
            profile_.offerAsTemplate();
        else
            // An office that was ended could not remove its pipe's socket file.
            QFile::remove(QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(getuid()).arg(pipe_));
    }

    Limits limits_;
    const QString pipe_ = uniquePipeName();
    Profile profile_;
    std::unique_ptr<OfficeProcess> process_;
    Watchdog watchdog_;
    UnoConnection connection_;
    Reference<css::frame::XDesktop2> desktop_;
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
    pageCount_ = app_.call([&] {
        Reference<css::frame::XModel> model(model_, css::uno::UNO_QUERY_THROW);
        Reference<css::text::XTextViewCursorSupplier> views(model->getCurrentController(),
                                                            css::uno::UNO_QUERY_THROW);
        Reference<css::text::XPageCursor> cursor(views->getViewCursor(), css::uno::UNO_QUERY_THROW);
        cursor->jumpToLastPage();
        return static_cast<Position>(cursor->getPage());
    });
    app_.setActiveDocument(this, pageCount_);
}

std::unique_ptr<Range> LibreOfficeDocument::range(Position start, Position end)
{
    if (start < 0 || start >= end || end > pageCount_)
        throw Failure("the range " + std::to_string(start) + " to " + std::to_string(end)
                      + " lies outside the document's main text");
    return std::make_unique<LibreOfficeRange>(*this, start);
}

Picture LibreOfficeDocument::pagePicture(int pageIndex)
{
    if (!layout_)
        layout_ = app_.call([&] {
            return std::make_unique<PageLayout>(app_.remoteContext(), app_.loader(), model_);
        });
    return app_.call([&] { return layout_->page(pageIndex); });
}

void LibreOfficeDocument::close()
{
    app_.forgetDocument(this);
    if (layout_) {
        app_.closeModel(layout_->drawing());
        layout_.reset();
    }
    auto model = std::move(model_);
    app_.closeModel(model);
}

} // namespace

std::unique_ptr<Application> startLibreOffice(const Limits &limits)
{
    return std::make_unique<LibreOfficeApplication>(limits);
}

} // namespace office
