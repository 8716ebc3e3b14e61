#pragma once

// What memory this program and its children may really use: the system's
// available memory, or less where a control group (a container, a service's
// limit) sets a lower limit. Children start in our control group, so its
// limit is theirs too.

#include <QByteArray>

#include <cstdint>
#include <string>

namespace sandbox {

// Bytes that may still be used, or -1 where nothing says: the system's
// available memory, and for our control group and each group above it, that
// group's limit less that group's own use. `root` goes before the kernel's
// /proc and /sys paths: empty but for a test's tree of its own.
std::int64_t usableMemory(const QByteArray &root = {});

// How often the kernel has ended a process of our control group for want
// of memory so far (0 where it does not say).
std::uint64_t outOfMemoryKills(const QByteArray &root = {});

// "N MB", as failure descriptions give sizes.
std::string megabytes(std::int64_t bytes);

// The resident memory of a process, in bytes, or -1 once it is gone.
std::int64_t residentMemory(int pid);

} // namespace sandbox
