#include "mail/mail_check.h"

#include <QMessageBox>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "core/app_state.h"
#include "mail/certificate_question.h"
#include "mail/mail_header.h"
#include "mail/mail_shell.h"
#include "mail/imap_session.h"
#include "mail/mail_connection.h"
#include "mail/pop3_session.h"
#include "mail/reported_ids.h"
#include "platform/clock.h"
#include "platform/cp932.h"
#include "platform/password_keyring.h"

namespace velmio {
namespace {

const QString kNoEncryptionLine = QStringLiteral("暗号化できないサーバーみたい…");
const QString kNoApopLine = QStringLiteral("APOPが使えないサーバーみたい…");
const QString kCertificateLine = QStringLiteral("証明書を確かめられなかったよ…");
const QString kKeyringLine = QStringLiteral("キーリングからパスワードを出せなかったよ…");
const QString kLoginDisabledLine = QStringLiteral("暗号化しないとログインできないサーバーみたい…");
// Senders told by name; the rest are counted.
constexpr int kSendersTold = 3;

// "山田 太郎さん「会議の件」", cut to stay readable in the balloon.
QString SenderLine(const MailHeader& h) {
    const QString line = Elide(h.from, 16) + QStringLiteral("さん");
    return h.subject.isEmpty() ? line : line + QStringLiteral("「") + Elide(h.subject, 24) + QStringLiteral("」");
}

}  // namespace

MailCheck::MailCheck(AppState& state, MailShell& shell, Clock& clock, QObject* parent)
    : QObject(parent),
      state_(state),
      shell_(shell),
      pop3_(std::make_unique<Pop3Session>()),
      imap_(std::make_unique<ImapSession>()),
      session_(pop3_.get()),
      log_(state, clock),
      draw_(clock),
      results_(state, shell, draw_, log_),
      count_(state, shell, results_) {
    for (MailSession* m : {pop3_.get(), imap_.get()}) {
        connect(m, &MailSession::Counted, this, &MailCheck::HandleCounted);
        connect(m, &MailSession::HeadersFetched, this, &MailCheck::HandleHeaders);
        connect(m, &MailSession::LoginRefused, this, &MailCheck::RejectedLogin);
        connect(m, &MailSession::ServerRefused, this, &MailCheck::HandleRefusal);
        connect(m, &MailSession::EndedUnsafe, this, &MailCheck::HandleUnsafe);
        connect(m, &MailSession::Failed, this, &MailCheck::HandleSocketError);
        connect(m, &MailSession::Broken, this, &MailCheck::FailedWhileHandling);
        connect(m, &MailSession::CertificateUntrusted, this, &MailCheck::HandleUntrustedCertificate);
        connect(m, &MailSession::Finished, this, &MailCheck::HandleFinished);
    }
}

MailCheck::~MailCheck() = default;

bool MailCheck::SessionOpen() const { return session_->IsOpen(); }

int MailCheck::PopState() const { return session_->Step(); }

void MailCheck::SetReplyTimeout(int ms) {
    for (MailSession* m : {pop3_.get(), imap_.get()}) m->SetReplyTimeout(ms);
}

void MailCheck::SetTrustStore(const QList<QSslCertificate>& authorities) {
    for (MailSession* m : {pop3_.get(), imap_.get()}) m->SetTrustStore(authorities);
}

void MailCheck::ExecuteMailCheck() {
    // The certificate question decides what the running check does next;
    // a second check would only ask it again.
    if (asking_) return;
    // A check waiting for the keyring gets its password first.
    if (readingKeyring_) return;
    ++checks_;
    const bool abandoned = running_;
    running_ = true;
    session_->Abort();  // without a word to the server
    const AppSettings& s = state_.settings;
    if (s.LoginPass.isEmpty() && s.PasswordUnread && keyring_) {
        StartWaiting();
        if (!ReadKeyring()) return;
    }
    if (s.LoginPass.isEmpty()) {
        running_ = false;
        // The abandoned check can no longer give back the menu item and
        // the timer; nothing else would.
        if (abandoned) {
            shell_.SetMailCheckEnabled(true);
            shell_.SetTimerEnabled(s.AutoCheck);
        }
        shell_.SetWindowsTopMost(0);
        shell_.ShowMsg(QStringLiteral("Passwordが設定されていません"), 16);
        shell_.OpenSettingsDialog();
        RestoreTopMost();
        return;
    }
    if (!waiting_) StartWaiting();
    waiting_ = false;
    Connect();
}

void MailCheck::StartWaiting() {
    waiting_ = true;
    shell_.SetTimerEnabled(false);
    shell_.PlayEventSound(1);
    shell_.ShowPicture(1);
    shell_.SayText(QStringLiteral("ちょっと待ってね…"));
    shell_.SetMailCheckEnabled(false);
}

bool MailCheck::ReadKeyring() {
    AppSettings& s = state_.settings;
    readingKeyring_ = true;
    const KeyringRead read = keyring_->Read(KeyringAccount(s.LoginName, s.Server), KeyringWait::ForUnlock);
    readingKeyring_ = false;
    if (read.answer == KeyringAnswer::Found || read.answer == KeyringAnswer::Missing) {
        s.LoginPass = read.password;
        s.PasswordUnread = false;
        if (read.answer == KeyringAnswer::Found) return true;
        // Truly none: the no-password box follows, with the menu item back.
        waiting_ = false;
        shell_.SetMailCheckEnabled(true);
        shell_.SetTimerEnabled(s.AutoCheck);
        return true;
    }
    // The password is there but was not given: a failed check, never the
    // no-password box; it is asked for again next time.
    waiting_ = false;
    EndBeforeLogin(kKeyringLine, QStringLiteral("Keyring Error: ") + read.reason);
    emit SessionEnded();
    return false;
}

void MailCheck::Connect() {
    reported_ = 0;
    const AppSettings& s = state_.settings;
    const Account account = AccountOf(s);
    session_ = account.protocol == Account::Protocol::Imap ? imap_.get() : pop3_.get();
    session_->Start(account, s.DispDiff == kNotYetTold);
}

void MailCheck::Ended() {
    running_ = false;
    shell_.SetTimerEnabled(state_.settings.AutoCheck);
}

void MailCheck::HandleCounted(const MailboxCount& c) {
    const quint64 check = checks_;
    if (!c.ids) {
        // No unique ids: the not-yet-told mode counts as since the last check.
        const qint16 n = Report(c, std::nullopt);
        if (check == checks_) AfterCount(n, {});  // else replaced during a message box
        return;
    }
    const AppSettings& s = state_.settings;
    const ReportedIds store(state_.paths.LogDir(), s.Server, static_cast<quint16>(s.Port), s.LoginName);
    const QSet<QString> told = store.Load();
    QList<int> fresh;
    QStringList onServer;
    for (const auto& [key, id] : *c.ids) {
        onServer << id;
        if (!told.contains(id)) fresh << key;
    }
    std::sort(fresh.begin(), fresh.end(), std::greater<int>());  // newest first
    const qint16 n = Report(c, static_cast<qint16>(qMin<qsizetype>(fresh.size(), 32767)));
    if (check != checks_) return;
    if (!store.Save(onServer))
        std::fprintf(stderr, "velmio: could not keep the told messages in %s\n", qPrintable(store.path()));
    AfterCount(n, fresh);
}

qint16 MailCheck::Report(const MailboxCount& c, std::optional<qint16> unseen) {
    return c.unread ? count_.ReportUnread(c.unread, unseen) : count_.ReportMailCount(c.listReply, unseen);
}

void MailCheck::AfterCount(qint16 reported, const QList<int>& among) {
    reported_ = reported;
    if (reported > 0 && state_.settings.ShowSender) {
        session_->FetchHeaders(qMin<int>(reported, kSendersTold), among);
        return;
    }
    if (reported > 0) shell_.TellSenders({});
    session_->Finish();
}

void MailCheck::HandleHeaders(const QList<QByteArray>& headers) {
    QStringList lines;
    for (const QByteArray& h : headers) lines << SenderLine(ParseMailHeader(h));
    const int more = reported_ - int(lines.size());
    if (!lines.isEmpty() && more > 0) lines << QStringLiteral("ほか %1通").arg(more);
    shell_.TellSenders(lines);
}

void MailCheck::HandleFinished() {
    Ended();
    shell_.SetMailCheckEnabled(true);
    emit SessionEnded();
}

void MailCheck::RejectedLogin() {
    shell_.ShowPicture(0);
    shell_.PlayEventSound(5);
    shell_.SayText(QStringLiteral("ユーザー名かパスワードが違うみたい…"));
    Ended();
    shell_.SetMailCheckEnabled(true);
    emit SessionEnded();
}

void MailCheck::HandleRefusal(MailSession::Refusal where) {
    if (where == MailSession::Refusal::Early) {
        shell_.ShowPicture(4);
        shell_.PlayEventSound(5);
        shell_.SayText(QStringLiteral("エラーみたい…"));
        Ended();
        shell_.SetMailCheckEnabled(true);
        emit SessionEnded();
        return;
    }
    shell_.ShowPicture(0);
    shell_.UpdateTrayIcon(ErrorSummaryText(state_.MailTotal), 0);
    const bool answeredLogout = where == MailSession::Refusal::Logout;
    if (answeredLogout) results_.NoMailReaction();
    Ended();
    shell_.SetMailCheckEnabled(true);
    // "ちょっと待ってね…" must not stay standing when the count was refused.
    if (!answeredLogout) {
        shell_.PlayEventSound(5);
        shell_.SayText(QStringLiteral("エラーみたい…"));
    }
    emit SessionEnded();
}

void MailCheck::HandleUnsafe(MailSession::Unsafe why, const QString& logEntry) {
    switch (why) {
    case MailSession::Unsafe::NoEncryption: EndBeforeLogin(kNoEncryptionLine, logEntry); break;
    case MailSession::Unsafe::NoApop: EndBeforeLogin(kNoApopLine, logEntry); break;
    case MailSession::Unsafe::LoginDisabled: EndBeforeLogin(kLoginDisabledLine, logEntry); break;
    }
    emit SessionEnded();
}

void MailCheck::FailedWhileHandling() {
    shell_.ShowPicture(4);
    shell_.PlayEventSound(5);
    shell_.SayText(QStringLiteral("あれ？チェックに失敗しちゃったぁ"));
    log_.WriteLog(QStringLiteral("Arrival Error"));
    shell_.SetMailCheckEnabled(true);
    Ended();
    emit SessionEnded();
}

void MailCheck::EndBeforeLogin(const QString& said, const QString& logEntry) {
    shell_.ShowPicture(4);
    shell_.PlayEventSound(5);
    shell_.SayText(said);
    log_.WriteLog(logEntry);
    Ended();
    shell_.SetMailCheckEnabled(true);
}

void MailCheck::HandleUntrustedCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors) {
    const quint64 check = checks_;
    AppSettings& s = state_.settings;
    CertificateQuestion question(s.Server, static_cast<quint16>(s.Port), certificate, errors, !s.CertPin.isEmpty());
    asking_ = true;
    shell_.ShowQuestionModal(question.box());
    asking_ = false;
    if (check != checks_) return;
    if (question.Trusted()) {
        TrustCertificate(s, QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex()));
        shell_.StoreCertPin();
        // The server did not wait for the answer: start once more, now
        // with the pin. The question's end gave the timer back.
        shell_.SetTimerEnabled(false);
        Connect();
        return;
    }
    QStringList reasons;
    for (const QSslError& e : errors) reasons << e.errorString();
    EndBeforeLogin(kCertificateLine, QStringLiteral("Certificate Error: ") + reasons.join(QStringLiteral("; ")));
    emit SessionEnded();
}

