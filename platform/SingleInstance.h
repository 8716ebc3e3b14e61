#pragma once

#include <QLocalServer>
#include <QString>

#include <functional>

namespace platform {

// Claims the program's name for this user. The socket lives in the abstract
// namespace, so the kernel frees it when a holder dies, crashed or not: a
// stale lock cannot block the next start.
class SingleInstance {
public:
    static QString defaultKey();
    explicit SingleInstance(const QString &key = defaultKey());

    // True when another live process holds the key; otherwise this one
    // claims it for as long as the object lives.
    bool anotherIsRunning();
    // While this one holds the key, each later start calls this as it ends.
    void onAnotherStart(std::function<void()> call);

private:
    QString key_;
    QLocalServer server_;
};

} // namespace platform
