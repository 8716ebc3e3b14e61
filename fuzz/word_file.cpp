// The checks a stranger's .doc goes through before any office sees it.

#include "wordfile/WordFileDamage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    (void)wordfile::wordFileDamage(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
