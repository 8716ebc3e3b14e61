#include "office/PictureRenderer.h"

#include "office/OfficeInstance.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>

#include <QDir>
#include <QFile>

namespace office {
namespace {

class LibreOfficePictureRenderer : public PictureRenderer {
public:
    explicit LibreOfficePictureRenderer(const Limits &limits) : office_(limits) {}

    QByteArray render(const QString &emfPath, QSize pixels) override
    {
        // PNG, because the office's bitmap export keeps to the asked pixel
        // size for PNG and JPEG only; the caller encodes what it needs. In
        // the office's own folder, the only one it may write.
        const QString png = office_.workFolder() + "/render.png";
        const auto drawing = office_.load(emfPath).model;
        try {
            office_.call([&] { exportGraphic(drawing, png, pixels); });
        } catch (...) {
            closeQuietly(drawing);
            throw;
        }
        office_.closeModel(drawing);
        QFile file(png);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.remove();
        if (bytes.isEmpty())
            throw Failure("办公软件没有写出图片");
        return bytes;
    }

    void quit() override { office_.shutDown(); }

private:
    void exportGraphic(const Reference<css::lang::XComponent> &drawing, const QString &png, QSize pixels)
    {
        // Draw opens a metafile as one graphic on one page; that graphic is
        // what gets exported.
        Reference<css::drawing::XDrawPagesSupplier> pages(drawing, css::uno::UNO_QUERY);
        if (!pages.is() || pages->getDrawPages()->getCount() < 1)
            throw Failure("办公软件没有把文件读作图片");
        Reference<css::drawing::XDrawPage> page(pages->getDrawPages()->getByIndex(0), css::uno::UNO_QUERY_THROW);
        if (page->getCount() < 1)
            throw Failure("文件中没有办公软件能读取的图片");
        Reference<css::lang::XComponent> graphic(page->getByIndex(0), css::uno::UNO_QUERY_THROW);
        const auto exporter = css::drawing::GraphicExportFilter::create(office_.context());
        exporter->setSourceDocument(graphic);
        const auto size = sequence(
            {property("PixelWidth", sal_Int32(pixels.width())), property("PixelHeight", sal_Int32(pixels.height()))});
        exporter->filter(sequence({property("URL", fileUrl(png)), property("MediaType", OUString("image/png")),
                                   property("FilterData", size)}));
    }

    void closeQuietly(const Reference<css::lang::XComponent> &drawing)
    {
        try {
            office_.closeModel(drawing);
        } catch (const Failure &) {
        }
    }

    OfficeInstance office_;
};

} // namespace

std::unique_ptr<PictureRenderer> startPictureRenderer(const Limits &limits)
{
    return std::make_unique<LibreOfficePictureRenderer>(limits);
}

} // namespace office
