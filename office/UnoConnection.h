#pragma once

// Internal to office/: the UNO side of one office instance.

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <QString>
#include <initializer_list>
#include <string>

namespace office {

namespace css = com::sun::star;
using css::uno::Reference;
using rtl::OUString;

// Our process's own UNO runtime, made once.
Reference<css::uno::XComponentContext> localContext();

// A bridge to the office listening on the pipe's socket; empty while it does
// not accept yet.
struct UnoConnection {
    Reference<css::uno::XComponentContext> remote;
    Reference<css::lang::XComponent> bridge;
    static UnoConnection tryConnect(const QString &socketPath);
    void dispose();
};

// The text an exception carries, or what it stands for when it carries none.
std::string describe(const css::uno::Exception &e);

OUString toOUString(const QString &s);
OUString fileUrl(const QString &path);
QString toQString(const OUString &s);

template <class E>
css::uno::Sequence<E> sequence(std::initializer_list<E> items)
{
    return css::uno::Sequence<E>(items.begin(), static_cast<sal_Int32>(items.size()));
}

template <class T>
css::beans::PropertyValue property(const char *name, const T &value)
{
    css::beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value <<= value;
    return p;
}

} // namespace office
