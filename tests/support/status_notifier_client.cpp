#include "tests/support/status_notifier_client.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QObject>

#include "tests/support/event_wait.h"

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");  // unless the entry names one
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

struct ItemAddress {
    QString service;
    QString path;
};

ItemAddress AddressOf(const QString& item)
{
    const qsizetype slash = item.indexOf(QLatin1Char('/'));
    if (slash < 0) return {item, kItemPath};
    return {item.left(slash), item.mid(slash)};
}

// A property of the watcher, another process, so a plain blocking call; invalid on failure.
QVariant WatcherProperty(const QDBusConnection& connection, const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath, kProperties,
                                                      QStringLiteral("Get"));
    get << kWatcherService << name;
    const QDBusMessage reply = connection.call(get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

// The reply to `call`, with the event loop running meanwhile: the item may be this process's.
QDBusMessage CallServedHere(const QDBusConnection& connection, const QDBusMessage& call)
{
    const QDBusPendingCallWatcher pending(connection.asyncCall(call));
    if (!RunEventsUntil([&] { return pending.isFinished(); })) return {};
    return pending.reply();
}

// One entry of an IconPixmap, a(iiay): width, height, ARGB32 in network byte order.
QImage PictureOf(int width, int height, const QByteArray& bytes)
{
    if (width <= 0 || height <= 0 || bytes.size() != qsizetype(width) * height * 4) return {};
    QImage image(width, height, QImage::Format_ARGB32);
    const auto* argb = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x, argb += 4)
            image.setPixel(x, y, qRgba(argb[1], argb[2], argb[3], argb[0]));
    return image;
}

}  // namespace

// QtDBus hands a bus signal only to a slot named by its signature; this one counts.
class SignalCounter : public QObject {
    Q_OBJECT
public:
    int count = 0;
public slots:
    void Count() { ++count; }
};

StatusNotifierClient::StatusNotifierClient()
    : connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                QStringLiteral("quarnex-test-tray-client"))),
      items_(std::make_unique<SignalCounter>())
{
    connection_.connect(kWatcherService, kWatcherPath, kWatcherService,
                        QStringLiteral("StatusNotifierItemRegistered"), items_.get(),
                        SLOT(Count()));
    // The bus handles a connection's messages in order: once a later call has been answered,
    // subscription is in place and no registration can slip past it.
    WatcherProperty(connection_, QStringLiteral("ProtocolVersion"));
}

StatusNotifierClient::~StatusNotifierClient()
{
    QDBusConnection::disconnectFromBus(connection_.name());
}

int StatusNotifierClient::Registrations() const
{
    return items_->count;
}

std::vector<QString> StatusNotifierClient::RegisteredItems() const
{
    const QStringList items =
        WatcherProperty(connection_, QStringLiteral("RegisteredStatusNotifierItems"))
            .toStringList();
    return {items.begin(), items.end()};
}

unsigned StatusNotifierClient::ItemProcess(const QString& item) const
{
    return connection_.interface()->servicePid(AddressOf(item).service).value();
}

QImage StatusNotifierClient::ItemPicture(const QString& item, int size) const
{
    const ItemAddress address = AddressOf(item);
    QDBusMessage get = QDBusMessage::createMethodCall(address.service, address.path, kProperties,
                                                      QStringLiteral("Get"));
    get << kItemInterface << QStringLiteral("IconPixmap");
    const QDBusMessage reply = CallServedHere(connection_, get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    const QDBusArgument pictures =
        reply.arguments().first().value<QDBusVariant>().variant().value<QDBusArgument>();
    QImage found;
    pictures.beginArray();
    while (!pictures.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray bytes;
        pictures.beginStructure();
        pictures >> width >> height >> bytes;
        pictures.endStructure();
        if (width == size && height == size) found = PictureOf(width, height, bytes);
    }
    pictures.endArray();
    return found;
}

bool StatusNotifierClient::Click(const QString& item, const char* method) const
{
    const ItemAddress address = AddressOf(item);
    QDBusMessage call = QDBusMessage::createMethodCall(address.service, address.path,
                                                       kItemInterface, QString::fromUtf8(method));
    call << 0 << 0;
    return CallServedHere(connection_, call).type() == QDBusMessage::ReplyMessage;
}

#include "status_notifier_client.moc"
