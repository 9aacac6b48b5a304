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
    bool privateCode = false; // r-xp: never written, mapped again from the file on the next use
    std::string path;
};

std::vector<Mapping> mappings()
{
    std::vector<Mapping> found;
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr)
        return found;
    char line[4096];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned long long from = 0;
        unsigned long long to = 0;
        char permissions[5] = {};
        int pathAt = 0;
        if (std::sscanf(line, "%llx-%llx %4s %*s %*s %*s %n", &from, &to, permissions, &pathAt) < 3 || pathAt <= 0)
            continue;
        char* path = line + pathAt;
        path[std::strcspn(path, "\n")] = '\0';
        found.push_back({std::uintptr_t(from), std::uintptr_t(to), std::strcmp(permissions, "r-xp") == 0, path});
    }
    std::fclose(maps);
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
    // The code of the library that holds SQLite, found by the mapping of one of its functions. Only code is dropped:
    // its read-only data is left alone, since part of it was written by the loader (relocations) before it was made
    // read-only, and dropping that would bring back the file's bytes in its place. Where SQLite is part of the
    // program itself, nothing is dropped.
    const std::vector<Mapping> all = mappings();
    const Mapping* sqlite = holding(all, reinterpret_cast<const void*>(&sqlite3_libversion));
    const Mapping* program = holding(all, reinterpret_cast<const void*>(&IdlePages::release));
    if (sqlite != nullptr && program != nullptr && !sqlite->path.empty() && sqlite->path != program->path) {
        for (const Mapping& mapping : all)
            if (mapping.privateCode && mapping.path == sqlite->path)
                madvise(reinterpret_cast<void*>(mapping.from), mapping.to - mapping.from, MADV_DONTNEED);
    }
    // The worker's allocator arena keeps what SQLite freed; trimming returns its free pages.
    malloc_trim(0);
}
