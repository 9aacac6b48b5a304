#include "service/ServiceSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The writing end of the pipe, for the handler; -1 while none is installed.
volatile std::sig_atomic_t writeEnd = -1;

// All the handler does is wake the event loop; a full pipe already holds a wake-up of that kind.
extern "C" void onServiceSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    if (writeEnd >= 0 && ::write(writeEnd, &byte, 1) < 0) {
    }
    errno = savedErrno;
}

class PosixServiceSignals : public ServiceSignals {
public:
    explicit PosixServiceSignals(HangUp hangUp)
    {
        if (::pipe2(fds_.data(), O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        writeEnd = fds_[1];
        notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { drain(); });
        struct sigaction action {};
        action.sa_handler = onServiceSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        signals_.push_back(SIGUSR1);
        if (hangUp == HangUp::Reloads)
            signals_.push_back(SIGHUP);
        for (int signal : signals_)
            ::sigaction(signal, &action, nullptr);
    }
    ~PosixServiceSignals() override
    {
        if (notifier_ == nullptr)
            return;
        // Ignored rather than reset: SIGUSR1's default ends the process, and a late --check-now must not.
        struct sigaction action {};
        action.sa_handler = SIG_IGN;
        sigemptyset(&action.sa_mask);
        for (int signal : signals_)
            ::sigaction(signal, &action, nullptr);
        writeEnd = -1;
        notifier_.reset();
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    PosixServiceSignals(const PosixServiceSignals&) = delete;
    PosixServiceSignals& operator=(const PosixServiceSignals&) = delete;

private:
    void drain()
    {
        std::array<char, 256> bytes{};
        bool reload = false;
        bool check = false;
        ssize_t got = 0;
        while ((got = ::read(fds_[0], bytes.data(), bytes.size())) > 0) {
            for (ssize_t i = 0; i < got; ++i) {
                reload = reload || bytes[size_t(i)] == char(SIGHUP);
                check = check || bytes[size_t(i)] == char(SIGUSR1);
            }
        }
        if (reload)
            emit reloadRequested();
        if (check)
            emit checkRequested();
    }

    std::array<int, 2> fds_{-1, -1};
    std::vector<int> signals_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace

std::unique_ptr<ServiceSignals> ServiceSignals::install(HangUp hangUp, const QString&)
{
    return std::make_unique<PosixServiceSignals>(hangUp);
}
