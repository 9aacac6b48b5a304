#pragma once

#include "service/RunMarker.h"
#include "service/ServiceSignals.h"

#include <QObject>

#include <functional>
#include <memory>

// Where the desktop program runs, for `pylvane --check-now`: the request (SIGUSR1, or the named event on Windows)
// calls `checkNow`, and the marker in the user's state folder says which process to ask. A folder that cannot
// hold the marker, or another run that holds it, costs only the request: the program runs as before.
class DesktopRunPlace {
public:
    DesktopRunPlace(QObject* context, std::function<void()> checkNow);
    ~DesktopRunPlace();
    DesktopRunPlace(const DesktopRunPlace&) = delete;
    DesktopRunPlace& operator=(const DesktopRunPlace&) = delete;

private:
    std::unique_ptr<ServiceSignals> requests_;
    std::unique_ptr<RunMarker> marker_;
};
