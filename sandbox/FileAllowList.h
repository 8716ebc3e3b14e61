#pragma once

// The files a child process may open, as a Landlock rule set the kernel
// enforces on the process and everything it starts: whatever the list does
// not name cannot be opened, wherever it lies, whatever the child is told to
// open.

#include <QByteArray>

#include <utility>
#include <vector>

namespace sandbox {

class FileAllowList {
public:
    struct Rule {
        QByteArray path;
        enum Kind {
            Read,
            Write,
            Device,
            // Sockets may be made and removed there, when the child must
            // make its pipes in that shared folder.
            MakeSockets,
        } kind;
    };

    // Allocates, so it is made before fork. A path not on this system is
    // left out when the rules are applied.
    explicit FileAllowList(std::vector<Rule> rules) : rules_(std::move(rules)) {}

    // In the child between fork and exec: system calls only. Returns 0, or
    // the errno saying why the kernel would not apply the rules.
    // `sharedPipeFolder`: where the child must make its pipes, if not in
    // its own folder.
    int applyInChild(const char *sharedPipeFolder) const;
    const std::vector<Rule> &rules() const { return rules_; }

private:
    std::vector<Rule> rules_;
};

// Whether Landlock is there: its ABI version, or 0 with errno set.
int landlockAbi();

} // namespace sandbox
