#pragma once

// Internal to office/: answers every question the office would ask a person
// (passwords, damaged-file repair, filter choice) with Abort, and remembers
// what was asked so the failure can say why.

#include <com/sun/star/task/XInteractionHandler.hpp>
#include <cppuhelper/implbase1.hxx>

#include <mutex>
#include <string>

namespace office {

class AbortingInteraction : public cppu::WeakImplHelper1<com::sun::star::task::XInteractionHandler> {
public:
    void SAL_CALL
    handle(const com::sun::star::uno::Reference<com::sun::star::task::XInteractionRequest> &request) override;
    // What the first aborted question was about, empty when none was asked.
    std::string firstQuestion() const;

private:
    mutable std::mutex mutex_;
    std::string firstQuestion_;
};

} // namespace office
