#include "convix/Batch.h"

#include "emf/WholePicture.h"
#include "platform/RegularFile.h"
#include "platform/WholeFile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace convix {
namespace {

// The frame of the picture the file holds, once it is known to be whole.
emf::FrameSize frameOf(const QString &emfPath)
{
    const platform::RegularFileStart read = platform::readRegularFile(emfPath, emf::kLargestPicture + 1);
    if (read.error == EINVAL)
        throw std::runtime_error("不是普通文件");
    if (read.error)
        throw std::runtime_error("无法读取文件：" + std::string(std::strerror(read.error)));
    return emf::wholePictureFrame(read.bytes);
}

} // namespace

QImage onWhitePaper(const QImage &drawn)
{
    // The office draws on white and then marks what it drew with alpha too:
    // its colours are already those on white paper, and laid on paper again
    // every edge and transparent fill would come out lighter still. Qt keeps
    // the colours and drops the alpha from ARGB32 to RGB32.
    return drawn.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_RGB32);
}

QByteArray encoded(const QImage &rendered, Format format, int dpi)
{
    QImage paper = onWhitePaper(rendered);
    // A fresh image says 96 dpi; a page drawn at another resolution would
    // then be placed in a document that many times too large or too small.
    const int dotsPerMeter = int(std::lround(dpi / 0.0254));
    paper.setDotsPerMeterX(dotsPerMeter);
    paper.setDotsPerMeterY(dotsPerMeter);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, extensionOf(format));
    if (format == Format::Jpg)
        writer.setQuality(90);
    if (!writer.write(paper))
        throw std::runtime_error("无法编码图片：" + writer.errorString().toStdString());
    return bytes;
}

const char *extensionOf(Format format)
{
    switch (format) {
    case Format::Bmp:
        return "bmp";
    case Format::Png:
        return "png";
    case Format::Jpg:
        break;
    }
    return "jpg";
}

QStringList pictureFiles(const QString &folder)
{
    QStringList names = QDir(folder).entryList({"*.emf"}, QDir::Files | QDir::Hidden);
    std::sort(names.begin(), names.end(), naturalLess);
    QStringList paths;
    for (const QString &name : names)
        paths << QDir(folder).filePath(name);
    return paths;
}

QString targetPath(const QString &emfPath, Format format)
{
    const QFileInfo emf(emfPath);
    return emf.dir().filePath(emf.completeBaseName() + "." + extensionOf(format));
}

QSize pixelSize(const QString &emfPath, int dpi)
{
    const auto [width, height] = frameOf(emfPath);
    const qint64 pixelsWide = std::llround(double(width) * dpi / 2540.0);
    const qint64 pixelsHigh = std::llround(double(height) * dpi / 2540.0);
    if (pixelsWide < 1 || pixelsHigh < 1 || pixelsWide * pixelsHigh > kMostPixels)
        throw std::runtime_error(QStringLiteral("图片在%3 dpi下为%1×%2像素，超过办公软件能绘制的%4像素（4096×4096）")
                                     .arg(pixelsWide)
                                     .arg(pixelsHigh)
                                     .arg(dpi)
                                     .arg(kMostPixels)
                                     .toStdString());
    return QSize(static_cast<int>(pixelsWide), static_cast<int>(pixelsHigh));
}

QSize fittedSize(const QString &emfPath, QSize box)
{
    const auto [width, height] = frameOf(emfPath);
    const double scale = std::min(box.width() / double(width), box.height() / double(height));
    return QSize(std::max(1, int(std::lround(width * scale))), std::max(1, int(std::lround(height * scale))));
}

QImage checkedSize(const QByteArray &png, QSize asked)
{
    const QImage rendered = QImage::fromData(png, "PNG");
    if (rendered.isNull())
        throw std::runtime_error("无法读取办公软件绘制的图片");
    if (rendered.size() != asked)
        throw std::runtime_error(QStringLiteral("办公软件绘制了%1×%2像素，而不是%3×%4像素")
                                     .arg(rendered.width())
                                     .arg(rendered.height())
                                     .arg(asked.width())
                                     .arg(asked.height())
                                     .toStdString());
    return rendered;
}

bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i;
            qsizetype ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Compare the numbers by length once leading zeros are gone, then digit by digit.
            const QStringView na = QStringView(a).mid(i, ei - i);
            const QStringView nb = QStringView(b).mid(j, ej - j);
            const auto trimmed = [](QStringView n) {
                while (n.size() > 1 && n.front() == u'0')
                    n = n.mid(1);
                return n;
            };
            const QStringView ta = trimmed(na);
            const QStringView tb = trimmed(nb);
            if (ta.size() != tb.size())
                return ta.size() < tb.size();
            if (const int c = ta.compare(tb))
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

Outcome convert(const Job &job, const RendererFactory &startRenderer, const std::atomic<bool> &cancel,
                const std::function<void(int)> &progress)
{
    Outcome outcome;
    std::unique_ptr<office::PictureRenderer> renderer;
    int done = 0;
    for (const QString &file : job.files) {
        if (cancel) {
            outcome.cancelled = true;
            break;
        }
        const QString target = targetPath(file, job.format);
        try {
            if (!job.replaceExisting && QFileInfo::exists(target)) {
                ++outcome.skipped;
            } else {
                const QSize size = pixelSize(file, job.dpi);
                if (!renderer)
                    renderer = startRenderer();
                platform::writeFileWhole(target,
                                         encoded(checkedSize(renderer->render(file, size), size), job.format, job.dpi));
                ++outcome.written;
            }
        } catch (const office::Failure &f) {
            outcome.failed.append({file, f.description()});
            // A fresh office for the next file, in case this one broke it.
            renderer.reset();
        } catch (const std::exception &e) {
            outcome.failed.append({file, QString::fromUtf8(e.what())});
        }
        if (progress)
            progress(++done);
    }
    if (renderer)
        renderer->quit();
    return outcome;
}

} // namespace convix
