#include "diagnosis/DesktopCheck.h"

#include <QTimer>

#include <windows.h>

using Verdict = CheckResult::Verdict;

DesktopCheck::DesktopCheck(QObject* parent) : QObject(parent)
{
    notifications_.id = QStringLiteral("notifications");
    notifications_.name = QStringLiteral("Notifications");
    accessibility_.id = QStringLiteral("accessibility");
    accessibility_.name = QStringLiteral("Accessibility");
}

DesktopCheck::~DesktopCheck() = default;

void DesktopCheck::start()
{
    // Where the user turned notifications off in Windows' settings, this value is 0; missing means on.
    DWORD enabled = 1;
    DWORD size = sizeof enabled;
    const bool set = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\PushNotifications",
                                  L"ToastEnabled", RRF_RT_REG_DWORD, nullptr, &enabled, &size) == ERROR_SUCCESS;
    const bool allowed = !set || enabled != 0;
    notifications_.values = {{QStringLiteral("allowed"), allowed}};
    if (allowed)
        notifications_.set(Verdict::Ok, QStringLiteral("notices show as the tray icon's balloons; Windows allows "
                                                       "notifications"));
    else
        notifications_.set(Verdict::Warn, QStringLiteral("notifications are turned off in Windows' settings, so "
                                                         "notices do not show"),
                           QStringLiteral("Turn them on in Settings, System, Notifications."));
    BOOL reader = FALSE;
    const bool asked = SystemParametersInfoW(SPI_GETSCREENREADER, 0, &reader, 0) != 0;
    accessibility_.values = {{QStringLiteral("screen_reader"), asked && reader != FALSE}};
    accessibility_.set(Verdict::Ok, asked && reader ? QStringLiteral("a screen reader is running")
                                                    : QStringLiteral("no screen reader is running"));
    // Both answers are at hand; finished() still comes from the event loop, as on every system.
    QTimer::singleShot(0, this, &DesktopCheck::finish);
}

void DesktopCheck::busAnswered(bool, qint64) {}

void DesktopCheck::callEnded() {}

void DesktopCheck::finish()
{
    if (done_)
        return;
    done_ = true;
    emit finished();
}
