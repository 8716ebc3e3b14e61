// A fork server for tests. Each child writes what it finds of itself to the
// file "seen" in its working folder and ends with 7. Given "wait" it waits
// to be ended instead; given "find" and a text backwards, it ends with 8
// when its memory holds that text anywhere but where it turned it round.

#include "sandbox/ForkServer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

extern char **environ;

namespace {

bool inOwnMemory(const char *text)
{
    FILE *maps = std::fopen("/proc/self/maps", "r");
    if (!maps)
        return true;
    const std::size_t n = std::strlen(text);
    char line[512];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, maps)) {
        unsigned long from = 0, to = 0;
        char permissions[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &from, &to, permissions) != 3 || std::strncmp(permissions, "rw", 2) != 0)
            continue;
        for (const char *at = reinterpret_cast<const char *>(from), *end = reinterpret_cast<const char *>(to);
             !found && (at = static_cast<const char *>(memmem(at, std::size_t(end - at), text, n))); ++at)
            found = at != text;
    }
    std::fclose(maps);
    return found;
}

int child(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "wait") == 0)
        pause();
    if (argc > 2 && std::strcmp(argv[1], "find") == 0) {
        std::reverse(argv[2], argv[2] + std::strlen(argv[2]));
        return inOwnMemory(argv[2]) ? 8 : 7;
    }
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
        if (fd >= 0)
            close(fd);
    }
    if (FILE *status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::strncmp(line, "CapEff:", 7) == 0)
                std::fprintf(seen, "%s", line);
        std::fclose(status);
    }
    // Open besides the standard three: the listing's own, and the file above.
    int extra = -3;
    if (DIR *fds = opendir("/proc/self/fd")) {
        while (const dirent *entry = readdir(fds))
            extra += entry->d_name[0] != '.';
        closedir(fds);
    }
    std::fprintf(seen, "also open %d\n", extra - 2);
    std::fclose(seen);
    return 7;
}

} // namespace

int main(int argc, char **argv)
{
    sandbox::serveForks(3, argc, argv, child);
}
