#pragma once

// Internal to office/: one running office process and our connection to it.
// Every call into it runs under a watchdog and fails with a Failure that says
// what went wrong; a hung office is ended.

#include "office/Application.h"
#include "office/LibreOffice.h"
#include "office/OfficeProcess.h"
#include "office/Profile.h"
#include "office/UnoConnection.h"
#include "sandbox/MemoryGuard.h"
#include "sandbox/Watchdog.h"

#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/DisposedException.hpp>

#include <memory>
#include <optional>

namespace office {

class OfficeInstance {
public:
    // What an office is started for: documents, or only to make the
    // profile template later offices start from (see Profile).
    enum class Purpose { Documents, Template };
    explicit OfficeInstance(const Limits &limits, Purpose purpose = Purpose::Documents);
    ~OfficeInstance();
    OfficeInstance(const OfficeInstance &) = delete;
    OfficeInstance &operator=(const OfficeInstance &) = delete;

    template <class F>
    auto call(F &&f) -> decltype(f())
    {
        if (!desktop_.is())
            throw Failure("办公软件没有在运行");
        // Disarmed however the call ends, so a failure of ours inside it
        // cannot leave the office to be ended later for nothing.
        const sandbox::Watchdog::Armed armed(watchdog_, callLimit());
        try {
            return f();
        } catch (const css::lang::DisposedException &e) {
            throwFailure(describe(e), true);
        } catch (const css::uno::Exception &e) {
            throwFailure(describe(e), false);
        }
    }

    // Opens a file hidden and read-only, macros and links off; a question the
    // office would ask a person is answered with Abort and says why it failed.
    // The document's time limit starts here.
    struct Loaded {
        Reference<css::lang::XComponent> model;
        mode_t permissions; // of the file it was read from
        gid_t group;        // of that file
        std::string damage; // see wordfile/WordFileDamage.h
    };
    Loaded load(const QString &path);
    void closeModel(const Reference<css::lang::XComponent> &model);

    Reference<css::uno::XComponentContext> context() const { return connection_.remote; }
    Reference<css::frame::XComponentLoader> loader() const { return {desktop_, css::uno::UNO_QUERY_THROW}; }

    void shutDown();

    // A folder the office may write and we may read (files the office
    // exports); it goes with the office.
    QString workFolder() const { return profile_->tempFolder(); }

private:
    // The call limit, or what is left of the document's when that is nearer.
    std::chrono::milliseconds callLimit();
    void start();
    void startOnce();
    std::string notStartedText() const;
    // bridgeGone: the connection broke, which an ending office causes too.
    [[noreturn]] void throwFailure(const std::string &description, bool bridgeGone);

    Limits limits_;
    const Purpose purpose_;
    QString pipe_;
    std::optional<Profile> profile_;
    std::chrono::steady_clock::time_point documentDeadline_ = std::chrono::steady_clock::time_point::max();
    bool documentLimitArmed_ = false;
    std::unique_ptr<OfficeProcess> process_;
    sandbox::Watchdog watchdog_;
    sandbox::MemoryGuard memoryGuard_;
    std::uint64_t outOfMemoryKillsBefore_ = 0;
    UnoConnection connection_;
    Reference<css::frame::XDesktop2> desktop_;
};

} // namespace office
