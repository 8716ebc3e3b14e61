#include "convix/Thumbnail.h"

#include "office/EmfRecords.h"
#include "platform/WholeFile.h"


#include <algorithm>
#include <stdexcept>

namespace convix {
namespace {

using namespace std::chrono_literals;

const QString kUsage = QStringLiteral("用法：pagegrab-thumbnailer -s 尺寸 EMF图片 PNG缩略图");

// A thumbnail says nothing of a resolution; this is what any fresh PNG says.
constexpr int kScreenDpi = 96;

// Larger than any page's picture; what claims more is not read, let alone drawn.
constexpr qint64 kLargestPicture = qint64(256) << 20;

// A picture whose records were cut or garbled behind a whole header draws as
// a blank page, which is no thumbnail of it: its records must run whole from
// the header to an end-of-file record.
void checkRecords(const QString &emfPath)
{
    const QByteArray emf = readPicture(emfPath, kLargestPicture + 1);
    if (emf.size() > kLargestPicture)
        throw std::runtime_error("图片大于256 MB，不画缩略图");
    if (office::wholeRecords(emf).isEmpty())
        throw std::runtime_error("图片已损坏：其中的记录不完整或已错乱");
}

} // namespace

ThumbnailRequest readThumbnailArguments(const QStringList &arguments)
{
    ThumbnailRequest request;
    if (arguments.size() != 4 || arguments[0] != "-s" || arguments[2].isEmpty() || arguments[3].isEmpty()) {
        request.problem = kUsage;
        return request;
    }
    bool number = false;
    const int size = arguments[1].toInt(&number);
    if (!number || size < 1 || size > kLargestThumbnail) {
        request.problem =
            QStringLiteral("缩略图尺寸应为1到%1之间的像素数，而不是“%2”").arg(kLargestThumbnail).arg(arguments[1]);
        return request;
    }
    request.size = size;
    request.input = arguments[2];
    request.output = arguments[3];
    return request;
}

office::Limits glanceLimits()
{
    office::Limits limits;
    // Loading and drawing one small picture takes a fraction of a second; a
    // start that hangs is retried within the default start limit.
    limits.call = 20s;
    limits.document = 20s;
    // A page's picture needs far less than a document; an EMF that asks for
    // more is not drawn.
    limits.memory = std::min<std::int64_t>(limits.memory, std::int64_t(1) << 30);
    return limits;
}

QByteArray thumbnail(const QString &emfPath, int size, const RendererFactory &startRenderer)
{
    const QSize pixels = fittedSize(emfPath, QSize(size, size));
    checkRecords(emfPath);
    const auto renderer = startRenderer();
    const QImage drawn = checkedSize(renderer->render(emfPath, pixels), pixels);
    renderer->quit();
    return encoded(drawn, Format::Png, kScreenDpi);
}

void writeThumbnail(const QString &output, const QByteArray &png)
{
    // Private: a thumbnail shows the page, which may be nobody else's to see.
    platform::writeIntoFile(output, png, 0600);
}

} // namespace convix
