#pragma once

#include "diagnosis/CheckResult.h"

#include <QList>
#include <QObject>

class SessionBusProbe;
class QDBusPendingCallWatcher;

// The desktop's services that notices and the screen reader rely on: the notification service and
// whether notices are allowed, and whether accessibility is on. Asked without waiting: every question
// has its own limit, and finished() follows once, when all are answered or out of time.
class DesktopCheck : public QObject {
    Q_OBJECT
public:
    static constexpr int kCallLimitMs = 1'000;

    explicit DesktopCheck(QObject* parent = nullptr);
    ~DesktopCheck() override;

    void start();
    bool done() const { return done_; }
    // "notifications" and "accessibility", with what is known so far.
    QList<CheckResult> results() const { return {notifications_, accessibility_}; }

signals:
    void finished();

private:
    void busAnswered(bool alive, qint64 elapsedMs);
    void callEnded();
    void finish();

    CheckResult notifications_;
    CheckResult accessibility_;
    SessionBusProbe* probe_ = nullptr;
    int openCalls_ = 0;
    bool done_ = false;
};
