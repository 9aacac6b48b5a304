#include "systemlog/EventLogEvents.h"

#include <windows.h>

#include <string>
#include <vector>

std::unique_ptr<SystemEvents> SystemEvents::forThisSystem()
{
    return std::make_unique<EventLogEvents>();
}

EventLogEvents::EventLogEvents() : source_(RegisterEventSourceW(nullptr, kSource)) {}

EventLogEvents::~EventLogEvents()
{
    if (source_ != nullptr)
        DeregisterEventSource(static_cast<HANDLE>(source_));
}

unsigned short EventLogEvents::typeOf(int priority)
{
    if (priority <= 3)
        return EVENTLOG_ERROR_TYPE;
    if (priority == 4)
        return EVENTLOG_WARNING_TYPE;
    return EVENTLOG_INFORMATION_TYPE;
}

void EventLogEvents::report(const SystemEvent& event)
{
    if (source_ == nullptr)
        return;
    // An insertion string is limited to 31,839 characters; a longer one is cut, and said so, rather
    // than refused whole by the service.
    constexpr qsizetype kLongest = 31839;
    const QString cutNote = QStringLiteral(" [cut]");
    QStringList parts = event.strings;
    if (event.hasTarget())
        parts << event.targetKind;
    std::vector<std::wstring> texts;
    for (const QString& part : parts) {
        texts.push_back(part.size() <= kLongest ? part.toStdWString()
                                                : (part.left(kLongest - cutNote.size()) + cutNote).toStdWString());
    }
    std::vector<LPCWSTR> strings;
    for (const std::wstring& text : texts)
        strings.push_back(text.c_str());
    ReportEventW(static_cast<HANDLE>(source_), typeOf(priorityOf(event.kind)), 0, eventIdOf(event.kind), nullptr,
                 WORD(strings.size()), 0, strings.data(), nullptr);
}
