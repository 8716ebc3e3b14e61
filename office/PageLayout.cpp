#include "office/PageLayout.h"

#include "office/ScratchFolder.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>

#include <QDir>
#include <QFile>
#include <QUrl>
#include <QtEndian>

namespace office {

PageLayout::PageLayout(const Reference<css::uno::XComponentContext> &office,
                       const Reference<css::frame::XComponentLoader> &loader,
                       const Reference<css::lang::XComponent> &writerModel)
    : office_(office), writer_(writerModel), dir_(scratchFolder() + "/pages-XXXXXX")
{
    if (!dir_.isValid())
        throw Failure("cannot create a temporary folder for the page pictures");
    const QString pdf = dir_.filePath("layout.pdf");
    const auto filterData = sequence({property("IsSkipEmptyPages", false)});
    Reference<css::frame::XStorable>(writerModel, css::uno::UNO_QUERY_THROW)
        ->storeToURL(fileUrl(pdf), sequence({property("FilterName", OUString("writer_pdf_Export")),
                                    property("FilterData", filterData)}));
    drawing_ = loader->loadComponentFromURL(fileUrl(pdf), "_blank", 0,
                                            sequence({property("Hidden", true), property("ReadOnly", true),
                                                      property("FilterName", OUString("draw_pdf_import"))}));
    if (!drawing_.is())
        throw Failure("the office could not read back its own page layout");
    pages_.set(Reference<css::drawing::XDrawPagesSupplier>(drawing_, css::uno::UNO_QUERY_THROW)->getDrawPages(),
               css::uno::UNO_QUERY_THROW);
    QFile::remove(pdf);
}

void PageLayout::fitToWriterPage(const Reference<css::beans::XPropertySet> &drawPage, int index)
{
    // Draw keeps one page size for the whole drawing (the first page's), and
    // its template's margins, which the export leaves out of the picture; so
    // every page gets its own Writer page's size, without margins, before it
    // is exported.
    Reference<css::frame::XModel> model(writer_, css::uno::UNO_QUERY_THROW);
    Reference<css::text::XTextViewCursorSupplier> views(model->getCurrentController(), css::uno::UNO_QUERY_THROW);
    const auto cursor = views->getViewCursor();
    Reference<css::text::XPageCursor>(cursor, css::uno::UNO_QUERY_THROW)->jumpToPage(static_cast<sal_Int16>(index + 1));
    OUString styleName;
    Reference<css::beans::XPropertySet>(cursor, css::uno::UNO_QUERY_THROW)->getPropertyValue("PageStyleName") >>= styleName;
    const auto families = Reference<css::style::XStyleFamiliesSupplier>(writer_, css::uno::UNO_QUERY_THROW)->getStyleFamilies();
    Reference<css::container::XNameAccess> pageStyles(families->getByName("PageStyles"), css::uno::UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> style(pageStyles->getByName(styleName), css::uno::UNO_QUERY_THROW);

    for (const char *border : {"BorderLeft", "BorderRight", "BorderTop", "BorderBottom"})
        drawPage->setPropertyValue(OUString::createFromAscii(border), css::uno::Any(sal_Int32(0)));
    drawPage->setPropertyValue("Width", style->getPropertyValue("Width"));
    drawPage->setPropertyValue("Height", style->getPropertyValue("Height"));
}

Picture PageLayout::page(int index)
{
    if (index < 0 || index >= pages_->getCount())
        throw Failure("page " + std::to_string(index + 1) + " is not in the document's layout");
    Reference<css::drawing::XDrawPage> page(pages_->getByIndex(index), css::uno::UNO_QUERY_THROW);
    fitToWriterPage(Reference<css::beans::XPropertySet>(page, css::uno::UNO_QUERY_THROW), index);

    const QString file = dir_.filePath(QStringLiteral("page-%1.emf").arg(index + 1));
    const auto exporter = css::drawing::GraphicExportFilter::create(office_);
    exporter->setSourceDocument(Reference<css::lang::XComponent>(page, css::uno::UNO_QUERY_THROW));
    exporter->filter(sequence({property("URL", fileUrl(file)), property("MediaType", OUString("image/x-emf"))}));
    QFile out(file);
    if (!out.open(QIODevice::ReadOnly))
        throw Failure("the office wrote no picture for page " + std::to_string(index + 1));
    Picture picture{out.readAll()};
    out.remove();
    // A full temporary folder leaves a cut-off picture that looks like one.
    if (picture.emf.size() < 88 || qFromLittleEndian<quint32>(picture.emf.constData() + 48) != quint64(picture.emf.size()))
        throw Failure("the office wrote an incomplete picture of page " + std::to_string(index + 1)
                      + " (is the temporary folder full?)");
    return picture;
}

} // namespace office
