#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace velmio {

struct AppState;
struct MailCounters;
class MailShell;
class ResultMessages;

// Pieces of text between single-character delimiters, empty pieces kept.
QStringList SplitString(const QString& text, QChar delimiter);

// Tray tip suffixes behind "MailChecker Velmio".
QString SummaryText(qint16 newCount, qint16 total);
QString ErrorSummaryText(qint16 total);

// Messages on the server according to a complete reply to "List": the second
// word of the first line when it is a number, otherwise the number of scan
// lines. Nothing when the reply gives neither or the count does not fit.
std::optional<qint16> CountFromListReply(const QString& reply);

// The number to report for a new total under the display mode, moving the
// baselines. Nothing when the difference does not fit 16 bits; MailTotal is
// already set then. In the not-yet-told mode, unseen is the count of
// messages never told of; without it (no unique ids) that mode counts as
// the since-last-check one.
std::optional<qint16> ApplyDisplayMode(MailCounters& counters, qint16 mode, qint16 total,
                                       std::optional<qint16> unseen = std::nullopt);
std::optional<qint16> ApplyDisplayMode(AppState& state, qint16 total, std::optional<qint16> unseen = std::nullopt);

// The count step of a check: from the reply to "List" to the tray tip and
// the character's reaction.
class MailCount {
public:
    MailCount(AppState& state, MailShell& shell, ResultMessages& results)
        : state_(state), shell_(shell), results_(results) {}

    // The number reported.
    qint16 ReportMailCount(const QString& reply, std::optional<qint16> unseen = std::nullopt);
    // The same from an unread count (nothing: the server gave none).
    qint16 ReportUnread(std::optional<qint64> unread, std::optional<qint16> unseen = std::nullopt);
    // Never fails: an unreadable count shows a message and gives 0.
    qint16 GetMailCount(const QString& reply, std::optional<qint16> unseen = std::nullopt);

    // One account's count through the display mode, on its own counters,
    // without a reaction: the number to report.
    qint16 Tally(MailCounters& counters, const QString& listReply, std::optional<qint64> unread,
                 std::optional<qint16> unseen);
    // Whether an unreadable count is told in a box (else only the count is 0).
    void SetBoxes(bool boxes) { boxes_ = boxes; }
    // The tray tip and the reaction to n of total; logged unless told not to.
    qint16 React(qint16 n, qint16 total, bool logged = true);

private:
    qint16 Counted(MailCounters& counters, std::optional<qint16> total, std::optional<qint16> unseen);

    AppState& state_;
    MailShell& shell_;
    ResultMessages& results_;
    bool boxes_ = true;
};

}  // namespace velmio
