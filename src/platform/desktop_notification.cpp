#include "platform/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace velmio {
namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
}  // namespace

DesktopNotification::DesktopNotification(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(OnActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this, SLOT(OnClosed(uint, uint)));
}

void DesktopNotification::Show(const QString& summary, const QString& body, const QString& iconPath,
                               const QList<Action>& actions) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kService)) return;
    if (actions.isEmpty()) {
        Notify(summary, body, iconPath, {});
        return;
    }
    // A service that cannot show buttons would drop them or show them as
    // text: ask first.
    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, summary, body, iconPath, actions](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QStringList> reply = *w;
        QStringList flat;
        if (!reply.isError() && reply.value().contains(QLatin1String("actions")))
            for (const Action& a : actions) flat << a.first << a.second;
        Notify(summary, body, iconPath, flat);
        w->deleteLater();
    });
}

void DesktopNotification::Notify(const QString& summary, const QString& body, const QString& iconPath,
                                 const QStringList& actions) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("Velmio Check") << lastId_ << iconPath << summary << body << actions << QVariantMap()
         << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (!reply.isError()) lastId_ = reply.value();
        w->deleteLater();
    });
}

// Every client's notifications share the signals: only ours count.
void DesktopNotification::OnActionInvoked(uint id, const QString& key) {
    if (id != 0 && id == lastId_) emit ActionInvoked(key);
}

void DesktopNotification::OnClosed(uint id, uint /*reason*/) {
    if (id != 0 && id == lastId_) lastId_ = 0;
}

}  // namespace velmio
