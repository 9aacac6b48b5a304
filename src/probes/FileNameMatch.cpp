#include "probes/FileNameMatch.h"

#include <algorithm>
#include <cstdint>

namespace {

struct CaseFolding {
    char32_t from;
    char32_t to;
};

// Unicode's simple case foldings, generated from CaseFolding.txt when building.
constexpr CaseFolding kFoldings[] = {
#include "CaseFoldingTable.inc"
};
static_assert(std::ranges::is_sorted(kFoldings, {}, &CaseFolding::from));

// Above every code point, so a byte that starts no valid UTF-8 sequence equals nothing but itself.
constexpr char32_t kStrayByte = 0x110000;

char32_t foldCase(char32_t c)
{
    const auto found = std::ranges::lower_bound(kFoldings, c, {}, &CaseFolding::from);
    return found != std::end(kFoldings) && found->from == c ? found->to : c;
}

// Decodes the character at `at` and moves past it. Overlong forms, surrogates and code points above
// U+10FFFF are refused as UTF-8 does, lest two different byte strings decode to the same letter.
char32_t nextCharacter(std::string_view text, size_t& at)
{
    const auto lead = static_cast<uint8_t>(text[at]);
    ++at;
    if (lead < 0x80) {
        return lead;
    }
    size_t length = 0;
    char32_t c = 0;
    char32_t lowest = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 1;
        c = lead & 0x1f;
        lowest = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 2;
        c = lead & 0x0f;
        lowest = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 3;
        c = lead & 0x07;
        lowest = 0x10000;
    } else {
        return kStrayByte + lead;
    }
    if (text.size() - at < length) {
        return kStrayByte + lead;
    }
    for (size_t i = 0; i < length; ++i) {
        const auto trail = static_cast<uint8_t>(text[at + i]);
        if ((trail & 0xc0) != 0x80) {
            return kStrayByte + lead;
        }
        c = (c << 6) | (trail & 0x3f);
    }
    if (c < lowest || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) {
        return kStrayByte + lead;
    }
    at += length;
    return c;
}

} // namespace

std::string_view FileNameMatch::baseName(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool FileNameMatch::sameName(std::string_view a, std::string_view b)
{
    // Folding may change the length in bytes (the Kelvin sign folds to 'k'), so lengths are no shortcut.
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (foldCase(nextCharacter(a, i)) != foldCase(nextCharacter(b, j))) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}
