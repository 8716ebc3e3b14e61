#pragma once

#include <QList>
#include <QStringList>

#include <sys/types.h>

// Running, that is: neither gone nor a zombie waiting to be reaped.
bool alive(pid_t pid);

// Processes whose parent is `parent` and whose name starts with `prefix`.
QList<int> childrenNamed(qint64 parent, const QString &prefix);
// Office processes whose parent is this process (ours, started by the layer).
QList<int> officeChildren();
// Office processes started by the program with this process id, wherever
// they are now (their pipe's name says whose they are).
QList<int> officesOf(qint64 pid);

// The socket files offices keep in /tmp. An office that is ended, and the
// office's own command-line conversion, leave theirs behind; a test that
// causes that removes them.
class OfficeSockets {
public:
    void note();
    void removeNew() const;

private:
    QStringList before_;
};
