#include "NetworkSandbox.h"

#include "probes/EchoRights.h"
#include "probes/EchoStatus.h"
#include "probes/IcmpPacket.h"
#include "probes/Module1.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <grp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct EchoOutcome {
    bool setupOk = false;
    int32_t status = 0;
    EchoReply reply;
    int64_t elapsedMs = 0;
    int leakedFds = 0;
};

int openFdCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

EchoReply sentinelReply()
{
    EchoReply reply;
    std::memset(static_cast<void*>(&reply), 0xa5, sizeof reply);
    return reply;
}

bool untouchedExceptStatus(const EchoReply& reply)
{
    EchoReply expected = sentinelReply();
    expected.Status = reply.Status;
    return std::memcmp(&expected, &reply, sizeof reply) == 0;
}

EchoOutcome echo(const std::string& address)
{
    EchoOutcome outcome;
    outcome.setupOk = true;
    outcome.reply = sentinelReply();
    const int fdsBefore = openFdCount();
    const auto start = std::chrono::steady_clock::now();
    outcome.status = Module1::SendEcho(address, "1", outcome.reply);
    outcome.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    outcome.leakedFds = openFdCount() - fdsBefore;
    return outcome;
}

uint32_t ipv4(const char* dotted)
{
    in_addr address{};
    inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

// Another program's echo traffic to 127.0.0.1 from a raw socket, sent by a child process until it is
// stopped: echo requests (which the kernel answers with replies for their id) or forged echo replies.
class EchoTraffic {
public:
    explicit EchoTraffic(bool forgeReplies)
    {
        int ready[2];
        if (pipe(ready) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            sendForever(forgeReplies, ready[1]);
        }
        close(ready[1]);
        char byte = 0;
        started_ = pid_ > 0 && read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~EchoTraffic()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return started_; }

private:
    [[noreturn]] static void sendForever(bool forgeReplies, int readyFd)
    {
        const int fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
        if (fd < 0) {
            _exit(1);
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = ipv4("127.0.0.1");
        write(readyFd, "r", 1);
        for (uint32_t n = 1;; ++n) {
            // Forged replies carry our payload so that only identifier and sequence tell them apart.
            std::vector<uint8_t> packet = IcmpPacket::echoRequest(
                static_cast<uint16_t>(n * 7919), static_cast<uint16_t>(n), forgeReplies ? "1" : std::string(56, 'x'));
            if (forgeReplies) {
                packet[0] = 0;
                packet[2] = packet[3] = 0;
                const uint16_t sum = IcmpPacket::checksum(packet);
                packet[2] = static_cast<uint8_t>(sum >> 8);
                packet[3] = static_cast<uint8_t>(sum & 0xff);
            }
            sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            usleep(50);
        }
    }

    pid_t pid_ = -1;
    bool started_ = false;
};

enum class SocketKind { Datagram, Raw };

void PrintTo(SocketKind kind, std::ostream* out)
{
    *out << (kind == SocketKind::Datagram ? "Datagram" : "Raw");
}

class RealEcho : public ::testing::TestWithParam<SocketKind> {
protected:
    void SetUp() override
    {
        static const std::string reason = NetworkSandbox::unavailableReason();
        if (!reason.empty()) {
            GTEST_SKIP() << reason;
        }
    }

    // Pins the socket kind through the namespace's ping group range, runs `setup` and then `body`.
    EchoOutcome inSandbox(const std::string& setup, const std::function<EchoOutcome()>& body)
    {
        const bool datagram = GetParam() == SocketKind::Datagram;
        const std::optional<EchoOutcome> outcome = NetworkSandbox::run<EchoOutcome>([&]() {
            EchoOutcome failed;
            if (!NetworkSandbox::writeProc("/proc/sys/net/ipv4/ping_group_range", datagram ? "0 2147483647" : "1 0")) {
                return failed;
            }
            const int probe = socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
            const bool pinned = (probe >= 0) == datagram;
            if (probe >= 0) {
                close(probe);
            }
            if (!pinned || (!setup.empty() && !NetworkSandbox::shell(setup))) {
                return failed;
            }
            return body();
        });
        return outcome.value_or(EchoOutcome{});
    }
};

// A link whose neighbour never answers ARP: the kernel gives up after 100 ms and reports the host.
const char* kSilentNeighbour = "ip link add va type veth peer name vb && ip addr add 10.203.0.1/24 dev va && "
                               "ip link set va up && ip link set vb up && "
                               "echo 1 > /proc/sys/net/ipv4/neigh/va/mcast_solicit && "
                               "echo 100 > /proc/sys/net/ipv4/neigh/va/retrans_time_ms";

// A veth pair whose far end forwards everything back into the near end until the TTL runs out.
const char* kRoutingLoop =
    "ip link add va type veth peer name vb && ip addr add 10.203.0.1/24 dev va && ip link set va up && "
    "ip link set vb up && echo 1 > /proc/sys/net/ipv4/ip_forward && "
    "for i in all default va vb; do echo 0 > /proc/sys/net/ipv4/conf/$i/rp_filter; done && "
    "echo 1 > /proc/sys/net/ipv4/conf/vb/accept_local && "
    "ip neigh add 10.203.0.9 lladdr $(ip -o link show vb | sed -n 's/.*link\\/ether \\([0-9a-f:]*\\).*/\\1/p') "
    "dev va nud permanent";

} // namespace

TEST(SendEchoAddress, UnparsableTextsReturnMinusOneAndLeaveReplyUntouched)
{
    for (const char* text : {"", "255.255.255.255", "localhost", "example.com", "1.2.3.4.5", "256.1.1.1", "1..2.3",
                             "0x1g.0.0.1", "08.0.0.1"}) {
        EchoReply reply = sentinelReply();
        const EchoReply before = reply;
        EXPECT_EQ(Module1::SendEcho(text, "1", reply), EchoStatus::BadAddress) << '"' << text << '"';
        EXPECT_EQ(std::memcmp(&reply, &before, sizeof reply), 0) << '"' << text << '"';
    }
}

TEST(SendEchoAddress, AllZeroAddressNamesNoHostAndIsNotSent)
{
    for (const char* text : {"0", "0.0.0.0", "0x0", "0.0"}) {
        const EchoOutcome outcome = echo(text);
        EXPECT_EQ(outcome.status, EchoStatus::BadDestination) << text;
        EXPECT_EQ(outcome.reply.Status, EchoStatus::BadDestination) << text;
        EXPECT_TRUE(untouchedExceptStatus(outcome.reply)) << text;
        EXPECT_EQ(outcome.leakedFds, 0) << text;
    }
}

TEST_P(RealEcho, LoopbackAnswersAndFillsTheReply)
{
    const EchoOutcome outcome = inSandbox("", [] { return echo("127.0.0.1"); });
    ASSERT_TRUE(outcome.setupOk);
    EXPECT_EQ(outcome.status, EchoStatus::Success);
    EXPECT_EQ(outcome.reply.Status, EchoStatus::Success);
    EXPECT_EQ(outcome.reply.Address, ipv4("127.0.0.1"));
    EXPECT_EQ(outcome.reply.DataSize, 1);
    EXPECT_EQ(outcome.reply.ReplyData[0], 0x31);
    EXPECT_EQ(outcome.reply.Ttl, 64);
    EXPECT_LT(outcome.reply.RoundTripTime, 500u);
    EXPECT_EQ(outcome.reply.Data, 0xa5a5a5a5u) << "fields the echo does not give keep their old value";
    EXPECT_EQ(outcome.leakedFds, 0);
}

TEST_P(RealEcho, ShortOctalAndHexFormsReachTheHostTheyName)
{
    const std::pair<const char*, const char*> forms[] = {
        {"127.1", "127.0.0.1"}, {"0x7f.0.0.2", "127.0.0.2"}, {"0177.0.0.3", "127.0.0.3"}, {"2130706436", "127.0.0.4"}};
    for (const auto& [text, host] : forms) {
        const EchoOutcome outcome = inSandbox("", [text] { return echo(text); });
        ASSERT_TRUE(outcome.setupOk);
        EXPECT_EQ(outcome.status, EchoStatus::Success) << text;
        EXPECT_EQ(outcome.reply.Address, ipv4(host)) << text;
    }
}

TEST_P(RealEcho, SilentHostTimesOutAfterTheWholeWait)
{
    const EchoOutcome outcome =
        inSandbox("echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all", [] { return echo("127.0.0.1"); });
    ASSERT_TRUE(outcome.setupOk);
    EXPECT_EQ(outcome.status, EchoStatus::TimedOut);
    EXPECT_TRUE(untouchedExceptStatus(outcome.reply));
    EXPECT_EQ(outcome.reply.Status, EchoStatus::TimedOut);
    EXPECT_GE(outcome.elapsedMs, 500);
    EXPECT_LT(outcome.elapsedMs, 2000);
    EXPECT_EQ(outcome.leakedFds, 0);
}

TEST_P(RealEcho, KernelReasonsBecomeTheirStatusCodes)
{
    struct Case {
        const char* setup;
        const char* address;
        int32_t status;
    };
    const Case cases[] = {
        {"", "10.207.0.1", EchoStatus::NetUnreachable},                                        // no route at all
        {"ip route add unreachable 10.204.0.0/16", "10.204.0.1", EchoStatus::HostUnreachable}, // refused by sendto
        {kSilentNeighbour, "10.203.0.2", EchoStatus::HostUnreachable},                         // ICMP error
        {kRoutingLoop, "10.203.0.9", EchoStatus::TtlExpiredTransit},
    };
    for (const Case& c : cases) {
        const EchoOutcome outcome = inSandbox(c.setup, [&c] { return echo(c.address); });
        ASSERT_TRUE(outcome.setupOk) << c.setup;
        EXPECT_EQ(outcome.status, c.status) << c.address;
        EXPECT_EQ(outcome.reply.Status, c.status) << c.address;
        EXPECT_LT(outcome.elapsedMs, 500) << c.address << " waited instead of taking the kernel's answer";
        EXPECT_EQ(outcome.leakedFds, 0) << c.address;
    }
}

TEST_P(RealEcho, OtherProgramsEchoesToTheSameHostAreNotTakenForOurs)
{
    const EchoOutcome answered = inSandbox("", [] {
        EchoTraffic traffic(false);
        EchoOutcome outcome;
        for (int i = 0; i < 30 && traffic.started(); ++i) {
            outcome = echo("127.0.0.1");
            // The other program's replies carry 56 bytes; taking one of them shows in the data size.
            if (outcome.status != EchoStatus::Success || outcome.reply.DataSize != 1) {
                break;
            }
        }
        return outcome;
    });
    ASSERT_TRUE(answered.setupOk);
    EXPECT_EQ(answered.status, EchoStatus::Success);
    EXPECT_EQ(answered.reply.DataSize, 1);

    const EchoOutcome forged = inSandbox("echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all", [] {
        EchoTraffic traffic(true);
        return traffic.started() ? echo("127.0.0.1") : EchoOutcome{};
    });
    ASSERT_TRUE(forged.setupOk);
    EXPECT_EQ(forged.status, EchoStatus::TimedOut) << "a reply with another identifier or sequence was accepted";
}

INSTANTIATE_TEST_SUITE_P(SocketKinds, RealEcho, ::testing::Values(SocketKind::Datagram, SocketKind::Raw),
                         [](const auto& info) { return info.param == SocketKind::Datagram ? "Datagram" : "Raw"; });

TEST(SendEchoWithoutSocket, UserWithoutPingGroupOrRawRightsGetsGeneralFailure)
{
    const std::string reason = NetworkSandbox::unavailableReason();
    if (!reason.empty()) {
        GTEST_SKIP() << reason;
    }
    const std::optional<EchoOutcome> outcome = NetworkSandbox::run<EchoOutcome>([] {
        const uid_t nobody = 65534;
        if (!NetworkSandbox::writeProc("/proc/sys/net/ipv4/ping_group_range", "1 0") || setgroups(0, nullptr) != 0 ||
            setgid(nobody) != 0 || setuid(nobody) != 0) {
            return EchoOutcome{};
        }
        return echo("127.0.0.1");
    });
    ASSERT_TRUE(outcome && outcome->setupOk);
    EXPECT_EQ(outcome->status, EchoStatus::GeneralFailure);
    EXPECT_EQ(outcome->reply.Status, EchoStatus::GeneralFailure);
    EXPECT_TRUE(untouchedExceptStatus(outcome->reply));
    EXPECT_EQ(outcome->leakedFds, 0);
}

TEST(EchoRights, FollowTheSocketsTheProcessMayOpen)
{
    const std::string reason = NetworkSandbox::unavailableReason();
    if (!reason.empty()) {
        GTEST_SKIP() << reason;
    }
    struct Case {
        const char* range;
        bool asNobody;
        bool allowed;
    };
    const Case cases[] = {
        {"1 0", true, false},        // neither socket
        {"65534 65534", true, true}, // the datagram socket through the group
        {"1 0", false, true},        // root's raw socket
    };
    for (const Case& c : cases) {
        // 1 allowed, 0 not, -1 the sandbox could not be set up.
        const std::optional<int> allowed = NetworkSandbox::run<int>([&c] {
            const uid_t nobody = 65534;
            if (!NetworkSandbox::writeProc("/proc/sys/net/ipv4/ping_group_range", c.range) ||
                (c.asNobody && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0))) {
                return -1;
            }
            return echoAllowed() ? 1 : 0;
        });
        EXPECT_EQ(allowed.value_or(-1), c.allowed ? 1 : 0) << c.range << (c.asNobody ? " as nobody" : " as root");
    }
}
