#pragma once

// Internal to office/: the pictures of a Writer document's pages, painted by
// the office itself. The document model hands out its visible area as an
// Enhanced Metafile (the painting of its print preview); setting the visible
// area to one page's rectangle gives that page, text as text, headers and
// footers included, the page's own size, in milliseconds.

#include "office/Application.h"
#include "office/UnoConnection.h"

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>

#include <map>
#include <utility>
#include <vector>

namespace office {

class PagePictures {
public:
    // The layout's pages, automatically inserted blank ones included. Calls
    // into the office: run it as a guarded call.
    PagePictures(const Reference<css::frame::XComponentLoader> &loader, const Reference<css::lang::XComponent> &writer);
    ~PagePictures();

    int count() const { return static_cast<int>(pages_.size()); }
    // A guarded call, too.
    Picture page(int index);
    // The empty documents made for blank pages; to be closed with the office's care.
    std::vector<Reference<css::lang::XComponent>> takeHelpers();

private:
    struct Page {
        css::awt::Rectangle area; // 1/100 mm; for a blank page, only its size counts
        bool blank = false;
    };

    Picture blankPage(const css::awt::Rectangle &size);

    Reference<css::frame::XComponentLoader> loader_;
    Reference<css::lang::XComponent> writer_;
    std::vector<Page> pages_;
    // An empty document per page size, for the blank pages of that size.
    std::map<std::pair<sal_Int32, sal_Int32>, Reference<css::lang::XComponent>> empty_;
};

} // namespace office
