#include "probes/ProcessQuery.h"

#include <windows.h>
#include <objbase.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>

namespace {

// How long the end of the program waits for an idle query thread to leave its apartment.
constexpr std::chrono::milliseconds kEndWait{1000};

} // namespace

struct ProcessQuery::Exchange {
    explicit Exchange(std::unique_ptr<ProcessNameService> service) : service(std::move(service)) {}

    std::mutex mutex;
    std::condition_variable changed;
    const std::unique_ptr<ProcessNameService> service; // called on the query thread only
    std::string name;
    uint64_t asked = 0;    // the number of the last question handed over
    uint64_t answered = 0; // the number of the last question the service has answered
    std::optional<bool> answer;
    bool stop = false;
    bool ended = false;
};

ProcessQuery::ProcessQuery(std::unique_ptr<ProcessNameService> service, std::chrono::milliseconds serviceWait,
                           TableLookup table)
    : exchange_(std::make_shared<Exchange>(std::move(service))), budget_(serviceWait), table_(table)
{
    try {
        thread_ = std::thread(serve, exchange_);
    } catch (const std::system_error&) {
        // No thread: every answer comes from the process table.
    }
}

ProcessQuery::~ProcessQuery()
{
    if (!thread_.joinable()) {
        return;
    }
    std::unique_lock lock(exchange_->mutex);
    exchange_->stop = true;
    exchange_->changed.notify_all();
    const bool idle = exchange_->asked == exchange_->answered;
    const bool ended = idle && exchange_->changed.wait_for(lock, kEndWait, [this] { return exchange_->ended; });
    lock.unlock();
    if (ended) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

std::optional<bool> ProcessQuery::exeRunning(const std::string& name)
{
    if (name.empty()) {
        return false;
    }
    const std::optional<bool> answer = askService(name);
    return answer.has_value() ? answer : table_(name);
}

std::optional<bool> ProcessQuery::askService(const std::string& name)
{
    if (!thread_.joinable()) {
        return std::nullopt;
    }
    std::unique_lock lock(exchange_->mutex);
    if (exchange_->asked != exchange_->answered) {
        return std::nullopt; // the service still owes an earlier answer
    }
    const ServiceBudget::Duration wait = budget_.nextWait();
    if (wait <= ServiceBudget::Duration::zero()) {
        return std::nullopt;
    }
    exchange_->name = name;
    const uint64_t number = ++exchange_->asked;
    exchange_->changed.notify_all();
    const auto start = std::chrono::steady_clock::now();
    const bool answered = exchange_->changed.wait_for(lock, wait, [&] { return exchange_->answered == number; });
    budget_.charge(std::chrono::steady_clock::now() - start);
    if (!answered) {
        return std::nullopt;
    }
    return exchange_->answer;
}

void ProcessQuery::serve(const std::shared_ptr<Exchange>& exchange)
{
    // The service's objects live on this thread alone. In the multithreaded apartment a call into a service
    // that hangs blocks only this thread, and the caller's thread may be in either kind of apartment, or none.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::unique_lock lock(exchange->mutex);
    for (;;) {
        exchange->changed.wait(lock, [&] { return exchange->stop || exchange->asked != exchange->answered; });
        if (exchange->stop) {
            break;
        }
        const std::string name = exchange->name;
        const uint64_t number = exchange->asked;
        lock.unlock();
        const std::optional<bool> answer =
            SUCCEEDED(apartment) ? exchange->service->exeRunning(name) : std::optional<bool>();
        lock.lock();
        exchange->answer = answer;
        exchange->answered = number;
        exchange->changed.notify_all();
    }
    lock.unlock();
    if (SUCCEEDED(apartment)) {
        CoUninitialize();
    }
    lock.lock();
    exchange->ended = true;
    exchange->changed.notify_all();
}
