#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace platform {

// File names are bytes. Most are UTF-8, but names unpacked from archives made
// elsewhere (Chinese names in the GBK code page) are not, and Qt's own
// conversion would replace their bytes for good. Here a byte that is not part
// of valid UTF-8 becomes the lone surrogate U+DC80 + byte (lone: never the
// low half of a character beyond U+FFFF), so every name survives the trip
// through a QString and back unchanged.
QString fromNativePath(const QByteArray &bytes);
QByteArray toNativePath(const QString &path);

// A program's arguments from `first` on, each as fromNativePath() reads it:
// a name that is not UTF-8 reaches the program unchanged.
QStringList nativeArguments(int argc, char **argv, int first = 1);

// The path from the root: a relative one is taken from the working folder,
// whose name keeps its bytes too.
QString absoluteNativePath(const QString &path);

// Whether the path names a folder, or a regular file (links followed).
bool isNativeFolder(const QString &path);
bool isNativeFile(const QString &path);

// The name as a person reads it: kept bytes read as GB18030 where they form
// text in it, otherwise shown as U+FFFD. Control characters are left alone.
QString readablePath(const QString &path);

} // namespace platform
