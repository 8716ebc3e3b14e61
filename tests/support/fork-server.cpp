// A fork server for tests. Each child writes what it finds of itself to the
// file "seen" in its working folder and ends with 7; with "wait" as its
// second argument it waits to be ended instead.

#include "sandbox/ForkServer.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

extern char **environ;

namespace {

int child(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "wait") == 0)
        pause();
    FILE *seen = std::fopen("seen", "w");
    if (!seen)
        return 1;
    std::fprintf(seen, "parent %d\n", int(getppid()));
    for (int i = 0; i < argc; ++i)
        std::fprintf(seen, "argument %s\n", argv[i]);
    for (char **entry = environ; *entry; ++entry)
        std::fprintf(seen, "environment %s\n", *entry);
    if (argc > 2) {
        const int fd = open(argv[2], O_RDONLY);
        std::fprintf(seen, "read %s\n", fd >= 0 ? "yes" : std::strerror(errno));
    }
    std::fclose(seen);
    return 7;
}

} // namespace

int main(int argc, char **argv)
{
    sandbox::serveForks(3, argc, argv, child);
}
