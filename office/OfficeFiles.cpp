#include "office/OfficeFiles.h"

#include <QDir>
#include <QFile>

namespace office {
namespace {

// What the office reads besides its own folder. Folders are given whole
// only where they hold nothing but what their name says (fonts, the office's
// files, libraries); of /etc, /proc and the home folder only the entries
// the office and its libraries look at.
QStringList readablePaths()
{
    QStringList paths{
        QStringLiteral(LIBREOFFICE_PROGRAM_DIR "/.."),
        "/usr/lib",
        "/usr/lib64",
        "/lib",
        "/lib64",
        "/usr/local/lib",
        "/usr/share/libreoffice",
        "/usr/share/fonts",
        "/usr/local/share/fonts",
        "/usr/share/fontconfig",
        "/usr/share/locale",
        "/usr/share/zoneinfo",
        "/usr/share/liblangtag",
        "/usr/share/hyphen",
        "/usr/share/hunspell",
        "/usr/share/mythes",
        "/etc/fonts",
        "/etc/libreoffice",
        "/etc/ld.so.cache",
        "/etc/passwd",
        "/etc/group",
        "/etc/nsswitch.conf",
        "/etc/localtime",
        "/etc/locale.alias",
        "/etc/papersize",
        // The office's shared extension cache and fontconfig's caches: without
        // them it aborts, or every font is scanned again at each start.
        "/var/spool/libreoffice",
        "/var/lib/libreoffice",
        "/var/cache/fontconfig",
        // Its own process entries (the rule is taken in the child, so "self" is
        // the office), and what the system says of memory and processors.
        "/proc/self",
        "/proc/filesystems",
        "/proc/meminfo",
        "/proc/cpuinfo",
        "/proc/stat",
        "/sys/devices/system/cpu",
        "/dev/urandom",
        "/dev/random",
    };
    const QString home = QDir::homePath();
    const auto xdg = [&](const char *variable, const QString &fallback) {
        return qEnvironmentVariable(variable, home + fallback);
    };
    paths << home + "/.fonts" << xdg("XDG_DATA_HOME", "/.local/share") + "/fonts"
          << xdg("XDG_CACHE_HOME", "/.cache") + "/fontconfig" << xdg("XDG_CONFIG_HOME", "/.config") + "/fontconfig";
    return paths;
}

} // namespace

sandbox::FileAllowList officeFiles(const QString &ownFolder)
{
    using Rule = sandbox::FileAllowList::Rule;
    std::vector<Rule> rules;
    for (const QString &path : readablePaths())
        rules.push_back({QFile::encodeName(path), Rule::Read});
    rules.push_back({"/dev/null", Rule::Device});
    rules.push_back({"/dev/zero", Rule::Device});
    rules.push_back({QFile::encodeName(ownFolder), Rule::Write});
    // Where the office makes its pipes when it cannot be kept out of them
    // (see sandbox/Confinement.h).
    rules.push_back({"/tmp", Rule::MakeSockets});
    rules.push_back({"/var/tmp", Rule::MakeSockets});
    return sandbox::FileAllowList(std::move(rules));
}

} // namespace office
