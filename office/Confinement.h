#pragma once

// Internal to office/: what an office process may reach. A document must not
// make the program reach the network or read another file, and the office's
// own settings cannot promise that for every import filter (a picture field
// of an RTF document reads the file it names). So each office runs in a
// network namespace of its own, with nothing in it, and a mount namespace in
// which the folders that hold people's own files are empty: the home
// folders, removable media, /mnt, /srv and /var/tmp. Our temporary folder
// and the user's fonts stay visible. Documents reach the office as bytes from
// us, so it never needs their folders.
//
// Where the system allows no namespaces, the office runs as it is and the
// office's own settings are what protect. In a chroot only the network part
// is possible: its root is no mount point, so folders emptied there could
// show outside it too.

#include <QByteArray>

#include <vector>

namespace office {

class Confinement {
public:
    // Works out the folders; allocates, so it runs before fork.
    Confinement();

    // In the child between fork and exec: system calls only.
    void applyInChild() const;

private:
    struct Kept {
        QByteArray path;
        std::vector<QByteArray> parents; // outermost first, to recreate on the empty folder
    };

    std::vector<QByteArray> hidden_;
    std::vector<Kept> kept_;
    QByteArray uidMap_;
    QByteArray gidMap_;
};

} // namespace office
