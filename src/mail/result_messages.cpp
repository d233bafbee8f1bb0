#include "mail/result_messages.h"

#include <stdexcept>

#include "character/reaction_draw.h"
#include "core/app_state.h"
#include "mail/check_log.h"
#include "mail/mail_shell.h"

namespace velmio {

QString ComposeReactionText(EventKind kind, qint16 align, const QString& msg,
                            const QString& nickName, qint16 count) {
    const bool withCount = kind == EventKind::ExistMail;
    // A number is written with its sign position: a space unless negative.
    const QString c = withCount ? (count < 0 ? QString::number(count)
                                             : QStringLiteral(" ") + QString::number(count))
                                : QString();
    switch (align) {
    case 0:
        return c + msg;
    case 1:
        return withCount ? nickName + QStringLiteral("に、メールは ") + c + msg
                         : nickName + QStringLiteral("に、") + msg;
    case 2:
        return c + msg + nickName;
    default:
        return QString();
    }
}

const Reaction& ResultMessages::Drawn(EventKind kind) {
    const QVector<Reaction>& variants = state_.reactions.of(kind);
    const int k = draw_.Draw(static_cast<int>(variants.size()));
    if (k < 1 || k > variants.size())
        throw std::out_of_range("reaction table has no variant to draw");
    return variants[k - 1];
}

void ResultMessages::NoMailReaction(bool logged) {
    const Reaction& r = Drawn(EventKind::NoMail);
    const AppSettings& s = state_.settings;
    if (s.PlayWave && !r.Wave.isEmpty()) shell_.PlaySoundFile(r.Wave);
    shell_.ShowPicture(r.CG);
    shell_.SayText(ComposeReactionText(EventKind::NoMail, r.Align, r.Msg, s.NickName));
    if (logged) log_.WriteLog(QStringLiteral("No Mail"));
}

void ResultMessages::ExistMailReaction(qint16 count, bool logged) {
    const Reaction& r = Drawn(EventKind::ExistMail);
    const AppSettings& s = state_.settings;
    const QString text = ComposeReactionText(EventKind::ExistMail, r.Align, r.Msg, s.NickName, count);
    if (count <= kManyMails) {
        shell_.ShowPicture(r.CG);
        if (!r.Wave.isEmpty() && s.PlayWave) shell_.PlaySoundFile(r.Wave);
        shell_.SayText(text);
    } else {
        shell_.ShowPicture(2);
        shell_.PlayEventSound(4);
        shell_.SayText(QStringLiteral("メールいっぱいきてるよ。すごいね。びっくりだね。"));
    }
    if (logged) log_.WriteLog(QString::number(count) + QStringLiteral("件"));
}

}  // namespace velmio
