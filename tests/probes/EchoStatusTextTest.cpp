#include "probes/Module1.h"

#include <gtest/gtest.h>

// The host check compares these texts literally, so every character counts.
TEST(DescribeEchoStatus, GivesTheTableTextsExactly)
{
    const std::pair<int32_t, const char*> table[] = {
        {0, "0   [ ip success ]"},
        {500, "500   [ ping timeout ]"},
        {11001, "11001   [ ip buf too_small ]"},
        {11002, "11002   [ ip dest net unreachable ]"},
        {11003, "11003   [ ip dest host unreachable ]"},
        {11004, "11004   [ ip dest prot unreachable ]"},
        {11005, "11005   [ ip dest port unreachable ]"},
        {11006, "11006   [ ip no resources ]"},
        {11007, "11007   [ ip bad option ]"},
        {11008, "11008   [ ip hw_error ]"},
        {11009, "11009   [ ip packet too_big ]"},
        {11010, "11010   [ ip req timed out ]"},
        {11011, "11011   [ ip bad req ]"},
        {11012, "11012   [ ip bad route ]"},
        {11013, "11013   [ ip ttl expired transit ]"},
        {11014, "11014   [ ip ttl expired reassem ]"},
        {11015, "11015   [ ip param_problem ]"},
        {11016, "11016   [ ip source quench ]"},
        {11017, "11017   [ ip option too_big ]"},
        {11018, "11018   [ ip bad destination ]"},
        {11019, "11019   [ ip addr deleted ]"},
        {11020, "11020   [ ip spec mtu change ]"},
        {11021, "11021   [ ip mtu_change ]"},
        {11022, "11022   [ ip unload ]"},
        {11023, "11023   [ ip addr added ]"},
        {11050, "11050   [ ip general failure ]"},
        {11255, "11255   [ ip pending ]"},
        {-1, "-1   [ inet_addr: bad IP format ]"},
    };
    for (const auto& [status, text] : table) {
        EXPECT_EQ(Module1::DescribeEchoStatus(status), text);
    }
}

TEST(DescribeEchoStatus, ValuesOutsideTheTableAreUnknown)
{
    for (int32_t status : {1, 499, 501, 11000, 11024, 11049, 11051, 11254, 11256, -2, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(Module1::DescribeEchoStatus(status), std::to_string(status) + "   [ unknown  msg returned ]");
    }
}

TEST(SocketSession, StartsAtOnceAndStopsWithoutFailure)
{
    EXPECT_EQ(Module1::WinsockStart(), -1);
    EXPECT_EQ(Module1::WinsockStop(), 0);
}
