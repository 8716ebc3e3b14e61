#pragma once

#include <QByteArray>

namespace emf {

// The office's EMF writer hands a transparent fill (a watermark's letters, a
// shaded box) to EMF+ readers as its first outline only, at a scale of its
// own, away from where the page has it; and to plain-EMF readers as an opaque
// fill. Rewrites each such fill so that EMF+ readers fill every outline, in
// place, in the transparent colour, and plain-EMF readers in that colour as
// it shows on white paper (the writer draws such fills before the text above
// them). Fills of curves, which the writer draws as paths, and any picture
// not laid out as that writer lays it out are left as they are.
void completeTransparentFills(QByteArray &emf);

} // namespace emf
