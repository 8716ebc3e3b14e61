#pragma once

// The EMF thumbnailer: a page's picture at the small size a file manager
// asks for, drawn by a confined office as Convix draws it, as the
// freedesktop thumbnailer entries run it (`-s %s %i %o`).

#include "convix/Batch.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace convix {

// The largest thumbnail asked for: the freedesktop thumbnail sizes are 128
// (normal), 256 (large), 512 (x-large) and 1024 (xx-large), all that GNOME
// and tumbler ask. A larger picture is a page picture, Convix's work, and
// costs the office more time and memory than a thumbnail should.
constexpr int kLargestThumbnail = 1024;

// Everything one thumbnail may take, the office's start included: past it
// the office is ended and there is no thumbnail, so a picture that hangs the
// office cannot hold up a file manager's queue (which waits for each
// thumbnailer in turn, without a limit of its own).
constexpr std::chrono::seconds kThumbnailTimeLimit{30};

// What the thumbnailer was started for, or why it cannot start.
struct ThumbnailRequest {
    int size = 0;
    QString input;
    QString output;
    QString problem;
};

// From the arguments after the program's name: -s SIZE INPUT OUTPUT.
ThumbnailRequest readThumbnailArguments(const QStringList &arguments);

// The office's limits for a picture someone waits to glance at: a thumbnail
// (within kThumbnailTimeLimit) or Convix's preview, where one stuck picture
// would hold up every later one.
office::Limits glanceLimits();

// The EMF's picture on white paper as a PNG, its longest side `size` pixels
// and its shape the page's. A file that is no whole EMF (its header, and its
// records running whole to an end-of-file record) is refused before an
// office starts. Throws std::runtime_error (office::Failure among them)
// saying why there is none.
QByteArray thumbnail(const QString &emfPath, int size, const RendererFactory &startRenderer);

// Puts the PNG in the output file (see platform::writeIntoFile): a file
// manager reads it once the thumbnailer has ended. Throws
// platform::WriteFailure.
void writeThumbnail(const QString &output, const QByteArray &png);

} // namespace convix
