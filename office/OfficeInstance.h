#pragma once

// Internal to office/: one running office process and our connection to it.
// Every call into it runs under a watchdog and fails with a Failure that says
// what went wrong; a hung office is ended.

#include "office/Application.h"
#include "office/LibreOffice.h"
#include "office/OfficeProcess.h"
#include "office/Profile.h"
#include "office/UnoConnection.h"
#include "office/Watchdog.h"

#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>

#include <memory>
#include <type_traits>

namespace office {

class OfficeInstance {
public:
    explicit OfficeInstance(const Limits &limits);
    ~OfficeInstance();
    OfficeInstance(const OfficeInstance &) = delete;
    OfficeInstance &operator=(const OfficeInstance &) = delete;

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

    // Opens a file hidden and read-only, macros and links off; a question the
    // office would ask a person is answered with Abort and says why it failed.
    Reference<css::lang::XComponent> load(const QString &path, const char *filterName = nullptr);
    void closeModel(const Reference<css::lang::XComponent> &model);

    Reference<css::uno::XComponentContext> context() const { return connection_.remote; }
    Reference<css::frame::XComponentLoader> loader() const { return {desktop_, css::uno::UNO_QUERY_THROW}; }

    void shutDown();

private:
    void start();
    std::string notStartedText() const;
    Failure failureOf(const std::string &description);

    Limits limits_;
    const QString pipe_;
    Profile profile_;
    std::unique_ptr<OfficeProcess> process_;
    Watchdog watchdog_;
    UnoConnection connection_;
    Reference<css::frame::XDesktop2> desktop_;
};

} // namespace office
