#include "convix/Thumbnail.h"

#include "platform/WholeFile.h"

#include <algorithm>
#include <stdexcept>

namespace convix {
namespace {

using namespace std::chrono_literals;

const QString kUsage = QStringLiteral("用法：pagegrab-thumbnailer -s 尺寸 EMF图片 PNG缩略图");

// A thumbnail says nothing of a resolution; this is what any fresh PNG says.
constexpr int kScreenDpi = 96;

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
