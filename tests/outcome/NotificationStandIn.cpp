// A stand-in for the desktop's notification service on the session bus. Each Notify call is appended to
// the record file as one JSON line. While "<record>.silent" exists, calls get no answer at all; while
// "<record>.click" exists, each notice is clicked (ActionInvoked "default") right after it is shown; with
// "<record>.markup", it reads bodies as markup; while "<record>.slow" exists, it answers what it can do a
// second late and makes "<record>.answered" as it does. It takes the name from any owner and lets the next take
// it, as a desktop's replacement service does.
// Usage: notification_standin <record file>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QVariantMap>

#include <cstdio>

namespace {

class StandIn : public QDBusVirtualObject {
public:
    explicit StandIn(QString record) : record_(std::move(record)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override
    {
        if (QFile::exists(record_ + QStringLiteral(".silent")))
            return true; // taken, never answered
        if (message.member() == QStringLiteral("GetCapabilities")) {
            QStringList capabilities{QStringLiteral("body"), QStringLiteral("actions")};
            if (QFile::exists(record_ + QStringLiteral(".markup")))
                capabilities << QStringLiteral("body-markup");
            if (!QFile::exists(record_ + QStringLiteral(".slow"))) {
                bus.send(message.createReply(capabilities));
                return true;
            }
            QTimer::singleShot(1000, [bus, reply = message.createReply(capabilities), this] {
                bus.send(reply);
                QFile answered(record_ + QStringLiteral(".answered"));
                answered.open(QIODevice::WriteOnly);
            });
            return true;
        }
        if (message.member() != QStringLiteral("Notify") || message.arguments().size() != 8)
            return false;
        const QList<QVariant> a = message.arguments();
        const uint id = a.at(1).toUInt() != 0 ? a.at(1).toUInt() : ++lastId_;
        const QVariantMap hints = qdbus_cast<QVariantMap>(a.at(6));
        const QJsonObject line{
            {QStringLiteral("app"), a.at(0).toString()},
            {QStringLiteral("replaces"), qint64(a.at(1).toUInt())},
            {QStringLiteral("icon"), a.at(2).toString()},
            {QStringLiteral("summary"), a.at(3).toString()},
            {QStringLiteral("body"), a.at(4).toString()},
            {QStringLiteral("actions"), QJsonArray::fromStringList(a.at(5).toStringList())},
            {QStringLiteral("urgency"), int(hints.value(QStringLiteral("urgency")).value<uchar>())},
            {QStringLiteral("urgencyType"), QString::fromLatin1(hints.value(QStringLiteral("urgency")).typeName())},
            {QStringLiteral("id"), qint64(id)},
        };
        QFile file(record_);
        if (file.open(QIODevice::Append))
            file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
        file.close();
        bus.send(message.createReply(QVariant::fromValue(id)));
        if (QFile::exists(record_ + QStringLiteral(".click"))) {
            QDBusMessage clicked = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                              QStringLiteral("org.freedesktop.Notifications"),
                                                              QStringLiteral("ActionInvoked"));
            clicked << id << QStringLiteral("default");
            bus.send(clicked);
        }
        return true;
    }

private:
    QString record_;
    uint lastId_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: notification_standin <record file>\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    StandIn standIn(QString::fromLocal8Bit(argv[1]));
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &standIn) ||
        bus.interface()->registerService(
            QStringLiteral("org.freedesktop.Notifications"), QDBusConnectionInterface::ReplaceExistingService,
            QDBusConnectionInterface::AllowReplacement) != QDBusConnectionInterface::ServiceRegistered) {
        std::fprintf(stderr, "notification_standin: cannot take the service name\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
