#pragma once

#include <QString>

#include "core/reaction_table.h"

namespace velmio {

struct AppState;
class CheckLog;
class MailShell;
class ReactionDraw;

// The balloon line of a reaction: the message with the nickname placed by
// align, and for new mail the count with its sign position (" 3").
QString ComposeReactionText(EventKind kind, qint16 align, const QString& msg,
                            const QString& nickName, qint16 count = 0);

// The character's reaction to a finished count, drawn from the reaction table.
class ResultMessages {
public:
    ResultMessages(const AppState& state, MailShell& shell, ReactionDraw& draw, const CheckLog& log)
        : state_(state), shell_(shell), draw_(draw), log_(log) {}

    // Both throw std::out_of_range when the kind has no variant to draw; the
    // mail check turns that into its failed-check reaction.
    // Unlogged when the check logs each account's part itself.
    void NoMailReaction(bool logged = true);
    void ExistMailReaction(qint16 count, bool logged = true);

    // More than this many new mails get the fixed surprised reaction.
    static constexpr qint16 kManyMails = 100;

private:
    const Reaction& Drawn(EventKind kind);

    const AppState& state_;
    MailShell& shell_;
    ReactionDraw& draw_;
    const CheckLog& log_;
};

}  // namespace velmio
