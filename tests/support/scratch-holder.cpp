// scratch-holder
//
// A run as the scratch folder sees it: makes this process's folder, prints
// its path, and keeps it until standard input closes.

#include "sandbox/Failure.h"
#include "sandbox/ScratchFolder.h"

#include <QFile>

#include <cstdio>
#include <unistd.h>

int main()
{
    try {
        std::printf("%s\n", QFile::encodeName(sandbox::scratchFolder([](long) {})).constData());
    } catch (const sandbox::Failure &f) {
        std::printf("failed: %s\n", f.what());
        return 1;
    }
    std::fflush(stdout);
    char byte;
    while (read(0, &byte, 1) > 0) {
    }
    return 0;
}
