#pragma once

#include <string_view>

// How process image names are compared: the bare file name, without regard to letter case.
namespace FileNameMatch {

// The part after the last '/', or all of `path` when it has none.
std::string_view baseName(std::string_view path);

// Equal without regard to case: the UTF-8 names are the same after Unicode's simple case folding, the
// same for every language. Bytes that are not valid UTF-8 must match exactly.
bool sameName(std::string_view a, std::string_view b);

} // namespace FileNameMatch
