#include "office/OfficeInstance.h"

#include "office/AbortingInteraction.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <rtl/ref.hxx>

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <thread>
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

std::string openFailure(const std::string &error, const std::string &question)
{
    // What the office asked about (a password, a damaged file) says more
    // than the bare load error that follows the abort.
    if (!question.empty())
        return "cannot open the document: " + question;
    if (!error.empty())
        return "cannot open the document: " + error;
    return "cannot open the document: the office does not recognise its format or content";
}

} // namespace

OfficeInstance::OfficeInstance(const Limits &limits)
    : limits_(limits), pipe_(uniquePipeName()), watchdog_([this] { process_->kill(); })
{
    start();
}

OfficeInstance::~OfficeInstance()
{
    shutDown();
}

Reference<css::lang::XComponent> OfficeInstance::load(const QString &path, const char *filterName)
{
    const QFileInfo file(path);
    if (!file.exists())
        throw Failure("the file does not exist");
    if (!file.isFile())
        throw Failure("the path is not a file");
    const auto handler = rtl::Reference<AbortingInteraction>(new AbortingInteraction);
    auto args = sequence({
        property("Hidden", true),
        property("ReadOnly", true),
        property("MacroExecutionMode", css::document::MacroExecMode::NEVER_EXECUTE),
        property("UpdateDocMode", css::document::UpdateDocMode::NO_UPDATE),
        property("InteractionHandler", Reference<css::task::XInteractionHandler>(handler.get())),
    });
    if (filterName) {
        args.realloc(args.getLength() + 1);
        args.getArray()[args.getLength() - 1] = property("FilterName", OUString::createFromAscii(filterName));
    }
    const OUString url = fileUrl(file.absoluteFilePath());
    Reference<css::lang::XComponent> model;
    try {
        model = call([&] { return loader()->loadComponentFromURL(url, "_blank", 0, args); });
    } catch (const Failure &f) {
        throw Failure(openFailure(f.what(), handler->firstQuestion()));
    }
    if (!model.is())
        throw Failure(openFailure("", handler->firstQuestion()));
    return model;
}

void OfficeInstance::closeModel(const Reference<css::lang::XComponent> &model)
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

void OfficeInstance::start()
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

std::string OfficeInstance::notStartedText() const
{
    return "the office did not start within " + std::to_string(limits_.start.count() / 1000) + " s";
}

Failure OfficeInstance::failureOf(const std::string &description)
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

void OfficeInstance::shutDown()
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

} // namespace office
