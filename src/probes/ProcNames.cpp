#include "probes/ProcNames.h"

namespace ProcNames {

namespace {
constexpr std::string_view kDeletedSuffix = " (deleted)";
}

bool programMatches(std::string_view path, std::string_view name)
{
    if (FileNameMatch::sameName(FileNameMatch::baseName(path), name)) {
        return true;
    }
    return path.ends_with(kDeletedSuffix) &&
           FileNameMatch::sameName(FileNameMatch::baseName(path.substr(0, path.size() - kDeletedSuffix.size())), name);
}

std::string_view kernelName(std::string_view stat)
{
    const size_t open = stat.find('(');
    const size_t close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return {};
    }
    return stat.substr(open + 1, close - open - 1);
}

} // namespace ProcNames
