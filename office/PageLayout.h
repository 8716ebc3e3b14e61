#pragma once

// Internal to office/: the pictures of a Writer document's pages. The office
// has no picture export for one Writer page, so the document is laid out once
// as PDF (blank pages kept, so PDF page i is layout page i) and the PDF is
// opened in Draw, whose pages export as vector EMF.

#include "office/Application.h"
#include "office/UnoConnection.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>

#include <QTemporaryDir>

namespace office {

class PageLayout {
public:
    PageLayout(const Reference<css::uno::XComponentContext> &office,
               const Reference<css::frame::XComponentLoader> &loader,
               const Reference<css::lang::XComponent> &writerModel);

    Reference<css::lang::XComponent> drawing() const { return drawing_; }
    Picture page(int index);

private:
    void fitToWriterPage(const Reference<css::beans::XPropertySet> &drawPage, int index);

    Reference<css::uno::XComponentContext> office_;
    Reference<css::lang::XComponent> writer_;
    QTemporaryDir dir_;
    Reference<css::lang::XComponent> drawing_;
    Reference<css::container::XIndexAccess> pages_;
};

} // namespace office
