#include "platform/SystemEnd.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array kEndSignals{SIGTERM, SIGHUP, SIGINT};

// The writing end of the pipe, for the handler; -1 while no SystemEnd is installed.
volatile std::sig_atomic_t writeEnd = -1;

// All the handler does is wake the event loop; a full pipe already holds a wake-up.
extern "C" void onEndSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    if (writeEnd >= 0 && ::write(writeEnd, &byte, 1) < 0) {
    }
    errno = savedErrno;
}

class PosixSystemEnd : public SystemEnd {
public:
    explicit PosixSystemEnd(bool hangUpEnds)
    {
        if (::pipe2(fds_.data(), O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        writeEnd = fds_[1];
        notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { drain(); });
        struct sigaction action {};
        action.sa_handler = onEndSignal;
        sigemptyset(&action.sa_mask);
        // Reset to the default on entry: should the orderly end hang, the same signal again ends it.
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        for (int signal : kEndSignals) {
            if (signal == SIGHUP && !hangUpEnds)
                continue;
            // A signal ignored from the start (nohup's SIGHUP) stays ignored, as whoever started the program wanted.
            struct sigaction before {};
            if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
                ::sigaction(signal, &action, nullptr);
        }
    }
    ~PosixSystemEnd() override
    {
        if (notifier_ == nullptr)
            return;
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        for (int signal : kEndSignals) {
            struct sigaction now {};
            if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == onEndSignal)
                ::sigaction(signal, &action, nullptr);
        }
        writeEnd = -1;
        notifier_.reset();
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    PosixSystemEnd(const PosixSystemEnd&) = delete;
    PosixSystemEnd& operator=(const PosixSystemEnd&) = delete;

private:
    void drain()
    {
        std::array<char, 64> bytes{};
        bool any = false;
        while (::read(fds_[0], bytes.data(), bytes.size()) > 0)
            any = true;
        if (any)
            emit endRequested();
    }

    std::array<int, 2> fds_{-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace

std::unique_ptr<SystemEnd> SystemEnd::install(bool hangUpEnds)
{
    return std::make_unique<PosixSystemEnd>(hangUpEnds);
}
