#include "platform/SingleInstance.h"

#include <QLocalSocket>

#include <unistd.h>

namespace platform {

QString SingleInstance::defaultKey()
{
    return QStringLiteral("pagegrab-%1").arg(getuid());
}

SingleInstance::SingleInstance(const QString &key) : key_(key)
{
    server_.setSocketOptions(QLocalServer::AbstractNamespaceOption);
}

void SingleInstance::onAnotherStart(std::function<void()> call)
{
    // A later start's probe is its knock; nothing is read from it.
    QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this, call = std::move(call)] {
        while (QLocalSocket *knock = server_.nextPendingConnection()) {
            knock->deleteLater();
            call();
        }
    });
}

bool SingleInstance::anotherIsRunning()
{
    if (server_.isListening())
        return false;
    if (server_.listen(key_))
        return false;
    // The name is taken: by a live holder, unless it died between the two calls.
    QLocalSocket probe;
    probe.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    probe.connectToServer(key_);
    if (probe.waitForConnected(1000))
        return true;
    return !server_.listen(key_);
}

} // namespace platform
