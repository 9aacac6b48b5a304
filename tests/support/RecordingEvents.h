#pragma once

#include "systemlog/SystemEvents.h"

#include <QList>

// Keeps every event instead of reporting it.
class RecordingEvents : public SystemEvents {
public:
    QList<SystemEvent> events;
    QStringList messages() const
    {
        QStringList list;
        for (const SystemEvent& event : events)
            list << event.message;
        return list;
    }

protected:
    void report(const SystemEvent& event) override { events << event; }
};
