#include "office/UnoConnection.h"

#include "office/SocketConnection.h"
#include "platform/NativePath.h"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>
#include <uno/threadpool.h>

#include <QRegularExpression>

#include <csignal>
#include <mutex>

namespace office {

Reference<css::uno::XComponentContext> localContext()
{
    // The runtime finds the office's type and service registries through the
    // office's own bootstrap file, named in the runtime's own settings rather
    // than in the environment, which other threads may be reading.
    static Reference<css::uno::XComponentContext> context;
    static std::once_flag once;
    std::call_once(once, [] {
        // Once an office is gone, a write on its pipe would raise SIGPIPE and
        // end this program; the failed call says what happened instead.
        signal(SIGPIPE, SIG_IGN);
        rtl::Bootstrap::set("URE_BOOTSTRAP", "vnd.sun.star.pathname:" LIBREOFFICE_PROGRAM_DIR "/fundamentalrc");
        context = cppu::defaultBootstrap_InitialComponentContext();
        // Each bridge has a thread pool; when the last one goes, its
        // disposal joins the pool's idle threads, and one that finished a
        // call back into us (an interaction handler's) just then is waited
        // for two seconds. One pool kept for the program's life makes no
        // bridge's the last.
        static const uno_ThreadPool keptPool = uno_threadpool_create();
        (void)keptPool;
    });
    return context;
}

UnoConnection UnoConnection::tryConnect(const QString &socketPath)
{
    const auto ctx = localContext();
    const Reference<css::connection::XConnection> link = connectToSocket(socketPath);
    if (!link.is())
        return {};
    const auto bridge = css::bridge::BridgeFactory::create(ctx)->createBridge("", "urp", link, {});
    UnoConnection c;
    c.remote.set(bridge->getInstance("StarOffice.ComponentContext"), css::uno::UNO_QUERY_THROW);
    c.bridge.set(bridge, css::uno::UNO_QUERY_THROW);
    return c;
}

void UnoConnection::dispose()
{
    remote.clear();
    if (bridge.is()) {
        try {
            bridge->dispose();
        } catch (const css::uno::Exception &) {
        }
        bridge.clear();
    }
}

std::string describe(const css::uno::Exception &e)
{
    // The office's builds end many messages with the source line that threw,
    // which tells a user nothing.
    static const QRegularExpression sourceLocation(QStringLiteral("\\s*at \\S+:\\d+\\s*$"));
    QString message = toQString(e.Message);
    message.remove(sourceLocation);
    message = message.trimmed();
    if (message.isEmpty())
        message = "办公软件报告了" + toQString(css::uno::Any(e).getValueTypeName()) + "，但没有说明";
    return message.toStdString();
}

OUString toOUString(const QString &s)
{
    return OUString(reinterpret_cast<const sal_Unicode *>(s.utf16()), s.size());
}

OUString fileUrl(const QString &path)
{
    // From the name's bytes: one that is not UTF-8 keeps them, escaped.
    return toOUString("file://" + QString::fromLatin1(platform::toNativePath(path).toPercentEncoding("/")));
}

QString toQString(const OUString &s)
{
    return QString(reinterpret_cast<const QChar *>(s.getStr()), s.getLength());
}

} // namespace office
