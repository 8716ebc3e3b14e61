#include "office/AbortingInteraction.h"

#include "office/UnoConnection.h"

#include <com/sun/star/task/XInteractionAbort.hpp>

namespace office {
namespace {

// The request types are matched by name: their fields add nothing a user
// could act on.
std::string questionOf(const css::uno::Any &request)
{
    const QString type = toQString(request.getValueTypeName());
    if (type.contains("PasswordRequest"))
        return "文档有密码保护";
    if (type.endsWith("BrokenPackageRequest"))
        return "文档已损坏，无法读取";
    css::uno::Exception e;
    if (request >>= e) {
        const std::string text = describe(e);
        if (!text.empty())
            return text;
    }
    return "办公软件提出了要人来回答的问题（" + type.toStdString() + "）";
}

} // namespace

void AbortingInteraction::handle(const Reference<css::task::XInteractionRequest> &request)
{
    {
        // The first question is the cause; the office's later ones follow from
        // aborting it.
        std::lock_guard lock(mutex_);
        if (firstQuestion_.empty())
            firstQuestion_ = questionOf(request->getRequest());
    }
    for (const auto &choice : request->getContinuations()) {
        Reference<css::task::XInteractionAbort> abort(choice, css::uno::UNO_QUERY);
        if (abort.is()) {
            abort->select();
            return;
        }
    }
}

std::string AbortingInteraction::firstQuestion() const
{
    std::lock_guard lock(mutex_);
    return firstQuestion_;
}

} // namespace office
