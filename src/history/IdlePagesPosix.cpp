#include "history/IdlePages.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>

namespace {

struct Mapping {
    std::uintptr_t from = 0;
    std::uintptr_t to = 0;
    bool readOnlyPrivate = false; // r?-p: cannot be written from now on
    long dirtyKb = 0;             // written since it was mapped (Private_Dirty, Anonymous)
    std::string path;
};

// Each mapping of this process with what /proc/self/smaps says of its pages.
std::vector<Mapping> mappings()
{
    std::vector<Mapping> found;
    FILE* smaps = std::fopen("/proc/self/smaps", "re");
    if (smaps == nullptr)
        return found;
    char line[4096];
    while (std::fgets(line, sizeof line, smaps) != nullptr) {
        unsigned long long from = 0;
        unsigned long long to = 0;
        char permissions[5] = {};
        int pathAt = 0;
        long kb = 0;
        if (std::sscanf(line, "%llx-%llx %4s %*s %*s %*s %n", &from, &to, permissions, &pathAt) >= 3 && pathAt > 0) {
            char* path = line + pathAt;
            path[std::strcspn(path, "\n")] = '\0';
            found.push_back({std::uintptr_t(from), std::uintptr_t(to),
                             permissions[1] == '-' && permissions[3] == 'p', 0, path});
        } else if (!found.empty() && (std::sscanf(line, "Private_Dirty: %ld kB", &kb) == 1 ||
                                      std::sscanf(line, "Anonymous: %ld kB", &kb) == 1)) {
            found.back().dirtyKb += kb;
        }
    }
    std::fclose(smaps);
    return found;
}

const Mapping* holding(const std::vector<Mapping>& all, const void* address)
{
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    for (const Mapping& mapping : all)
        if (at >= mapping.from && at < mapping.to)
            return &mapping;
    return nullptr;
}

} // namespace

void IdlePages::release()
{
    // The pages of the library that holds SQLite, found by the mapping of one of its functions, that no one wrote:
    // its code and constants. MADV_PAGEOUT asks the kernel to reclaim them and keeps what they hold whatever the
    // mapping is (an emulator may back a library with memory of its own, which MADV_DONTNEED would empty); a kernel
    // without it refuses the call and nothing changes. Nothing is asked where SQLite is part of the program itself.
    const std::vector<Mapping> all = mappings();
    const Mapping* sqlite = holding(all, reinterpret_cast<const void*>(&sqlite3_libversion));
    const Mapping* program = holding(all, reinterpret_cast<const void*>(&IdlePages::release));
    if (sqlite != nullptr && program != nullptr && !sqlite->path.empty() && sqlite->path != program->path) {
        for (const Mapping& mapping : all)
            if (mapping.readOnlyPrivate && mapping.dirtyKb == 0 && mapping.path == sqlite->path)
                madvise(reinterpret_cast<void*>(mapping.from), mapping.to - mapping.from, MADV_PAGEOUT);
    }
    // The worker's allocator arena keeps what SQLite freed; trimming returns its free pages.
    malloc_trim(0);
}
