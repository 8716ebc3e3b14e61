#include "office/PagePictures.h"

#include "emf/RecordCount.h"
#include "emf/TransparentFills.h"

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/datatransfer/XTransferable.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/view/XRenderable.hpp>

#include <QtEndian>

namespace office {
namespace {

// Where each page lies: with empty pages and without.
std::vector<css::awt::Rectangle> pageAreas(const Reference<css::lang::XComponent> &document, bool withEmptyPages)
{
    Reference<css::view::XRenderable> renderable(document, css::uno::UNO_QUERY_THROW);
    const css::uno::Any selection(document);
    const auto options = sequence({property("IsSkipEmptyPages", !withEmptyPages)});
    std::vector<css::awt::Rectangle> areas;
    const sal_Int32 count = renderable->getRendererCount(selection, options);
    for (sal_Int32 i = 0; i < count; ++i) {
        css::awt::Point position;
        css::awt::Size size;
        for (const auto &p : renderable->getRenderer(i, selection, options)) {
            if (p.Name == "PagePos")
                p.Value >>= position;
            else if (p.Name == "PageSize")
                p.Value >>= size;
        }
        areas.push_back({position.X, position.Y, size.Width, size.Height});
    }
    return areas;
}

Picture pictureOf(const Reference<css::lang::XComponent> &document, const css::awt::Rectangle &area)
{
    Reference<css::frame::XModel> model(document, css::uno::UNO_QUERY_THROW);
    auto args = model->getArgs();
    args.realloc(args.getLength() + 1);
    args.getArray()[args.getLength() - 1] = property(
        "WinExtent", sequence<sal_Int32>({area.X, area.Y, area.X + area.Width, area.Y + area.Height}));
    model->attachResource(model->getURL(), args);

    css::datatransfer::DataFlavor emf;
    emf.MimeType = "application/x-openoffice-emf;windows_formatname=\"Image EMF\"";
    emf.DataType = cppu::UnoType<css::uno::Sequence<sal_Int8>>::get();
    css::uno::Sequence<sal_Int8> bytes;
    Reference<css::datatransfer::XTransferable>(document, css::uno::UNO_QUERY_THROW)->getTransferData(emf) >>= bytes;
    Picture picture{QByteArray(reinterpret_cast<const char *>(bytes.getConstArray()), bytes.getLength())};
    // The header records the picture's whole length.
    if (picture.emf.size() < 88
        || qFromLittleEndian<quint32>(picture.emf.constData() + 48) != quint64(picture.emf.size()))
        throw Failure("办公软件给出的页面图片不完整");
    emf::completeTransparentFills(picture.emf);
    emf::correctRecordCount(picture.emf);
    return picture;
}

bool samePlace(const css::awt::Rectangle &a, const css::awt::Rectangle &b)
{
    return a.X == b.X && a.Y == b.Y;
}

} // namespace

PagePictures::PagePictures(const Reference<css::frame::XComponentLoader> &loader,
                           const Reference<css::lang::XComponent> &writer)
    : loader_(loader), writer_(writer)
{
    // An automatically inserted blank page (a section that must start on a
    // right page) has no place of its own in the layout; it is the one the
    // list without empty pages lacks, in order.
    const auto all = pageAreas(writer, true);
    const auto filled = pageAreas(writer, false);
    std::size_t next = 0;
    for (const auto &area : all) {
        const bool blank = next >= filled.size() || !samePlace(area, filled[next]);
        if (!blank)
            ++next;
        pages_.push_back({area, blank});
    }
}

PagePictures::~PagePictures() = default;

Picture PagePictures::page(int index)
{
    if (index < 0 || index >= count())
        throw Failure("第" + std::to_string(index + 1) + "页不在文档的版面中");
    const Page &page = pages_[index];
    return page.blank ? blankPage(page.area) : pictureOf(writer_, page.area);
}

Picture PagePictures::blankPage(const css::awt::Rectangle &size)
{
    // Nothing on a page of that size, painted by the office: the first page
    // of an empty document whose page style has the size.
    auto &empty = empty_[{size.Width, size.Height}];
    if (!empty.is()) {
        empty = loader_->loadComponentFromURL("private:factory/swriter", "_blank", 0,
                                              sequence({property("Hidden", true)}));
        const auto families = Reference<css::style::XStyleFamiliesSupplier>(empty, css::uno::UNO_QUERY_THROW)
                                  ->getStyleFamilies();
        Reference<css::container::XNameAccess> pageStyles(families->getByName("PageStyles"), css::uno::UNO_QUERY_THROW);
        Reference<css::beans::XPropertySet> standard(pageStyles->getByName("Standard"), css::uno::UNO_QUERY_THROW);
        standard->setPropertyValue("Width", css::uno::Any(size.Width));
        standard->setPropertyValue("Height", css::uno::Any(size.Height));
    }
    return pictureOf(empty, pageAreas(empty, true).at(0));
}

std::vector<Reference<css::lang::XComponent>> PagePictures::takeHelpers()
{
    std::vector<Reference<css::lang::XComponent>> helpers;
    for (auto &[size, document] : empty_)
        helpers.push_back(document);
    empty_.clear();
    return helpers;
}

} // namespace office
