#pragma once

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

// Runs a piece of a test in a child process inside a network namespace of its own, so that the
// test can reconfigure the network (sysctls, routes, links) and send packets without any of it
// reaching the machine's real network. Needs root.
class NetworkSandbox {
public:
    // Empty when sandboxes can be made here, else why not (for GTEST_SKIP).
    static std::string unavailableReason();

    // Runs `body` in a fresh namespace whose loopback is up and returns what it produced, or
    // nothing when the child could not be set up, crashed or took longer than `timeoutMs`.
    template <typename Result>
    static std::optional<Result> run(const std::function<Result()>& body, int timeoutMs = 15000)
    {
        static_assert(std::is_trivially_copyable_v<Result>);
        std::optional<std::vector<char>> bytes = runRaw(
            [&body]() {
                const Result result = body();
                std::vector<char> out(sizeof(Result));
                std::memcpy(out.data(), &result, sizeof(Result));
                return out;
            },
            timeoutMs);
        if (!bytes || bytes->size() != sizeof(Result)) {
            return std::nullopt;
        }
        Result result;
        std::memcpy(&result, bytes->data(), sizeof(Result));
        return result;
    }

    // Helpers for use inside a body.
    static bool writeProc(const std::string& path, const std::string& value);
    static bool shell(const std::string& command); // /bin/sh -c, output discarded

private:
    static std::optional<std::vector<char>> runRaw(const std::function<std::vector<char>()>& body, int timeoutMs);
};
