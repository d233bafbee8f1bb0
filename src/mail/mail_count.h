#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace velmio {

struct AppState;
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
// already set then.
std::optional<qint16> ApplyDisplayMode(AppState& state, qint16 total);

// The count step of a check: from the reply to "List" to the tray tip and
// the character's reaction.
class MailCount {
public:
    MailCount(AppState& state, MailShell& shell, ResultMessages& results)
        : state_(state), shell_(shell), results_(results) {}

    void ReportMailCount(const QString& reply);
    // Never fails: an unreadable count shows a message and gives 0.
    qint16 GetMailCount(const QString& reply);

private:
    AppState& state_;
    MailShell& shell_;
    ResultMessages& results_;
};

}  // namespace velmio
