#pragma once

#include <QDateTime>

namespace velmio {

// The local clock, replaceable so that tests can set the hour and the day.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 7), QTime(12, 0)))
        : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    void set(const QDateTime& t) { now_ = t; }
    void advanceSecs(qint64 s) { now_ = now_.addSecs(s); }

private:
    QDateTime now_;
};

}  // namespace velmio
