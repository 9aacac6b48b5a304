#include "probes/EchoRequest.h"

#include "probes/EchoReply.h"
#include "probes/EchoStatus.h"

namespace {

constexpr size_t kMaxData = sizeof(EchoReply::ReplyData) - 8;

} // namespace

int32_t EchoRequest::refusal(uint32_t destination, size_t dataSize)
{
    if (destination == 0) {
        return EchoStatus::BadDestination;
    }
    return dataSize > kMaxData ? EchoStatus::BufferTooSmall : EchoStatus::Success;
}
