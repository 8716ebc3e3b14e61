#pragma once

#include <QString>
#include <QTemporaryDir>

namespace office {

// A throw-away user profile for one office instance. It is seeded with the
// product version, which spares the office its first-start self-tests
// (seconds per start otherwise).
class Profile {
public:
    Profile();
    bool isValid() const { return dir_.isValid(); }
    QString url() const;

private:
    QTemporaryDir dir_;
};

} // namespace office
