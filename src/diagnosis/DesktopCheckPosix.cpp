#include "diagnosis/DesktopCheck.h"

#include "outcome/SessionBusProbe.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QElapsedTimer>
#include <QTimer>

using Verdict = CheckResult::Verdict;

namespace {

// The tray may be missing as well, which the Desktop line tells.
const QString kFallBack = QStringLiteral("notices fall back to the tray, where there is one");
// Screen readers reach the windows through an accessibility bus that the session bus announces.
const QString kNoReader = QStringLiteral("screen readers cannot reach Pylvane's windows without it");
const QString kSignIn = QStringLiteral("Sign in to a desktop session, whose session bus Pylvane uses.");
const QString kStartService =
    QStringLiteral("Start your desktop's notification service, or install one (such as dunst or mako).");

QString seconds(int ms)
{
    return QStringLiteral("%1 s").arg(ms / 1000.0);
}

} // namespace

DesktopCheck::DesktopCheck(QObject* parent) : QObject(parent)
{
    notifications_.id = QStringLiteral("notifications");
    notifications_.name = QStringLiteral("Notifications");
    notifications_.set(Verdict::Warn, QStringLiteral("not asked yet"), kStartService);
    accessibility_.id = QStringLiteral("accessibility");
    accessibility_.name = QStringLiteral("Accessibility");
    const bool atSpi = !qEnvironmentVariableIsEmpty("AT_SPI_BUS");
    accessibility_.values = {{QStringLiteral("at_spi_bus_variable"), atSpi}};
    accessibility_.set(Verdict::Ok, atSpi ? QStringLiteral("AT_SPI_BUS is set") : QStringLiteral("not asked yet"));
}

DesktopCheck::~DesktopCheck() = default;

void DesktopCheck::start()
{
    const std::optional<SessionBusProbe::Socket> socket =
        SessionBusProbe::socketOf(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
    if (!socket) {
        notifications_.set(Verdict::Warn, QStringLiteral("no session bus to ask; ") + kFallBack, kStartService);
        accessibility_.set(Verdict::NotApplicable, QStringLiteral("no session bus, through which a screen reader "
                                                                  "would reach Pylvane"));
        QTimer::singleShot(0, this, &DesktopCheck::finish);
        return;
    }
    // Never QDBusConnection::sessionBus() before the daemon has answered: a stopped one would hold it for good.
    probe_ = new SessionBusProbe(this);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    connect(probe_, &SessionBusProbe::answered, this, [this, clock](bool alive) { busAnswered(alive, clock->elapsed()); });
    probe_->start(*socket);
}

void DesktopCheck::busAnswered(bool alive, qint64 elapsedMs)
{
    notifications_.values.insert(QStringLiteral("session_bus"), alive);
    if (!alive) {
        const QString why = elapsedMs + 100 >= SessionBusProbe::kLimitMs
                                ? QStringLiteral("the session bus did not answer within %1").arg(seconds(SessionBusProbe::kLimitMs))
                                : QStringLiteral("no session bus (its socket is missing or refuses)");
        notifications_.set(Verdict::Warn, why + QStringLiteral("; ") + kFallBack, kSignIn);
        accessibility_.set(Verdict::Warn, why + QStringLiteral("; ") + kNoReader, kSignIn);
        finish();
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        notifications_.set(Verdict::Warn, QStringLiteral("the session bus refused the connection; ") + kFallBack,
                           QStringLiteral("Sign in to a desktop session, whose session bus Pylvane uses."));
        accessibility_.set(Verdict::Warn, QStringLiteral("the session bus refused the connection, so a screen reader "
                                                         "cannot reach Pylvane"),
                           QStringLiteral("Sign in to a desktop session, whose session bus Pylvane uses."));
        finish();
        return;
    }
    const auto call = [this, &bus](const QString& service, const QString& path, const QString& interface,
                                   const QString& method, const QVariantList& arguments, auto answered) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, kCallLimitMs), this);
        ++openCalls_;
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, answered](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            answered(w->reply());
            callEnded();
        });
    };
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    const QString path = QStringLiteral("/org/freedesktop/Notifications");
    notifications_.set(Verdict::Warn, QStringLiteral("the notification service did not answer within %1").arg(seconds(kCallLimitMs)),
                       kStartService);
    call(service, path, service, QStringLiteral("GetServerInformation"), {}, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() >= 3) {
            const QString name = reply.arguments().at(0).toString(), version = reply.arguments().at(2).toString();
            notifications_.values.insert(QStringLiteral("service"), name);
            notifications_.values.insert(QStringLiteral("service_version"), version);
            notifications_.set(Verdict::Ok, QStringLiteral("%1 %2 on the session bus").arg(name, version));
        } else if (reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NoReply")) {
            notifications_.set(Verdict::Warn,
                               QStringLiteral("the notification service did not answer within %1; notices may not show")
                                   .arg(seconds(kCallLimitMs)),
                               QStringLiteral("Restart your desktop's notification service."));
        } else {
            notifications_.set(Verdict::Warn, QStringLiteral("no notification service on the session bus; ") + kFallBack,
                               kStartService);
        }
    });
    call(service, path, service, QStringLiteral("GetCapabilities"), {}, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const bool markup = reply.arguments().at(0).toStringList().contains(QStringLiteral("body-markup"));
            notifications_.values.insert(QStringLiteral("body_markup"), markup);
        }
    });
    const QString daemon = QStringLiteral("org.freedesktop.DBus");
    call(daemon, QStringLiteral("/org/freedesktop/DBus"), daemon, QStringLiteral("NameHasOwner"),
         {QStringLiteral("org.a11y.Bus")}, [this](const QDBusMessage& reply) {
             const bool present = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                                  reply.arguments().at(0).toBool();
             accessibility_.values.insert(QStringLiteral("a11y_bus"), present);
             accessibility_.summary = present ? QStringLiteral("the accessibility bus runs (org.a11y.Bus)")
                                              : QStringLiteral("no accessibility bus (org.a11y.Bus) on the session bus");
         });
    // The calls' own limits end them; this only makes sure, should the bus library not keep its word.
    QTimer::singleShot(kCallLimitMs + 500, this, &DesktopCheck::finish);
}

void DesktopCheck::callEnded()
{
    if (--openCalls_ == 0)
        finish();
}

void DesktopCheck::finish()
{
    if (done_)
        return;
    done_ = true;
    if (notifications_.verdict == Verdict::Ok && notifications_.values.contains(QStringLiteral("body_markup")))
        notifications_.summary += notifications_.values.value(QStringLiteral("body_markup")).toBool()
                                      ? QStringLiteral(", reads markup")
                                      : QStringLiteral(", plain text only");
    emit finished();
}
