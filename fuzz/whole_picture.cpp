// Convix's look at a picture before an office draws it: a page from
// anywhere, dropped in the folder.

#include "FileOfBytes.h"
#include "convix/Batch.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString picture = fileOfBytes("page.emf", data, size);
    try {
        (void)convix::pixelSize(picture, 300);
        (void)convix::fittedSize(picture, {256, 256});
    } catch (const std::runtime_error &) {
    }
    return 0;
}
