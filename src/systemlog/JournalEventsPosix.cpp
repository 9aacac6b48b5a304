#include "systemlog/JournalEvents.h"

#include "systemlog/JournalEntry.h"

#include <QDateTime>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool addressOf(const QByteArray& path, sockaddr_un& address, socklen_t& length)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()) + 1);
    return true;
}

bool wouldWait(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS || error == ENOMEM;
}

} // namespace

std::unique_ptr<SystemEvents> SystemEvents::forThisSystem()
{
    return std::make_unique<JournalEvents>();
}

JournalEvents::JournalEvents(QByteArray journalSocket, QByteArray syslogSocket)
    : journalSocket_(std::move(journalSocket)), syslogSocket_(std::move(syslogSocket))
{
    // An event larger than the socket's send buffer goes as an in-memory file.
    socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

JournalEvents::~JournalEvents()
{
    if (socket_ >= 0)
        ::close(socket_);
}

void JournalEvents::report(const SystemEvent& event)
{
    switch (sendToJournal(JournalEntry::nativeFields(event))) {
    case Sent::Yes:
        lastOutcome_ = Outcome::Journal;
        return;
    case Sent::WouldWait:
        lastOutcome_ = Outcome::Dropped;
        return;
    case Sent::NoOne:
        break;
    }
    const QByteArray line = JournalEntry::syslogLine(event, qint64(::getpid()), QDateTime::currentDateTime());
    lastOutcome_ = sendToSyslog(line) == Sent::Yes ? Outcome::Syslog : Outcome::Dropped;
}

JournalEvents::Sent JournalEvents::sendToJournal(const QByteArray& fields)
{
    sockaddr_un address;
    socklen_t length = 0;
    if (socket_ < 0 || !addressOf(journalSocket_, address, length))
        return Sent::NoOne;
    if (::sendto(socket_, fields.constData(), size_t(fields.size()), MSG_NOSIGNAL | MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&address), length) >= 0)
        return Sent::Yes;
    const int error = errno;
    if (error == EMSGSIZE)
        return sendInMemoryFile(fields);
    return wouldWait(error) ? Sent::WouldWait : Sent::NoOne;
}

// Too large for a datagram: the journal takes the fields from a sealed in-memory file passed along.
JournalEvents::Sent JournalEvents::sendInMemoryFile(const QByteArray& fields)
{
    const int file = ::memfd_create("pylvane-event", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (file < 0)
        return Sent::WouldWait;
    Sent sent = Sent::WouldWait;
    if (::write(file, fields.constData(), size_t(fields.size())) == fields.size() &&
        ::fcntl(file, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0) {
        sockaddr_un address;
        socklen_t length = 0;
        addressOf(journalSocket_, address, length);
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message = {};
        message.msg_name = &address;
        message.msg_namelen = length;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &file, sizeof file);
        if (::sendmsg(socket_, &message, MSG_NOSIGNAL | MSG_DONTWAIT) >= 0)
            sent = Sent::Yes;
        else if (!wouldWait(errno))
            sent = Sent::NoOne;
    }
    ::close(file);
    return sent;
}

JournalEvents::Sent JournalEvents::sendToSyslog(const QByteArray& line)
{
    sockaddr_un address;
    socklen_t length = 0;
    if (socket_ < 0 || !addressOf(syslogSocket_, address, length))
        return Sent::NoOne;
    if (::sendto(socket_, line.constData(), size_t(line.size()), MSG_NOSIGNAL | MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&address), length) >= 0)
        return Sent::Yes;
    if (errno != EPROTOTYPE)
        return wouldWait(errno) ? Sent::WouldWait : Sent::NoOne;
    // A syslog daemon listening on a stream socket: a connection of its own for each line, ended
    // with a null as syslog(3) ends it, and given up rather than sent in part.
    const int stream = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (stream < 0)
        return Sent::NoOne;
    Sent sent = Sent::WouldWait;
    if (::connect(stream, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        const QByteArray record = line + '\0';
        if (::send(stream, record.constData(), size_t(record.size()), MSG_NOSIGNAL | MSG_DONTWAIT) == record.size())
            sent = Sent::Yes;
    }
    ::close(stream);
    return sent;
}
