#pragma once

// Internal to office/: the files an office process may open, as a Landlock
// rule set the kernel enforces on the process and everything it starts. A
// document can link to any file by name through some import filter, so the
// office may read only what it needs to run and lay out text: its own
// installation, the libraries and data it loads, fonts and their
// configuration, and a few system files it reads at start. It may write only
// beneath its own folder (profile and temporary files). Whatever else a
// document names cannot be opened, wherever it lies.

#include <QByteArray>
#include <QString>

#include <vector>

namespace office {

class FileAllowList {
public:
    // Works out the paths; allocates, so it runs before fork. `ownFolder`
    // is the office's own folder (its profile), the only place it may write.
    explicit FileAllowList(const QString &ownFolder);

    // In the child between fork and exec: system calls only. Returns 0, or
    // the errno saying why the kernel would not apply the rules.
    // `sharedPipeFolder`: where the office must make its pipes, if not in
    // its own folder.
    int applyInChild(const char *sharedPipeFolder) const;

private:
    struct Rule {
        QByteArray path;
        enum Kind { Read, Write, Device, MakeSockets } kind;
    };
    std::vector<Rule> rules_;
};

// Whether Landlock is there: its ABI version, or 0 with errno set.
int landlockAbi();

} // namespace office
