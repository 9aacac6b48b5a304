#include "probes/EchoDestination.h"

#include "probes/EchoStatus.h"

int32_t EchoDestination::refusal(uint32_t destination)
{
    return destination == 0 ? EchoStatus::BadDestination : EchoStatus::Success;
}
