#pragma once

#include <QDateTime>
#include <QString>

namespace velmio {

struct AppState;
class Clock;

// The weekday log of check outcomes beside the program: Sun.log to Sat.log,
// a header line with the date the file was started, then "H:mm:ss: text"
// lines; code page 932 with CR LF.
class CheckLog {
public:
    CheckLog(const AppState& state, const Clock& clock) : state_(state), clock_(clock) {}

    // Appends one entry when LogMode is on. Never fails its caller: an entry
    // that cannot be written is dropped with one line to standard error.
    void WriteLog(const QString& text) const;

    static QString DateText(const QDate& date);
    static QString TimeText(const QTime& time);
    static QString FileName(const QDate& date);

private:
    const AppState& state_;
    const Clock& clock_;
};

}  // namespace velmio
