#pragma once

#include "eventlog/LogWriter.h"
#include "monitor/CycleReport.h"
#include "monitor/StatusLamp.h"
#include "monitor/TargetFields.h"
#include "monitor/TargetProbes.h"

#include <QStringList>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>

// Fields of the 35 targets, as a test sets them.
class FakeFields : public TargetFields {
public:
    std::array<int, kTargetCount> enable{};
    std::array<QString, kTargetCount> text;
    QString command;

    void set(TargetKind kind, int number, const QString& value, int enableValue = Ticked)
    {
        text[targetIndex(kind, number)] = value;
        enable[targetIndex(kind, number)] = enableValue;
    }
    int enableValue(TargetKind kind, int number) const override { return enable[targetIndex(kind, number)]; }
    QString targetText(TargetKind kind, int number) const override { return text[targetIndex(kind, number)]; }
    QString failureCommand() const override { return command; }
};

class FakeLamp : public StatusLamp {
public:
    std::array<bool, 3> visible{false, false, true};
    void setPictureVisible(Picture picture, bool v) override { visible[picture] = v; }
    bool isPictureVisible(Picture picture) const override { return visible[picture]; }
    QStringList told;           // what the cycle told, in order: "start", "end"
    QList<CycleReport> reports; // one per ended cycle
    void cycleStarted() override { told << QStringLiteral("start"); }
    void cycleEnded(const CycleReport& report) override
    {
        told << QStringLiteral("end");
        reports << report;
    }
    bool only(Picture picture) const
    {
        for (int p = 0; p < 3; ++p)
            if (visible[p] != (p == picture))
                return false;
        return true;
    }
};

// Echo statuses per address and running process names, with every call recorded in order.
class FakeProbes : public TargetProbes {
public:
    std::map<std::string, int32_t> statusOf; // addresses not listed time out
    std::map<std::string, uint32_t> rttOf;   // the round trip each reply tells; 0 where not listed
    // Names not listed are not running; an empty answer is a process list that could not be read.
    std::map<QString, std::deque<std::optional<int>>> exeAnswers;
    bool sessionStarts = true;
    bool throwOnEcho = false;
    QStringList calls;
    QList<qsizetype> processChecksBegan; // how many calls had been made each time

    int WinsockStart() override
    {
        calls << QStringLiteral("start");
        return sessionStarts ? -1 : 0;
    }
    void WinsockStop() override { calls << QStringLiteral("stop"); }
    int32_t SendEcho(const std::string& address, const std::string& data, EchoReply& reply) override
    {
        calls << QStringLiteral("echo %1 %2").arg(QString::fromStdString(address), QString::fromStdString(data));
        if (throwOnEcho)
            throw std::runtime_error("echo failed");
        const auto it = statusOf.find(address);
        reply.Status = it == statusOf.end() ? 11010 : it->second;
        const auto rtt = rttOf.find(address);
        reply.RoundTripTime = rtt == rttOf.end() ? 0 : rtt->second;
        return reply.Status;
    }
    std::optional<int> ExeExists(const QString& name) override
    {
        calls << QStringLiteral("exe %1").arg(name);
        auto& answers = exeAnswers[name];
        if (answers.empty())
            return 0;
        const std::optional<int> answer = answers.front();
        if (answers.size() > 1)
            answers.pop_front();
        return answer;
    }
    void processChecksBegin() override { processChecksBegan << calls.size(); }
    int count(const QString& prefix) const
    {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const QString& c) { return c.startsWith(prefix); }));
    }
};

class FakeLog : public LogWriter {
public:
    QStringList entries;     // "H|label" or "P|label", in the order written
    QStringList heldEntries; // those written while held, in the same form
    QString logFilePath() const override { return QStringLiteral("/var/log/PylvaneLog.txt"); }
    bool holding = false;
    bool WriteLogEntry(HeaderStyle style, const QString& label) override
    {
        entries << (style == HeaderStyle::HostHeader ? QStringLiteral("H|") : QStringLiteral("P|")) + label;
        if (holding)
            heldEntries << entries.last();
        return true;
    }
    void holdEntries() override { holding = true; }
    std::function<void()> onWriteQueued; // called each time the entries still waiting are written
    bool writeQueuedEntries() override
    {
        holding = false;
        if (onWriteQueued)
            onWriteQueued();
        return true;
    }
};
