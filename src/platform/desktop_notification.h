#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <utility>

namespace velmio {

// One notification at a time on the desktop's notification service
// (org.freedesktop.Notifications over D-Bus); each replaces the last.
class DesktopNotification : public QObject {
    Q_OBJECT
public:
    // An action's key, which comes back when it is invoked, and its label.
    using Action = std::pair<QString, QString>;

    explicit DesktopNotification(QObject* parent = nullptr);
    // Without a running service nothing is sent, at once. Never waits for
    // the service's answer. The actions go along only where the service
    // says it shows them.
    void Show(const QString& summary, const QString& body, const QString& iconPath,
              const QList<Action>& actions = {});

signals:
    // An action of the notification shown last was invoked.
    void ActionInvoked(const QString& key);

private slots:
    void OnActionInvoked(uint id, const QString& key);
    void OnClosed(uint id, uint reason);

private:
    void Notify(const QString& summary, const QString& body, const QString& iconPath, const QStringList& actions);

    uint lastId_ = 0;
};

}  // namespace velmio
