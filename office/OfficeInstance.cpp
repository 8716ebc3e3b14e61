#include "office/OfficeInstance.h"

#include "office/AbortingInteraction.h"
#include "office/DocumentBytes.h"
#include "sandbox/Memory.h"
#include "wordfile/WordFileDamage.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/io/SequenceInputStream.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <rtl/ref.hxx>

#include <QFile>

#include <atomic>
#include <csignal>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace office {
namespace {

using namespace std::chrono_literals;

constexpr auto kCleanQuit = 500ms;

// The office asks for a restart when a profile is brand new.
constexpr int kRestartRequested = 81;
constexpr int kStartAttempts = 3;

std::string durationText(std::chrono::milliseconds limit)
{
    if (limit.count() % 60000 == 0)
        return std::to_string(limit.count() / 60000) + "分钟";
    return std::to_string(limit.count() / 1000) + "秒";
}

QString uniquePipeName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("pagegrab-%1-%2").arg(getpid()).arg(++counter);
}

// The office reads a document's bytes from us, and a link relative to the
// document resolves against this, which is nowhere.
const OUString kNowhere = "private:stream";

std::string openFailure(const std::string &error, const std::string &question)
{
    // What the office asked about (a password, a damaged file) says more
    // than the bare load error that follows the abort.
    if (!question.empty())
        return "无法打开文档：" + question;
    if (!error.empty())
        return "无法打开文档：" + error;
    return "无法打开文档：办公软件不认识它的格式或内容";
}

// The session's first office starts from a seeded profile. Before any
// later one starts, an office that opens no document quits cleanly and its
// complete profile becomes the template every later profile is a copy of:
// what one stranger's document leaves in its office's profile never starts
// another document's office, and a program with one office pays nothing.
// Later offices wait for it; where it fails twice, they start seeded too.
void prepareTemplateForLaterOffices(const Limits &limits)
{
    static std::mutex mutex;
    static int starts = 0;
    static int tries = 0;
    std::lock_guard lock(mutex);
    if (starts++ == 0 || Profile::templateReady() || tries == 2)
        return;
    ++tries;
    try {
        const OfficeInstance templateMaker(limits, OfficeInstance::Purpose::Template);
    } catch (const Failure &) {
    }
}

} // namespace

OfficeInstance::OfficeInstance(const Limits &limits, Purpose purpose)
    : limits_(limits), purpose_(purpose), watchdog_([this] { process_->kill(); }), memoryGuard_(limits.memory)
{
    if (purpose_ == Purpose::Documents)
        prepareTemplateForLaterOffices(limits_);
    start();
}

std::chrono::milliseconds OfficeInstance::callLimit()
{
    const auto now = std::chrono::steady_clock::now();
    const auto forDocument = documentDeadline_ - std::min(now, documentDeadline_);
    documentLimitArmed_ = forDocument < limits_.call;
    return documentLimitArmed_ ? std::chrono::duration_cast<std::chrono::milliseconds>(forDocument) : limits_.call;
}

OfficeInstance::~OfficeInstance()
{
    shutDown();
}

OfficeInstance::Loaded OfficeInstance::load(const QString &path)
{
    documentDeadline_ = std::chrono::steady_clock::now() + limits_.document;
    // A document takes several times its size in an office once read.
    const DocumentFile file = readDocument(path, limits_.memory / 4);
    const auto handler = rtl::Reference<AbortingInteraction>(new AbortingInteraction);
    const auto args = sequence({
        property("Hidden", true),
        property("ReadOnly", true),
        property("MacroExecutionMode", css::document::MacroExecMode::NEVER_EXECUTE),
        property("UpdateDocMode", css::document::UpdateDocMode::NO_UPDATE),
        property("InteractionHandler", Reference<css::task::XInteractionHandler>(handler.get())),
    });
    Reference<css::lang::XComponent> model;
    try {
        model = call([&] {
            // A stream in the office's own process: it reads the document
            // without a call back to us for every few bytes.
            const Reference<css::io::XInputStream> stream(
                css::io::SequenceInputStream::createStreamFromSequence(context(), file.bytes),
                css::uno::UNO_QUERY_THROW);
            auto withStream = args;
            withStream.realloc(args.getLength() + 2);
            withStream.getArray()[args.getLength()] = property("InputStream", stream);
            withStream.getArray()[args.getLength() + 1] = property("DocumentBaseURL", kNowhere);
            // Loaded by its own name, so that fields showing the document's
            // file name or path show them; the bytes still come from us.
            return loader()->loadComponentFromURL(fileUrl(path), "_blank", 0, withStream);
        });
    } catch (const Interrupted &) {
        throw;
    } catch (const Failure &f) {
        throw Failure(openFailure(f.what(), handler->firstQuestion()));
    }
    if (!model.is())
        throw Failure(openFailure("", handler->firstQuestion()));
    // The office says nothing of a Word file that was cut short but still
    // opens; the bytes it was given tell.
    const QByteArray read = QByteArray::fromRawData(reinterpret_cast<const char *>(file.bytes.getConstArray()),
                                                    file.bytes.getLength());
    return {model, file.permissions, file.group, wordfile::wordFileDamage(read)};
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
    // A start that hangs (rarely, on a loaded machine, with the office
    // waiting on itself before it answers) is not the document's fault: a
    // fresh profile and pipe get one more try. An office ended while it
    // started, because the program stops, is no failure of the document's.
    for (int attempt = 1;; ++attempt) {
        try {
            startOnce();
            return;
        } catch (const Failure &) {
            if (OfficeProcess::allEnding())
                throw Interrupted();
            if (attempt == 2)
                throw;
        }
    }
}

