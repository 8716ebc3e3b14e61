#pragma once

#include <QString>

// Whether a file may take log lines: a missing or empty file, one that is
// not a regular file, or one whose first 4 KiB read as plain text, as our
// own lines do in GB18030 or UTF-8. A document or any other binary file is
// not: an option taken from a file's name (a file "--log=notes.doc" among a
// shell's *.doc) must never append lines to a person's document. A file
// that cannot be read is not judged; writing to it fails or not as it will.
bool isPlainTextLog(const QString &path);
