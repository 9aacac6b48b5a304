// Two names of any bytes: the comparison is symmetric, every name equals itself, and a base name is
// the end of its path with no '/' in it.
#include "FuzzCheck.h"

#include "probes/FileNameMatch.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string a = input.ConsumeRandomLengthString();
    const std::string b = input.ConsumeRemainingBytesAsString();
    FUZZ_REQUIRE(FileNameMatch::sameName(a, b) == FileNameMatch::sameName(b, a));
    FUZZ_REQUIRE(FileNameMatch::sameName(a, a));
    const std::string_view base = FileNameMatch::baseName(a);
    FUZZ_REQUIRE(std::string_view(a).ends_with(base) && base.find('/') == std::string_view::npos);
    return 0;
}
