#include "service/ServiceSignals.h"

#include "service/CheckNowEvent.h"

#include <QWinEventNotifier>

#include <windows.h>

namespace {

// No signals on Windows: `pylvane --check-now` sets an auto-reset event that this run made, named after its state
// folder; SIGHUP has no counterpart.
class WindowsServiceSignals : public ServiceSignals {
public:
    explicit WindowsServiceSignals(const QString& stateFolder)
    {
        event_ = CreateEventW(nullptr, FALSE, FALSE, checkNowEventName(stateFolder).toStdWString().c_str());
        if (event_ == nullptr)
            return;
        notifier_ = std::make_unique<QWinEventNotifier>(event_);
        QObject::connect(notifier_.get(), &QWinEventNotifier::activated, this, [this] { emit checkRequested(); });
    }
    ~WindowsServiceSignals() override
    {
        notifier_.reset();
        if (event_ != nullptr)
            CloseHandle(event_);
    }
    WindowsServiceSignals(const WindowsServiceSignals&) = delete;
    WindowsServiceSignals& operator=(const WindowsServiceSignals&) = delete;

private:
    HANDLE event_ = nullptr;
    std::unique_ptr<QWinEventNotifier> notifier_;
};

} // namespace

std::unique_ptr<ServiceSignals> ServiceSignals::install(HangUp, const QString& stateFolder)
{
    return std::make_unique<WindowsServiceSignals>(stateFolder);
}
