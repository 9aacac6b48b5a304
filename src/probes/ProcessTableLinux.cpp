#include "probes/FileNameMatch.h"
#include "probes/ProcessTable.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";
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

// A replaced or removed program shows as "<path> (deleted)"; a file really named that way still matches.
bool programMatches(std::string_view path, std::string_view name)
{
    if (FileNameMatch::sameName(FileNameMatch::baseName(path), name)) {
        return true;
    }
    return path.ends_with(kDeletedSuffix) &&
           FileNameMatch::sameName(FileNameMatch::baseName(path.substr(0, path.size() - kDeletedSuffix.size())), name);
}

bool firstArgumentMatches(int procFd, const char* pid, std::string_view name)
{
    char path[kPathBuffer];
    std::snprintf(path, sizeof path, "%s/cmdline", pid);
    const int fd = openat(procFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[kLinkBuffer];
    const ssize_t size = read(fd, buffer, sizeof buffer);
    close(fd);
    if (size <= 0) {
        return false;
    }
    std::string_view arguments(buffer, static_cast<size_t>(size));
    const std::string_view first = arguments.substr(0, arguments.find('\0'));
    return FileNameMatch::sameName(FileNameMatch::baseName(first), name);
}

} // namespace

bool exeRunning(const std::string& name)
{
    if (name.empty()) {
        return false;
    }
    ProcDirectory proc;
    if (proc.get() == nullptr) {
        return false;
    }
    const int procFd = dirfd(proc.get());
    char link[kLinkBuffer];
    char path[kPathBuffer];
    while (const dirent* entry = readdir(proc.get())) {
        if (!isProcessId(entry->d_name)) {
            continue;
        }
        std::snprintf(path, sizeof path, "%s/exe", entry->d_name);
        const ssize_t size = readlinkat(procFd, path, link, sizeof link);
        if (size >= 0) {
            if (programMatches(std::string_view(link, static_cast<size_t>(size)), name)) {
                return true;
            }
            continue;
        }
        // No program at all (a kernel thread, or a process that is ending) has no command line either.
        if (errno == ENOENT) {
            continue;
        }
        // Another user's process hides its program link but not its command line.
        if (firstArgumentMatches(procFd, entry->d_name, name)) {
            return true;
        }
    }
    return false;
}
