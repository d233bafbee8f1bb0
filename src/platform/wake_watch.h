#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace velmio {

// Tells when the machine has woken from suspend: the monotonic clock stands
// still while it sleeps, the wall clock does not.
class WakeWatch : public QObject {
    Q_OBJECT
public:
    explicit WakeWatch(QObject* parent = nullptr);
    void SetActive(bool active);

signals:
    void Woke();

private:
    void Look();

    QTimer timer_;
    QElapsedTimer awake_;
    qint64 wallAtStart_ = 0;
};

}  // namespace velmio
