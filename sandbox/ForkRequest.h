#pragma once

// What we ask of a fork server (ForkServer), as the bytes of one message:
// each field its length and then its bytes.

#include "sandbox/Confinement.h"

#include <QByteArray>

#include <cstddef>
#include <optional>
#include <vector>

namespace sandbox {

// A request is a few kilobytes: the rules, the arguments, the environment;
// the most is well within what one message on a local socket may hold.
constexpr std::size_t kMaxForkRequest = 64 * 1024;

struct ForkRequest {
    bool mustBeComplete = true;
    QByteArray ownFolder;
    std::vector<FileAllowList::Rule> rules;
    std::vector<QByteArray> arguments;
    std::vector<QByteArray> environment;
};

QByteArray encodeForkRequest(const Confinement &confinement, const std::vector<QByteArray> &arguments,
                             const std::vector<QByteArray> &environment, bool mustBeComplete);

// Nothing for bytes that are not a whole request. Every text is a view into
// `data`, which must outlive it, and is not ended by a NUL.
std::optional<ForkRequest> decodeForkRequest(const char *data, std::size_t size);

} // namespace sandbox
