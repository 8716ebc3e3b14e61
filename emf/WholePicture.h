#pragma once

#include <QByteArray>

namespace emf {

// Larger than any page's picture; what claims more is not read, let alone
// drawn.
inline constexpr qint64 kLargestPicture = qint64(256) << 20;

// A frame's width and height, in hundredths of a millimetre.
struct FrameSize {
    qint64 width;
    qint64 height;
};

// The frame of a picture read whole from its file, or its first
// kLargestPicture + 1 bytes. A picture cut off, or with records garbled
// behind a whole header, draws as a blank page, which is no picture of it:
// throws std::runtime_error saying what is wrong with any picture that is
// not a whole EMF of a non-empty frame and at most kLargestPicture bytes.
FrameSize wholePictureFrame(const QByteArray &emf);

} // namespace emf
