#pragma once

// Internal to office/: a connection to an office's pipe by the socket's own
// path. The office's pipe lies in its private temporary folder, which the
// runtime's own pipe connector cannot be told about (it looks in /tmp only).

#include <com/sun/star/connection/XConnection.hpp>

#include <QString>

namespace office {

// The connected socket's connection, or an empty reference while nothing
// listens there yet.
com::sun::star::uno::Reference<com::sun::star::connection::XConnection> connectToSocket(const QString &path);

} // namespace office
