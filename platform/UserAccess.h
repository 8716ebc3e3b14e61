#pragma once

// What another user could do with a file, as its
// permission bits say. ACLs are not consulted: an entry naming that user or
// one of its groups can grant or deny what the bits alone decide here.

#include <span>

#include <sys/stat.h>

namespace platform {

// Whether the user could look up names in each of the folders and then read
// the file: owner, group (the user's own or one it belongs to) or other
// bits, whichever one class applies, as the kernel decides.
bool userCouldRead(uid_t user, std::span<const struct stat> folders, const struct stat &file);

// Whether the user could look up names in each of the folders and then
// write the target: a file, or a folder to make files in.
bool userCouldWrite(uid_t user, std::span<const struct stat> folders, const struct stat &target);

} // namespace platform
