#pragma once

#include "probes/FileNameMatch.h"

#include <cstddef>
#include <string_view>

// What the process table reads from /proc, taken apart on plain text: anything in there may be
// chosen by another user's process.
namespace ProcNames {

inline constexpr size_t kCommLength = 15; // the kernel keeps at most this many bytes of a process's name

// Whether the target of /proc/PID/exe names a program called `name`. A replaced or removed program
// shows as "<path> (deleted)"; a file really named that way still matches.
bool programMatches(std::string_view path, std::string_view name);

// The kernel's own name of the process from /proc/PID/stat: the executable's file name as it was
// started, cut to kCommLength bytes. It stands in parentheses and may hold ')' and blanks itself,
// but nothing after it does, so it ends at the last ')'.
std::string_view kernelName(std::string_view stat);

// For a process whose program link is hidden (another user's). The title in argv[0] is the
// process's to change at will, so it only completes a name that the kernel had to cut short;
// /proc/PID/cmdline is read only then.
template <typename ReadCommandLine>
bool kernelNameMatches(std::string_view stat, std::string_view name, ReadCommandLine readCommandLine)
{
    const std::string_view comm = kernelName(stat);
    // A name shorter than the cut may still match it, as folding can take fewer bytes; so only a whole
    // kernel name is compared at once.
    if (comm.size() < kCommLength) {
        return FileNameMatch::sameName(comm, name);
    }
    const std::string_view commandLine = readCommandLine();
    const std::string_view title = FileNameMatch::baseName(commandLine.substr(0, commandLine.find('\0')));
    if (title.size() > kCommLength && FileNameMatch::sameName(title.substr(0, kCommLength), comm)) {
        return FileNameMatch::sameName(title, name);
    }
    // Left uncompleted, a full kernel name may have been cut: it stands only for a name exactly as long as
    // what the kernel kept. Otherwise the 15 bytes kept of five Ohm signs and ".bin" would match five
    // omegas by folding.
    return name.size() == kCommLength && FileNameMatch::sameName(comm, name);
}

} // namespace ProcNames
