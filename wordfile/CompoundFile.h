#pragma once

#include <QByteArray>

#include <string>

namespace wordfile {

// Word 97 to 2003, 95 and 6 documents are compound files: streams kept in a
// chain of sectors each. A file that was cut short (a broken download, a
// full disk) can still open and give fewer pages than it has, without a word
// from the office; its streams then run past the end of the file. Returns
// what is wrong, or nothing for a sound compound file and for any other
// kind of file.
std::string compoundFileDamage(const QByteArray &bytes);

} // namespace wordfile
