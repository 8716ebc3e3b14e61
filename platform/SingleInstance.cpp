#include "platform/SingleInstance.h"

#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

// An abstract socket has no owner and no permissions: any user can take a
// name, or knock on it. Only a peer of our own user counts.
bool peerIsUs(qintptr socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return getsockopt(int(socket), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid();
}

} // namespace

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
            if (peerIsUs(knock->socketDescriptor()))
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
    // The name is taken: by a live holder, unless it died between the two
    // calls. Another user's holder does not stop us: this start runs, alone
    // in not holding the name.
    QLocalSocket probe;
    probe.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    probe.connectToServer(key_);
    if (probe.waitForConnected(1000))
        return peerIsUs(probe.socketDescriptor());
    return !server_.listen(key_);
}

} // namespace platform
