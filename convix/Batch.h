#pragma once

#include "office/PictureRenderer.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace convix {

enum class Format { Bmp, Jpg, Png };

// The format's file extension, without its dot.
const char *extensionOf(Format format);

// The folder's EMF files (not its subfolders'), pages in number order.
QStringList pictureFiles(const QString &folder);
// Same folder, same stem, the format's extension.
QString targetPath(const QString &emfPath, Format format);
// The office draws at most this many pixels in all; a larger picture comes
// out smaller than asked.
constexpr qint64 kMostPixels = 4096 * 4096;

// The picture's size at the resolution, from the EMF's frame. Throws
// std::runtime_error when the file is no regular file, no EMF, not whole
// (shorter than its header says, its records garbled, over 256 MB), or too
// large to be drawn at that size.
QSize pixelSize(const QString &emfPath, int dpi);
// The picture's shape at the most pixels that fit in the box; throws as
// pixelSize does for a file that is not a whole EMF.
QSize fittedSize(const QString &emfPath, QSize box);
// The picture the office drew (a PNG) when it has the size asked for;
// throws std::runtime_error saying what came out otherwise.
QImage checkedSize(const QByteArray &rendered, QSize asked);
// The page the office drew, on white paper: every picture Convix writes or
// shows is a page so, as BMP and JPG (which keep no transparency) need it,
// and PNG, the preview and thumbnails then show it alike.
QImage onWhitePaper(const QImage &drawn);
// The picture as a page on white paper, in the format's bytes, marked with
// the resolution it was drawn at; throws std::runtime_error when it cannot
// be encoded.
QByteArray encoded(const QImage &rendered, Format format, int dpi);
// Names with their numbers compared as numbers: page 2 before page 10.
bool naturalLess(const QString &a, const QString &b);

struct FailedFile {
    QString file;
    QString reason;
};

struct Outcome {
    int written = 0;
    int skipped = 0;
    QList<FailedFile> failed;
    bool cancelled = false;
};

struct Job {
    QStringList files;
    Format format = Format::Jpg;
    int dpi = 96;
    bool replaceExisting = false;
};

using RendererFactory = std::function<std::unique_ptr<office::PictureRenderer>()>;

// Converts the files one by one through one office instance (a fresh one
// after a failure, so one bad file cannot fail the rest), checking for a
// cancel between files. progress is called with the count of files done.
Outcome convert(const Job &job, const RendererFactory &startRenderer, const std::atomic<bool> &cancel,
                const std::function<void(int)> &progress = {});

} // namespace convix
