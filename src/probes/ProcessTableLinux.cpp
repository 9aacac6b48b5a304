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
constexpr size_t kCommLength = 15; // the kernel keeps at most this many bytes of a process's name

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

// The kernel's own name of the process: the executable's file name as it was started, cut to
// kCommLength bytes. It stands in parentheses and may hold ')' and blanks itself, but nothing
// after it does, so it ends at the last ')'.
std::string_view kernelName(std::string_view stat)
{
    const size_t open = stat.find('(');
    const size_t close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return {};
    }
    return stat.substr(open + 1, close - open - 1);
}

// For a process whose program link is hidden (another user's). The title in argv[0] is the
// process's to change at will, so it only completes a name that the kernel had to cut short.
bool kernelNameMatches(int procFd, const char* pid, std::string_view name)
{
    char buffer[kLinkBuffer];
    const std::string_view comm = kernelName(readProcFile(procFd, pid, "stat", buffer));
    // A name shorter than the cut may still match it, as folding can take fewer bytes; so only a whole
    // kernel name is compared at once.
    if (comm.size() < kCommLength) {
        return FileNameMatch::sameName(comm, name);
    }
    char arguments[kLinkBuffer];
    const std::string_view commandLine = readProcFile(procFd, pid, "cmdline", arguments);
    const std::string_view title = FileNameMatch::baseName(commandLine.substr(0, commandLine.find('\0')));
    const bool completes = title.size() > kCommLength && FileNameMatch::sameName(title.substr(0, kCommLength), comm);
    return FileNameMatch::sameName(completes ? title : comm, name);
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
        // No program at all (a kernel thread, or a process that is ending): its kernel name names no file.
        if (errno == ENOENT) {
            continue;
        }
        if (kernelNameMatches(procFd, entry->d_name, name)) {
            return true;
        }
    }
    return false;
}
