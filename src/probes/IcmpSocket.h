#pragma once

#include <cstdint>

// One ICMP socket, owned for the length of one echo and closed by the destructor on every path.
// Prefers the unprivileged datagram kind (allowed by net.ipv4.ping_group_range) and falls back to
// a raw socket, which needs root or CAP_NET_RAW.
class IcmpSocket {
public:
    enum class Kind { None, Datagram, Raw };

    IcmpSocket();
    ~IcmpSocket();
    IcmpSocket(const IcmpSocket&) = delete;
    IcmpSocket& operator=(const IcmpSocket&) = delete;

    Kind kind() const { return kind_; }
    int fd() const { return fd_; }

    // The identifier that replies to this socket carry. A datagram socket's identifier is its local
    // port, chosen by the kernel on the first send, so this asks the kernel; raw sockets keep `own`.
    uint16_t identifierAfterSend(uint16_t own) const;

private:
    bool openDatagram();
    bool openRaw();

    int fd_ = -1;
    Kind kind_ = Kind::None;
};
