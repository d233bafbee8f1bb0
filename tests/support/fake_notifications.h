#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace velmio::test {

// Stands in for the desktop's notification service on the tests' bus, on a
// connection of its own as another process would be, while it lives.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit FakeNotifications(QStringList caps = {"body"}) : capabilities(std::move(caps)) {
        registered = bus_.registerObject("/org/freedesktop/Notifications", this,
                                         QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
                     bus_.registerService("org.freedesktop.Notifications");
    }
    ~FakeNotifications() override { QDBusConnection::disconnectFromBus(bus_.name()); }
    uint lastId() const { return 41 + uint(calls.size()); }

    bool registered = false;
    QStringList capabilities;
    QStringList calls;    // "app|replaces|icon or no icon|summary|body"
    QStringList actions;  // of the last one: key, label, key, label...

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList& actionList, const QVariantMap&, int) {
        calls << QStringLiteral("%1|%2|%3|%4|%5").arg(app).arg(replaces).arg(icon.isEmpty() ? "no icon" : "icon").arg(summary, body);
        actions = actionList;
        return lastId();
    }

signals:
    void ActionInvoked(uint id, const QString& key);

private:
    QDBusConnection bus_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-notifications");
};

}  // namespace velmio::test
