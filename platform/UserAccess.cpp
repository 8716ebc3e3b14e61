#include "platform/UserAccess.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

// The user's groups from the user database; none for a user it does not
// know, who then has only the owner's or everyone's bits.
std::vector<gid_t> groupsOf(uid_t user)
{
    passwd entry{};
    passwd *found = nullptr;
    std::vector<char> buffer(16384);
    while (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (!found)
        return {};
    std::vector<gid_t> groups(32);
    for (;;) {
        int count = static_cast<int>(groups.size());
        if (getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) >= 0) {
            groups.resize(count);
            return groups;
        }
        groups.resize(std::max<std::size_t>(count, groups.size() * 2));
    }
}

// bit: the owner's bit of what is asked (S_IRUSR, S_IXUSR).
bool allowed(uid_t user, const std::vector<gid_t> &groups, const struct stat &info, mode_t bit)
{
    if (info.st_uid == user)
        return info.st_mode & bit;
    if (std::find(groups.begin(), groups.end(), info.st_gid) != groups.end())
        return info.st_mode & (bit >> 3);
    return info.st_mode & (bit >> 6);
}

bool userCould(uid_t user, std::span<const struct stat> folders, const struct stat &target, mode_t bit)
{
    const std::vector<gid_t> groups = groupsOf(user);
    return std::all_of(folders.begin(), folders.end(),
                       [&](const struct stat &folder) { return allowed(user, groups, folder, S_IXUSR); })
           && allowed(user, groups, target, bit);
}

} // namespace

bool userCouldRead(uid_t user, std::span<const struct stat> folders, const struct stat &file)
{
    return userCould(user, folders, file, S_IRUSR);
}

bool userCouldWrite(uid_t user, std::span<const struct stat> folders, const struct stat &target)
{
    return userCould(user, folders, target, S_IWUSR);
}

} // namespace platform
