#pragma once

// Internal to office/: one soffice.bin child, confined (see OfficeFiles) and
// listening on a pipe of its own.

#include "office/Profile.h"
#include "sandbox/ConfinedProcess.h"

#include <QString>
#include <QStringList>

namespace office {

class OfficeProcess : public sandbox::ConfinedProcess {
public:
    // Starts the office for the profile; throws Interrupted once every
    // office is being ended, Failure when it cannot start, or cannot be
    // confined while that is required.
    OfficeProcess(const Profile &profile, const QString &pipeName);

    // Where the office listens for us.
    const QString &socketPath() const { return socketPath_; }
    // The pipes' sockets an office that is killed leaves in the shared
    // temporary folder, where it could not be given its own; none where it
    // was.
    const QStringList &socketsLeftIfKilled() const { return socketsLeftIfKilled_; }

private:
    QString socketPath_;
    QStringList socketsLeftIfKilled_;
};

// What keeps documents away from files and the network but is missing from
// a confinement, one reason each.
QStringList shortfalls(const sandbox::ConfinementReport &report);

} // namespace office
