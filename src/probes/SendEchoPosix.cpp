#include "probes/EchoExchange.h"
#include "probes/EchoRequest.h"
#include "probes/EchoStatus.h"
#include "probes/Module1.h"

#include <arpa/inet.h>

int32_t Module1::SendEcho(const std::string& address, const std::string& requestData, EchoReply& reply)
{
    // inet_addr takes the classic forms (1 to 4 parts, octal, hex) and resolves no names; its
    // all-ones failure value makes the broadcast address unusable as well.
    const in_addr_t destination = inet_addr(address.c_str());
    if (destination == INADDR_NONE) {
        return EchoStatus::BadAddress;
    }
    if (const int32_t refused = EchoRequest::refusal(destination, requestData.size()); refused != 0) {
        reply.Status = refused;
        return reply.Status;
    }
    EchoExchange exchange(destination);
    return exchange.run(requestData, reply);
}

int32_t Module1::AddressStatus(const std::string& address)
{
    const in_addr_t destination = inet_addr(address.c_str());
    if (destination == INADDR_NONE)
        return EchoStatus::BadAddress;
    return EchoRequest::refusal(destination, 1);
}
