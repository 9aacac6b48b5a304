#pragma once

#include "systemlog/SystemEvents.h"

#include <QByteArray>

// The journal on Linux, spoken to in its native protocol over the journal's datagram socket; where
// that socket is missing or refuses, the same sentence goes to syslog's socket in the form
// syslog(3) sends. Both sends are non-blocking: libsystemd's sd_journal_send and glibc's syslog(3)
// wait, indefinitely, for a journal or syslog daemon that does not read, so they are not used. An
// event that the socket cannot take at once is dropped.
class JournalEvents : public SystemEvents {
public:
    static inline const char* const kJournalSocket = "/run/systemd/journal/socket";
    static inline const char* const kSyslogSocket = "/dev/log";

    explicit JournalEvents(QByteArray journalSocket = kJournalSocket, QByteArray syslogSocket = kSyslogSocket);
    ~JournalEvents() override;
    JournalEvents(const JournalEvents&) = delete;
    JournalEvents& operator=(const JournalEvents&) = delete;

    enum class Outcome { Journal, Syslog, Dropped };
    // How the last event went.
    Outcome lastOutcome() const { return lastOutcome_; }

protected:
    void report(const SystemEvent& event) override;

private:
    enum class Sent { Yes, WouldWait, NoOne };
    Sent sendToJournal(const QByteArray& fields);
    Sent sendInMemoryFile(const QByteArray& fields);
    Sent sendToSyslog(const QByteArray& line);

    QByteArray journalSocket_;
    QByteArray syslogSocket_;
    int socket_ = -1;
    Outcome lastOutcome_ = Outcome::Dropped;
};
