#include "mail/failure_reaction.h"

#include <QStringList>

#include "core/app_settings.h"
#include "mail/net/mail_connection.h"

namespace velmio {

FailureReaction FailureReactionTo(const SessionOutcome& o) {
    using K = SessionOutcome::Kind;
    switch (o.kind) {
    case K::LoginRefused: return {0, QStringLiteral("ユーザー名かパスワードが違うみたい…"), {}, {}};
    case K::ServerRefused:
        if (o.refusal == SessionOutcome::Refusal::LoginForNow)
            return {4, QStringLiteral("今はログインできないみたい…あとでね"), QStringLiteral("Login Error: ") + o.detail, {}};
        return {o.RefusedAfterLogin() ? 0 : 4, QStringLiteral("エラーみたい…"), {}, {}};
    case K::Unsafe: {
        using U = SessionOutcome::Unsafe;
        const QString line = o.unsafe == U::NoApop             ? QStringLiteral("APOPが使えないサーバーみたい…")
                             : o.unsafe == U::LoginDisabled    ? QStringLiteral("暗号化しないとログインできないサーバーみたい…")
                             : o.unsafe == U::TokenUnencrypted ? QStringLiteral("暗号化しないとトークンは送れないよ…")
                                                               : QStringLiteral("暗号化できないサーバーみたい…");
        return {4, line, o.detail, {}};
    }
    case K::Broken: return {4, QStringLiteral("あれ？チェックに失敗しちゃったぁ"), QStringLiteral("Arrival Error"), {}};
    case K::CertificateUntrusted: {
        QStringList reasons;
        for (const QSslError& e : o.errors) reasons << e.errorString();
        return {4, QStringLiteral("証明書を確かめられなかったよ…"),
                QStringLiteral("Certificate Error: ") + reasons.join(QStringLiteral("; ")), {}};
    }
    case K::Failed: {
        const QString entry = QStringLiteral("Winsock ErrCd:%1 ErrMes:%2").arg(o.socketError).arg(o.detail);
        if (o.socketError == MailConnection::kHostNotFound)
            return {4, QStringLiteral("サーバーが見つからないよぅ"), entry, {}};
        return {4, QStringLiteral("えへへへ。しっぱいしちゃったぁ。"), entry, QStringLiteral("Error: ") + o.detail};
    }
    case K::Finished: break;
    }
    return {};
}

QString FailureWord(const SessionOutcome& o) {
    using K = SessionOutcome::Kind;
    switch (o.kind) {
    case K::LoginRefused: return QStringLiteral("ログインできません");
    case K::Failed: return QStringLiteral("接続できません");
    case K::CertificateUntrusted: return QStringLiteral("証明書エラー");
    default: return QStringLiteral("エラー");
    }
}

FailureReaction KeyringFailure(const QString& reason) {
    return {4, QStringLiteral("キーリングからパスワードを出せなかったよ…"), QStringLiteral("Keyring Error: ") + reason, {}};
}

FailureReaction NoPassword() {
    return {4, QStringLiteral("パスワードが設定されていません"), QStringLiteral("Password Error: none set"), {}};
}

}  // namespace velmio

namespace velmio {

FailureReaction CredentialFailure(const CredentialAnswer& answer, qint16 kind) {
    using K = CredentialAnswer::Kind;
    if (kind != kAuthGoa && kind != kAuthDeviceGrant)
        return answer.kind == K::Unavailable ? KeyringFailure(answer.reason) : NoPassword();
    const QString entry =
        (kind == kAuthGoa ? QStringLiteral("GOA Error: ") : QStringLiteral("Sign-in Error: ")) + answer.reason;
    if (answer.kind == K::SignInAgain) {
        // The user must act: she says where.
        return {4,
                kind == kAuthGoa ? QStringLiteral("GNOMEの設定で、もう一度サインインしてほしいな…")
                                 : QStringLiteral("もう一度サインインしてほしいな…"),
                entry, {}};
    }
    if (!answer.line.isEmpty()) return {4, answer.line, entry, {}};
    return {4,
            kind == kAuthGoa ? QStringLiteral("GNOMEのオンラインアカウントとお話しできないよ…")
                             : QStringLiteral("サインインできなかったよ…"),
            entry, {}};
}

}  // namespace velmio
