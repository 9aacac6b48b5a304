// What another user's process can put into /proc: its stat text, its command line and its program
// path, against a wanted name. The kernel's name lies inside the stat text, a cut kernel name matches
// no name of another length on its own, and a program named exactly as wanted is found.
#include "FuzzCheck.h"

#include "probes/ProcNames.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string name = input.ConsumeRandomLengthString(64);
    const std::string stat = input.ConsumeRandomLengthString(4096);
    const std::string path = input.ConsumeRandomLengthString(4096);
    const std::string commandLine = input.ConsumeRemainingBytesAsString();

    const std::string_view comm = ProcNames::kernelName(stat);
    FUZZ_REQUIRE(comm.empty() || (comm.data() > stat.data() && comm.data() + comm.size() < stat.data() + stat.size()));
    // A kernel name that may have been cut stands only for a name as long as what was kept, unless the
    // title completes it.
    const std::string_view title =
        FileNameMatch::baseName(std::string_view(commandLine).substr(0, commandLine.find('\0')));
    if (ProcNames::kernelNameMatches(stat, name, [&] { return std::string_view(commandLine); }))
        FUZZ_REQUIRE(comm.size() < ProcNames::kCommLength || name.size() == ProcNames::kCommLength ||
                     FileNameMatch::sameName(title, name));
    if (name.find('/') == std::string::npos)
        FUZZ_REQUIRE(ProcNames::programMatches(path + "/" + name, name));
    ProcNames::programMatches(path, name);
    return 0;
}
