#include "probes/FileNameMatch.h"

#include <cstdint>

namespace {

// Decodes one two-byte UTF-8 sequence at `at`; returns 0 when there is none. Only two-byte letters
// have a case partner here, so longer sequences are compared byte by byte.
char32_t twoByteCodePoint(std::string_view text, size_t at)
{
    if (at + 1 >= text.size()) {
        return 0;
    }
    const auto lead = static_cast<uint8_t>(text[at]);
    const auto trail = static_cast<uint8_t>(text[at + 1]);
    if ((lead & 0xe0) != 0xc0 || (trail & 0xc0) != 0x80 || lead < 0xc2) {
        return 0;
    }
    return static_cast<char32_t>(((lead & 0x1f) << 6) | (trail & 0x3f));
}

char32_t foldCase(char32_t c)
{
    if ((c >= 0xc0 && c <= 0xde && c != 0xd7) || (c >= 0x391 && c <= 0x3a9) || (c >= 0x410 && c <= 0x42f)) {
        return c + 0x20; // Latin-1, Greek and Cyrillic capitals sit 0x20 below their small letters
    }
    if (c >= 0x400 && c <= 0x40f) {
        return c + 0x50;
    }
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14a && c <= 0x177)) {
        return c | 1; // Latin Extended-A pairs: capital even, small odd
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17e)) {
        return (c & 1) != 0 ? c + 1 : c; // here the capital is the odd one
    }
    if (c == 0x178) {
        return 0xff;
    }
    return c;
}

char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string_view FileNameMatch::baseName(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool FileNameMatch::sameName(std::string_view a, std::string_view b)
{
    // Every fold above keeps the UTF-8 length, so names of different length never match.
    if (a.size() != b.size()) {
        return false;
    }
    size_t i = 0;
    while (i < a.size()) {
        const char32_t ca = twoByteCodePoint(a, i);
        const char32_t cb = twoByteCodePoint(b, i);
        if (ca != 0 && cb != 0) {
            if (foldCase(ca) != foldCase(cb)) {
                return false;
            }
            i += 2;
            continue;
        }
        if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
        ++i;
    }
    return true;
}
