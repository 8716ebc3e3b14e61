#pragma once

#include <QByteArray>
#include <QList>

namespace emf {

struct EmfRecord {
    quint32 type;
    qsizetype at;
    quint32 size;
};

inline constexpr qsizetype kEmfHeaderSize = 88;
inline constexpr quint32 kEmfHeader = 1;
inline constexpr quint32 kEmfEndOfFile = 14;

// The picture's records from its header record on, when they run whole to
// an end-of-file record at the file's end; none otherwise, so that a picture
// we cannot read whole is left as the office wrote it.
QList<EmfRecord> wholeRecords(const QByteArray &emf);

} // namespace emf
