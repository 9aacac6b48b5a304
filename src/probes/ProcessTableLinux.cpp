#include "probes/ProcNames.h"
#include "probes/ProcessTable.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace {

constexpr size_t kLinkBuffer = 4096; // the kernel never writes a longer path into a /proc link
constexpr size_t kPathBuffer = sizeof(dirent::d_name) + 16;

class ProcDirectory {
public:
    ProcDirectory() : dir_(opendir("/proc")) {}
    ~ProcDirectory()
    {
        if (dir_ != nullptr) {
            closedir(dir_);
        }
    }
    ProcDirectory(const ProcDirectory&) = delete;
    ProcDirectory& operator=(const ProcDirectory&) = delete;

    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

bool isProcessId(const char* entry)
{
    if (*entry == '\0') {
        return false;
    }
    for (; *entry != '\0'; ++entry) {
        if (*entry < '0' || *entry > '9') {
            return false;
        }
    }
    return true;
}

// Reads the start of /proc/PID/<file>; empty when it cannot be read.
std::string_view readProcFile(int procFd, const char* pid, const char* file, char (&buffer)[kLinkBuffer])
{
    char path[kPathBuffer];
    std::snprintf(path, sizeof path, "%s/%s", pid, file);
    const int fd = openat(procFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    const ssize_t size = read(fd, buffer, sizeof buffer);
    close(fd);
    return size > 0 ? std::string_view(buffer, static_cast<size_t>(size)) : std::string_view();
}

} // namespace

std::optional<bool> exeRunning(const std::string& name)
{
    if (name.empty()) {
        return false;
    }
    ProcDirectory proc;
    if (proc.get() == nullptr) {
        return std::nullopt;
    }
    const int procFd = dirfd(proc.get());
    char link[kLinkBuffer];
    char path[kPathBuffer];
    // This process runs, so a list with no process in it (an empty folder in the place of /proc) was not read.
    bool anyProcess = false;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(proc.get());
        if (entry == nullptr) {
            break;
        }
        if (!isProcessId(entry->d_name)) {
            continue;
        }
        anyProcess = true;
        std::snprintf(path, sizeof path, "%s/exe", entry->d_name);
        const ssize_t size = readlinkat(procFd, path, link, sizeof link);
        if (size >= 0) {
            if (ProcNames::programMatches(std::string_view(link, static_cast<size_t>(size)), name)) {
                return true;
            }
            continue;
        }
        // No program at all (a kernel thread, or a process that is ending): its kernel name names no file.
        if (errno == ENOENT) {
            continue;
        }
        char stat[kLinkBuffer];
        char arguments[kLinkBuffer];
        const auto readCommandLine = [&] { return readProcFile(procFd, entry->d_name, "cmdline", arguments); };
        if (ProcNames::kernelNameMatches(readProcFile(procFd, entry->d_name, "stat", stat), name, readCommandLine)) {
            return true;
        }
    }
    // A list cut short by an error may have left out the very process asked for.
    if (errno != 0 || !anyProcess) {
        return std::nullopt;
    }
    return false;
}

void beginProcessCycle()
{
    // Reading /proc takes milliseconds and depends on no service: there is nothing to bound per cycle.
}
