#include "platform/wake_watch.h"

#include <QDateTime>

namespace velmio {
namespace {
constexpr int kLookMs = 15000;
// More sleep than any busy machine's delay.
constexpr qint64 kSleptMs = 20000;
}  // namespace

WakeWatch::WakeWatch(QObject* parent) : QObject(parent) {
    timer_.setInterval(kLookMs);
    timer_.setTimerType(Qt::VeryCoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &WakeWatch::Look);
}

void WakeWatch::SetActive(bool active) {
    if (active == timer_.isActive()) return;
    if (!active) {
        timer_.stop();
        return;
    }
    awake_.start();
    wallAtStart_ = QDateTime::currentMSecsSinceEpoch();
    timer_.start();
}

void WakeWatch::Look() {
    const qint64 slept = (QDateTime::currentMSecsSinceEpoch() - wallAtStart_) - awake_.elapsed();
    awake_.start();
    wallAtStart_ = QDateTime::currentMSecsSinceEpoch();
    if (slept > kSleptMs) emit Woke();
}

}  // namespace velmio
