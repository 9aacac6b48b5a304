#pragma once

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>

// Runs `work` on a thread of its own and waits at most `limitMs` for its answer. A call that does not
// return in time is left to end with the process: its thread is detached, and what it answers later is
// dropped. std::async is not used, as its future would wait for the thread when destroyed.
template <typename Result, typename Work>
std::optional<Result> withinLimit(Work work, int limitMs)
{
    auto promise = std::make_shared<std::promise<Result>>();
    std::future<Result> answer = promise->get_future();
    std::thread([promise, work = std::move(work)] { promise->set_value(work()); }).detach();
    if (answer.wait_for(std::chrono::milliseconds(limitMs)) != std::future_status::ready)
        return std::nullopt;
    return answer.get();
}
