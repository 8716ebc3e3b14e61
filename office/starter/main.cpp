// The office's fork server (see sandbox/ForkServer.h): it loads and
// relocates the office's libraries once, then starts each office from that
// image at the office's own beginning. It opens no document and runs none
// of the office itself, so no office it starts holds anything of another
// document; each is confined as an executed one.

#include "sandbox/ForkServer.h"

#include <dirent.h>
#include <dlfcn.h>
#include <string>
#include <sys/prctl.h>

namespace {

// What the office's program does before and after its main(); loaded
// globally, as the program links them.
const char *const kProgramLibraries[] = {"libuno_sal.so.3", "libmergedlo.so"};
// What a conversion loads besides: Writer, the filters that detect and read
// a document's type, and the pipe and bridge we drive it through.
const char *const kComponentLibraries[] = {
    "libswlo.so",          "libswdlo.so",           "libmswordlo.so",       "libooxlo.so",
    "libwpftwriterlo.so",  "libwriterperfectlo.so", "libLanguageToollo.so", "libiolo.so",
    "libbinaryurplo.so",   "libgcc3_uno.so",        "libbootstraplo.so",    "libintrospectionlo.so",
    "libreflectionlo.so",  "libstocserviceslo.so",  "libucppkg1.so",        "libexpwraplo.so",
    "liblocaledata_en.so", "libvbaswobjlo.so",      "libloglo.so",          "libsal_textenclo.so",
};

void (*initialize)(int, char **);
int (*officeMain)();
void (*deinitialize)();

void *load(const char *library, int scope)
{
    return dlopen((std::string(LIBREOFFICE_PROGRAM_DIR "/") + library).c_str(), RTLD_NOW | scope);
}

// Forking is sound only in a process of one thread.
bool singleThreaded()
{
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return false;
    int count = 0;
    while (const dirent *entry = readdir(tasks))
        count += entry->d_name[0] != '.';
    closedir(tasks);
    return count == 1;
}

int runOffice(int argc, char **argv)
{
    // Named as the office it is, for whoever reads the process list.
    prctl(PR_SET_NAME, "soffice.bin");
    initialize(argc, argv);
    const int code = officeMain();
    deinitialize();
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    void *sal = load(kProgramLibraries[0], RTLD_GLOBAL);
    void *office = load(kProgramLibraries[1], RTLD_GLOBAL);
    if (!sal || !office)
        return 1;
    // A library missing from this version of the office is loaded by the
    // office itself when it needs it, or never.
    for (const char *library : kComponentLibraries)
        load(library, RTLD_LOCAL);
    initialize = reinterpret_cast<void (*)(int, char **)>(dlsym(sal, "sal_detail_initialize"));
    deinitialize = reinterpret_cast<void (*)()>(dlsym(sal, "sal_detail_deinitialize"));
    officeMain = reinterpret_cast<int (*)()>(dlsym(office, "soffice_main"));
    if (!initialize || !deinitialize || !officeMain || !singleThreaded())
        return 1;
    sandbox::serveForks(3, argc, argv, runOffice);
}
