#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace velmio::test {

// Stands in for the desktop's notification service on the tests' bus, on a
// connection of its own, as another process would be. Registered while it
// lives (check registered()).
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit FakeNotifications(QStringList caps = {"body"})
        : capabilities(std::move(caps)),
          bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-notifications"))) {
        registered_ = bus_.registerObject("/org/freedesktop/Notifications", this,
                                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
                      bus_.registerService("org.freedesktop.Notifications");
    }
    ~FakeNotifications() override {
        bus_.unregisterService("org.freedesktop.Notifications");
        bus_.unregisterObject("/org/freedesktop/Notifications");
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
    }
    bool registered() const { return registered_; }
    // As a click on a button of notification id.
    void Click(uint id, const QString& key) { emit ActionInvoked(id, key); }
    uint lastId() const { return 41 + uint(calls.size()); }

    QStringList capabilities;
    QStringList calls;    // "app|replaces|icon or no icon|summary|body"
    QStringList actions;  // of the last notification: key, label, key, label...

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
    void NotificationClosed(uint id, uint reason);

private:
    bool registered_ = false;
    QDBusConnection bus_;
};

}  // namespace velmio::test
