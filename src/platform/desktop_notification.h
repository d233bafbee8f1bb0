#pragma once

#include <QObject>
#include <QString>

namespace velmio {

// One notification at a time on the desktop's notification service
// (org.freedesktop.Notifications over D-Bus); each replaces the last.
class DesktopNotification : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotification(QObject* parent = nullptr) : QObject(parent) {}
    // Without a running service nothing is sent, at once. Never waits for
    // the service's answer.
    void Show(const QString& summary, const QString& body, const QString& iconPath);

private:
    uint lastId_ = 0;
};

}  // namespace velmio
