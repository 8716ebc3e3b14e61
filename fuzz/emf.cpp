// The office's pictures, walked and mended before they are written: a
// document decides what the office draws into them.

#include "office/EmfRecordCount.h"
#include "office/EmfRecords.h"
#include "office/EmfTransparentFills.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray emf(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)office::wholeRecords(emf);
    QByteArray counted = emf;
    office::correctRecordCount(counted);
    QByteArray filled = emf;
    office::completeTransparentFills(filled);
    if (filled.size() != emf.size() || counted.size() != emf.size())
        __builtin_trap();
    return 0;
}