void OfficeInstance::startOnce()
{
    profile_.emplace();
    pipe_ = uniquePipeName();
    if (!profile_->isValid())
        throw Failure("无法为办公软件创建配置文件夹");
    for (int attempt = 1;; ++attempt) {
        memoryGuard_.stop();
        process_ = std::make_unique<OfficeProcess>(*profile_, pipe_);
        outOfMemoryKillsBefore_ = sandbox::outOfMemoryKills();
        memoryGuard_.watch(process_->pid());
        const auto deadline = std::chrono::steady_clock::now() + limits_.start;
        watchdog_.arm(limits_.start);
        try {
            while (!connection_.remote.is()) {
                connection_ = UnoConnection::tryConnect(process_->socketPath());
                if (connection_.remote.is())
                    break;
                if (const auto code = process_->exitCode()) {
                    if (*code == kRestartRequested && attempt < kStartAttempts)
                        break;
                    throw Failure("办公软件在启动时结束（退出码" + std::to_string(*code) + "）");
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
            throw Failure(watchdog_.fired() ? notStartedText() : "无法连接办公软件：" + describe(e));
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
    return "办公软件未在" + std::to_string(limits_.start.count() / 1000) + "秒内启动";
}

void OfficeInstance::throwFailure(const std::string &description, bool bridgeGone)
{
    if (OfficeProcess::allEnding())
        throw Interrupted();
    if (const std::int64_t used = memoryGuard_.endedAt()) {
        process_->waitForExit(5000);
        throw Failure("文档所需的内存超出办公软件的上限：办公软件被结束时占用" + sandbox::megabytes(used) + "，上限为"
                      + sandbox::megabytes(memoryGuard_.bound()));
    }
    if (watchdog_.fired()) {
        process_->waitForExit(5000);
        if (documentLimitArmed_)
            throw Failure("文档的处理超过" + durationText(limits_.document) + "，办公软件已被结束");
        throw Failure("办公软件" + std::to_string(limits_.call.count() / 1000) + "秒内没有响应，已被结束");
    }
    // The broken connection can be noticed a moment before the ended
    // process can be reaped; waiting for it gives one description, not two
    // depending on timing.
    if (bridgeGone)
        process_->waitForExit(5000);
    if (const auto code = process_->exitCode()) {
        if (*code == 128 + SIGKILL && sandbox::outOfMemoryKills() > outOfMemoryKillsBefore_)
            throw Failure("系统内存不足，结束了办公软件（退出码" + std::to_string(*code) + ")");
        throw Failure("办公软件意外结束（退出码" + std::to_string(*code) + "）");
    }
    throw Failure(description.empty() ? "办公软件报告了失败，但没有说明" : description);
}

void OfficeInstance::shutDown()
{
    if (!process_)
        return;
    // Only the office that makes the template needs to quit cleanly; any
    // other is ended at once, which takes a hundredth of a second instead of
    // several and never stalls in the office's own exit. A clean quit takes
    // about 0.1 s but now and then stalls for 2 s; one that stalls is ended
    // too, and another office is tried for the template.
    const bool quitCleanly = purpose_ == Purpose::Template;
    if (quitCleanly && desktop_.is() && !watchdog_.fired() && !process_->exitCode()) {
        watchdog_.arm(kCleanQuit);
        try {
            desktop_->terminate();
        } catch (const css::uno::Exception &) {
            // The bridge drops as the office goes; that is the normal end.
        }
        watchdog_.disarm();
    }
    desktop_.clear();
    // Ended first, the office closes its end of the pipe, and the bridge
    // goes at once; disposed while the office still runs, it waited 2 s now
    // and then.
    if (!quitCleanly)
        process_->kill();
    connection_.dispose();
    const bool clean = quitCleanly && !watchdog_.fired() && process_->waitForExit(kCleanQuit.count())
                       && process_->exitCode() == 0;
    if (!clean)
        process_->kill();
    // An office that was ended could not remove its pipes' sockets.
    if (!clean)
        for (const QString &socket : process_->socketsLeftIfKilled())
            QFile::remove(socket);
    memoryGuard_.stop();
    process_.reset();
    if (clean)
        profile_->offerAsTemplate();
}

} // namespace office
