#pragma once

#include "office/Application.h"

#include <QStringList>

#include <chrono>
#include <cstdint>
#include <memory>

namespace sandbox {
class Watchdog;
}

namespace office {

// What memory this program and its offices may really use, in bytes: the
// system's available memory, or less where a control group (a container, a
// service's limit) sets a lower limit; -1 where nothing says.
std::int64_t usableMemory();

// What one office may hold before it is ended: 2 GiB, or half of what may
// be used where that is less (at least 256 MiB).
std::int64_t defaultOfficeMemory();

struct Limits {
    // From starting the process to a working connection. A start normally
    // takes well under a second; one that hangs is retried once.
    std::chrono::milliseconds start{5000};
    // One call into the office (a load or a page export of a large document
    // included); past it the office counts as hung and is ended.
    std::chrono::milliseconds call{120000};
    // Everything done with one document, from its load on; past it the
    // office is ended, however busy it still is.
    std::chrono::milliseconds document{600000};
    // What the office may hold in memory; past it the office is ended.
    std::int64_t memory = defaultOfficeMemory();
};

// A fresh headless LibreOffice with a profile of its own; throws Failure when
// none can be started.
std::unique_ptr<Application> startLibreOffice(const Limits &limits = {});

// What keeps documents from other files and from the network but cannot be
// applied on this system, one reason each; empty when every layer holds.
QStringList confinementShortfalls();

// From now on no office starts unless it is fully confined: its document
// fails with the reason instead. For servers that must not run otherwise.
void requireConfinement();
bool confinementRequired();

// Ends every office of this process at once and lets no new one start; what
// they were doing fails as interrupted. For a program that is being stopped.
void endAllOffices();

// Ends every office of this process, as endAllOffices() does, once `limit`
// has passed, unless it goes first: for a program with a time limit on all
// it does.
class EndAllOfficesAfter {
public:
    explicit EndAllOfficesAfter(std::chrono::milliseconds limit);
    ~EndAllOfficesAfter();
    EndAllOfficesAfter(const EndAllOfficesAfter &) = delete;
    EndAllOfficesAfter &operator=(const EndAllOfficesAfter &) = delete;
    // Whether the limit passed.
    bool fired() const;

private:
    std::unique_ptr<sandbox::Watchdog> watchdog_;
};

// Fresh LibreOffice instances, ended all together by endAllOffices().
Offices libreOffices(const Limits &limits = {});

} // namespace office
