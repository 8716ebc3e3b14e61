#pragma once

#include <QString>
#include <QTemporaryDir>

namespace office {

// A throw-away user profile for one office instance. The first one of a
// session is seeded with the product version, which spares the office its
// first-start self-tests; once an office that opened no document has quit
// cleanly its profile is complete, and later profiles are copies of it,
// which start fastest.
class Profile {
public:
    Profile();
    bool isValid() const { return valid_; }
    QString folder() const { return dir_.path(); }
    QString url() const;
    // The office's own temporary folder, inside the profile's, so whatever
    // an office that was killed leaves there goes with the profile.
    QString tempFolder() const;

    // After a clean quit of an office that opened no document: this profile
    // becomes the session's template, unless there is one already.
    void offerAsTemplate() const;
    // Whether later profiles are copies of a complete one already.
    static bool templateReady();

private:
    QTemporaryDir dir_;
    bool valid_ = false;
};

} // namespace office
