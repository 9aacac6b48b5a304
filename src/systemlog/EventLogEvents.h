#pragma once

#include "systemlog/SystemEvents.h"

// The Application event log on Windows, source "Pylvane". The sentences live in the message table
// of pylvane.exe; the event carries only their parts, and Event Viewer puts them together when the
// source is registered (pylvane --register-event-source). Without it Event Viewer still shows the
// parts, below a note that the description was not found.
//
// ReportEventW hands the event to the event log service by a local call; a hung service could hold
// it, which no thread of the program's own may avoid here. Events are few (a handful per cycle),
// and the call fails at once when the service is stopped.
class EventLogEvents : public SystemEvents {
public:
    static inline const wchar_t* const kSource = L"Pylvane";

    EventLogEvents();
    ~EventLogEvents() override;
    EventLogEvents(const EventLogEvents&) = delete;
    EventLogEvents& operator=(const EventLogEvents&) = delete;

    // The event type of the event log for a syslog priority: error, warning or information.
    static unsigned short typeOf(int priority);

protected:
    void report(const SystemEvent& event) override;

private:
    void* source_ = nullptr;
};
