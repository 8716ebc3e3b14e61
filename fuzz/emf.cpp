// The office's pictures, walked and mended before they are written: a
// document decides what the office draws into them.

#include "emf/RecordCount.h"
#include "emf/Records.h"
#include "emf/TransparentFills.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray picture(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool whole = !emf::wholeRecords(picture).isEmpty();
    QByteArray counted = picture;
    emf::correctRecordCount(counted);
    // The count is a header field; mending fills adds records, but a whole
    // picture must stay whole.
    QByteArray filled = picture;
    emf::completeTransparentFills(filled);
    if (counted.size() != picture.size() || (whole && emf::wholeRecords(filled).isEmpty()))
        __builtin_trap();
    return 0;
}
