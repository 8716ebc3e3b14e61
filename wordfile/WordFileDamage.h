#pragma once

#include <QByteArray>

#include <string>

namespace wordfile {

// What is known to be wrong with a Word file that the office may still open
// without a word, giving fewer pages than it has: a file cut short (a broken
// download, a full disk). Word 97 to 2003, 95 and 6 files are compound files
// (see CompoundFile.h); a Word for Windows 1 or 2 file records its own
// length in its header. Nothing for a sound file and any other kind of file.
std::string wordFileDamage(const QByteArray &bytes);

} // namespace wordfile
