#include "mail/check_log.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <cstdio>

#include "core/app_state.h"
#include "platform/clock.h"
#include "platform/cp932.h"

namespace velmio {
namespace {

void Dropped(const QString& path, const QString& why) {
    std::fprintf(stderr, "velmio: check log entry dropped: %s: %s\n",
                 qPrintable(path), qPrintable(why));
}

// The header line without its line end; empty when the file has none or
// cannot be read, which starts the file afresh.
QString Header(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    QByteArray line = file.readLine(256);
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    return DecodeCp932(line);
}

}  // namespace

QString CheckLog::DateText(const QDate& date) { return date.toString(QStringLiteral("yyyy/MM/dd")); }

QString CheckLog::TimeText(const QTime& time) { return time.toString(QStringLiteral("H:mm:ss")); }

QString CheckLog::FileName(const QDate& date) {
    static const char* const kDays[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    return QLatin1String(kDays[date.dayOfWeek() - 1]) + QStringLiteral(".log");
}

void CheckLog::WriteLog(const QString& text) const {
    if (!state_.settings.LogMode) return;
    // Header date and entry time come from one reading of the clock.
    const QDateTime now = clock_.now();
    const QString today = DateText(now.date());
    const QString path = state_.paths.LogFile(FileName(now.date()));
    const QByteArray entry = EncodeCp932(TimeText(now.time()) + QStringLiteral(": ") + text) + "\r\n";

    // The whole header is compared, so any date form starts a file once a day.
    if (QFile::exists(path) && Header(path) == today) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(entry) != entry.size() ||
            !file.flush()) {
            Dropped(path, file.errorString());
        }
        return;
    }
    // Last week's file, or none: start afresh. The old file stays whole when
    // the new one cannot be written.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        Dropped(path, file.errorString());
        return;
    }
    file.write(EncodeCp932(today) + "\r\n" + entry);
    if (!file.commit()) Dropped(path, file.errorString());
}

}  // namespace velmio
