// Whether a file named as the log may take lines: any file a shell's *.doc
// can name.

#include "FileOfBytes.h"
#include "log/PlainTextLog.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    (void)isPlainTextLog(fileOfBytes("run.log", data, size));
    return 0;
}