void MailCheck::RestoreTopMost() { shell_.SetWindowsTopMost(shell_.AlwaysActiveMarked() ? 1 : 0); }

void MailCheck::HandleSocketError(int number, const QString& description) {
    const quint64 check = checks_;
    QString said = QStringLiteral("Error: ") + description;
    shell_.SetWindowsTopMost(0);
    shell_.SetBalloonVisible(false);
    if (number == MailConnection::kHostNotFound) {
        said = QStringLiteral("サーバーが見つからないよぅ");
    } else {
        // Sound 5 follows below; the box itself stays silent.
        shell_.ShowMessageBox(QStringLiteral("Error: ") + description, 16);
        said = QStringLiteral("えへへへ。しっぱいしちゃったぁ。");
    }
    const QString entry = QStringLiteral("Winsock ErrCd:%1 ErrMes:%2").arg(number).arg(description);
    RestoreTopMost();
    shell_.SetBalloonVisible(true);
    if (check != checks_) {
        // A new check started while the message box was open; it owns the
        // character now. The error still belongs in the log.
        log_.WriteLog(entry);
        return;
    }
    shell_.SetMailCheckEnabled(true);
    shell_.PlayEventSound(5);
    shell_.ShowPicture(4);
    log_.WriteLog(entry);
    shell_.SayText(said);
    Ended();
    emit SessionEnded();
}

}  // namespace velmio
