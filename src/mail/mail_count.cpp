#include "mail/mail_count.h"

#include <QRegularExpression>
#include <limits>

#include "core/app_state.h"
#include "core/value_conversion.h"
#include "mail/mail_shell.h"
#include "mail/result_messages.h"

namespace velmio {
namespace {

std::optional<qint16> Fit16(int v) {
    if (v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(v);
}

// "msg-number SP size", possibly followed by more.
bool IsScanLine(const QString& line) {
    qsizetype i = 0;
    const auto digitsFrom = [&line, &i] {
        const qsizetype start = i;
        while (i < line.size() && line[i].isDigit() && line[i].unicode() < 128) ++i;
        return i > start;
    };
    if (!digitsFrom() || i >= line.size() || line[i] != QLatin1Char(' ')) return false;
    ++i;
    return digitsFrom() && (i == line.size() || line[i] == QLatin1Char(' '));
}

}  // namespace

QStringList SplitString(const QString& text, QChar delimiter) {
    return text.split(delimiter, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QString SummaryText(qint16 newCount, qint16 total) {
    return QStringLiteral("　新着 %1件/全 %2件").arg(newCount).arg(total);
}

QString ErrorSummaryText(qint16 total) {
    return QStringLiteral("　新着 0件/全: %1件").arg(total);
}

std::optional<qint16> CountFromListReply(const QString& reply) {
    QStringList lines = reply.split(QLatin1Char('\n'));
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
    // Whatever follows the terminating "." is not part of the listing.
    const qsizetype end = lines.indexOf(QStringLiteral("."), 1);
    if (end >= 0) lines.resize(end);
    while (lines.size() > 1 && lines.last().isEmpty()) lines.removeLast();

    const QStringList words = SplitString(lines.value(0), QLatin1Char(' '));
    const QString second = words.value(1);
    static const QRegularExpression digits(QStringLiteral("^\\s*[+-]?\\d"));
    if (digits.match(second).hasMatch()) {
        // A number: the count, unless it is no count at all.
        const auto n = ToInt16(second);
        if (!n || *n < 0) return std::nullopt;
        return n;
    }
    // No count on the first line (RFC 1939 asks for none): count the scan lines.
    int count = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!IsScanLine(lines[i])) return std::nullopt;
        ++count;
    }
    return Fit16(count);
}

std::optional<qint16> ApplyDisplayMode(AppState& state, qint16 total, std::optional<qint16> unseen) {
    return ApplyDisplayMode(state, state.settings.DispDiff, total, unseen);
}

std::optional<qint16> ApplyDisplayMode(MailCounters& state, qint16 mode, qint16 total, std::optional<qint16> unseen) {
    state.MailTotal = total;
    if (mode == kNotYetTold && unseen) {
        state.LastCheckMail = total;
        return unseen;
    }
    switch (mode == kNotYetTold ? qint16(1) : mode) {
    case 1: {
        if (state.LastCheckMail == total) return qint16(0);
        const auto d = Fit16(int(total) - int(state.LastCheckMail));
        if (!d) return std::nullopt;
        if (*d > 0) {
            state.LastCheckMail = total;
            return d;
        }
        // Mail was taken off the server: everything there next time is new.
        state.LastCheckMail = 0;
        return qint16(0);
    }
    case 2: {
        const auto d = Fit16(int(total) - int(state.StartMail));
        if (!d) return std::nullopt;
        // The since-last-check baseline follows the server, so switching to
        // that mode later compares totals with totals.
        state.LastCheckMail = total;
        if (*d >= 0) return d;
        if (state.StartMail > 0) state.StartMail = 0;
        return qint16(0);
    }
    default:
        return total;
    }
}

qint16 MailCount::GetMailCount(const QString& reply, std::optional<qint16> unseen) {
    return Counted(state_, CountFromListReply(reply), unseen);
}

qint16 MailCount::Counted(MailCounters& counters, std::optional<qint16> total, std::optional<qint16> unseen) {
    const auto result = total ? ApplyDisplayMode(counters, state_.settings.DispDiff, *total, unseen) : std::nullopt;
    if (!result) {
        if (boxes_) shell_.ShowMsg(QStringLiteral("Error: 着信件数が取得できませんでした"), 16);
        return 0;
    }
    return *result;
}

qint16 MailCount::Tally(MailCounters& counters, const QString& listReply, std::optional<qint64> unread,
                        std::optional<qint16> unseen) {
    if (!unread) return listReply.contains(QLatin1String("err")) ? qint16(0) : Counted(counters, CountFromListReply(listReply), unseen);
    // An inbox of more unread mail than the counters hold is counted as full.
    const auto held = *unread >= 0
                          ? std::optional<qint16>(qint16(qMin<qint64>(*unread, std::numeric_limits<qint16>::max())))
                          : std::nullopt;
    return Counted(counters, held, unseen);
}

qint16 MailCount::ReportMailCount(const QString& reply, std::optional<qint16> unseen) {
    const qint16 n = Tally(state_, reply, std::nullopt, unseen);
    return React(n, state_.MailTotal);
}

qint16 MailCount::ReportUnread(std::optional<qint64> unread, std::optional<qint16> unseen) {
    const qint16 n = unread ? Tally(state_, QString(), unread, unseen) : Counted(state_, std::nullopt, unseen);
    return React(n, state_.MailTotal);
}

qint16 MailCount::React(qint16 n, qint16 total, bool logged) {
    shell_.UpdateTrayIcon(SummaryText(n, total), n);
    if (n == 0) {
        results_.NoMailReaction(logged);
    } else {
        results_.ExistMailReaction(n, logged);
    }
    shell_.SetMailCheckEnabled(true);
    return n;
}

}  // namespace velmio
