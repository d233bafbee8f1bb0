#include "mail/mail_check.h"

#include <QMessageBox>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include "core/app_state.h"
#include "mail/apop.h"
#include "mail/certificate_question.h"
#include "mail/mail_header.h"
#include "mail/mail_shell.h"
#include "mail/mail_connection.h"
#include "mail/pop3_reply_buffer.h"
#include "mail/reported_ids.h"
#include "platform/clock.h"
#include "platform/cp932.h"
#include "platform/password_keyring.h"

namespace velmio {
namespace {

bool Has(const QString& text, const char* marker) { return text.contains(QLatin1String(marker)); }

// Security: 0 plain, 1 STARTTLS, anything else TLS from the first byte, so
// an odd value never means less protection.
bool WantsStls(const AppSettings& s) { return s.Security == 1; }
bool WantsTls(const AppSettings& s) { return s.Security != 0 && s.Security != 1; }

const QString kNoEncryptionLine = QStringLiteral("暗号化できないサーバーみたい…");
const QString kNoApopLine = QStringLiteral("APOPが使えないサーバーみたい…");
const QString kCertificateLine = QStringLiteral("証明書を確かめられなかったよ…");
// Senders told by name; the rest are counted.
constexpr int kSendersTold = 3;

// The newest n of total messages: the highest numbers, newest first.
QList<int> HighestNumbers(int total, int n) {
    QList<int> numbers;
    for (int k = total; k > 0 && k > total - n && numbers.size() < kSendersTold; --k) numbers << k;
    return numbers;
}

// "山田 太郎さん「会議の件」", cut to stay readable in the balloon.
QString SenderLine(const MailHeader& h) {
    const QString line = Elide(h.from, 16) + QStringLiteral("さん");
    return h.subject.isEmpty() ? line : line + QStringLiteral("「") + Elide(h.subject, 24) + QStringLiteral("」");
}

// The lines of a "+OK" listing between its status line and its "." line,
// with the dot-stuffing undone.
QByteArray ListingBody(const QByteArray& reply) {
    QByteArray body;
    const QList<QByteArray> lines = reply.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line == "." || line == ".\r") break;
        if (line.startsWith("..")) line.remove(0, 1);
        body += line + '\n';
    }
    return body;
}

const QString kKeyringLine = QStringLiteral("キーリングからパスワードを出せなかったよ…");

}  // namespace

MailCheck::MailCheck(AppState& state, MailShell& shell, Clock& clock, QObject* parent)
    : QObject(parent),
      state_(state),
      shell_(shell),
      connection_(std::make_unique<MailConnection>()),
      framer_(new Pop3ReplyBuffer),
      log_(state, clock),
      draw_(clock),
      results_(state, shell, draw_, log_),
      count_(state, shell, results_) {
    connection_->SetFramer(std::unique_ptr<ReplyFramer>(framer_));
    connect(connection_.get(), &MailConnection::ReplyArrived, this, &MailCheck::HandleReply);
    connect(connection_.get(), &MailConnection::Failed, this, &MailCheck::HandleSocketError);
    connect(connection_.get(), &MailConnection::Encrypted, this, &MailCheck::HandleEncrypted);
    connect(connection_.get(), &MailConnection::CertificateRejected, this, &MailCheck::HandleUntrustedCertificate);
    // Endless data is a reply that cannot be handled.
    connect(connection_.get(), &MailConnection::ReplyOverlong, this, [this] {
        if (extra_ == Extra::Top) {
            EndAfterCount();  // the count stands
        } else {
            FailedWhileHandling();
        }
        emit SessionEnded();
    });
}

MailCheck::~MailCheck() = default;

bool MailCheck::SessionOpen() const { return connection_->IsOpen(); }

void MailCheck::SetReplyTimeout(int ms) { connection_->SetReplyTimeout(ms); }

void MailCheck::SetTrustStore(const QList<QSslCertificate>& authorities) { connection_->SetTrustStore(authorities); }

void MailCheck::ExecuteMailCheck() {
    // The certificate question decides what the running check does next;
    // a second check would only ask it again.
    if (asking_) return;
    // A check waiting for the keyring gets its password first.
    if (readingKeyring_) return;
    popState_ = 0;
    ++session_;
    const bool abandoned = connection_->IsOpen();
    connection_->Close();  // without "quit"
    const AppSettings& s = state_.settings;
    if (s.LoginPass.isEmpty() && state_.PasswordUnread && keyring_) {
        StartWaiting();
        if (!ReadKeyring()) return;
    }
    if (s.LoginPass.isEmpty()) {
        // The abandoned session can no longer give back the menu item and
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
    PopConnect();
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
        state_.PasswordUnread = false;
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

void MailCheck::PopConnect() {
    // Port is held in 16 signed bits; read them as the unsigned port number,
    // so ports above 32767 stay reachable.
    const AppSettings& s = state_.settings;
    stls_ = WantsStls(s) ? Stls::Off : Stls::Done;
    greeting_.clear();
    extra_ = Extra::None;
    senderLines_.clear();
    connection_->SetPin(s.CertPin);
    connection_->Open(s.Server, static_cast<quint16>(s.Port), WantsTls(s));
}

void MailCheck::PopDisconnect() {
    connection_->Close();
    shell_.SetTimerEnabled(state_.settings.AutoCheck);
}

void MailCheck::SendLine(const QString& text, bool listing) {
    framer_->ExpectListing(listing || text == QLatin1String("List"));
    if (!connection_->Send(EncodeCp932(text) + "\r\n"))
        throw std::runtime_error("the command could not be sent");
}

void MailCheck::SendPopCommand() {
    const AppSettings& s = state_.settings;
    // The login never leaves unencrypted when encryption was asked for.
    if ((popState_ == 1 || popState_ == 2) && s.Security != 0 && !connection_->IsEncrypted())
        throw std::runtime_error("the connection is not encrypted");
    switch (popState_) {
    case 1: SendLogin(); break;
    case 2: SendLine(QStringLiteral("pass ") + s.LoginPass); break;
    case 3: SendLine(QStringLiteral("List")); break;
    case 4: SendLine(QStringLiteral("quit")); break;
    default:
        popState_ = 0;
        PopDisconnect();
        shell_.SetMailCheckEnabled(true);
        break;
    }
}

void MailCheck::SendLogin() {
    const AppSettings& s = state_.settings;
    if (!s.Apop) {
        SendLine(QStringLiteral("user ") + s.LoginName);
        return;
    }
    const QByteArray stamp = ApopTimestamp(EncodeCp932(greeting_));
    if (stamp.isEmpty()) {
        EndBeforeLogin(kNoApopLine, QStringLiteral("APOP Error: no timestamp in the greeting"));
        return;
    }
    // Its "+OK" is the answer to "pass": the list comes next.
    popState_ = 2;
    SendLine(QStringLiteral("APOP ") + s.LoginName + ' ' +
             QString::fromLatin1(ApopDigest(stamp, EncodeCp932(s.LoginPass))));
}

template <typename Step>
void MailCheck::Guarded(Step step) {
    if (!connection_->IsOpen()) return;
    const quint64 session = session_;
    try {
        step();
    } catch (const std::exception&) {
        if (session == session_) FailedWhileHandling();
    }
    if (session == session_ && !connection_->IsOpen()) emit SessionEnded();
}

void MailCheck::HandleReply(const QByteArray& reply) {
    lastReply_ = reply;
    Guarded([&] { ClassifyReply(DecodeCp932(reply)); });
}

void MailCheck::HandleEncrypted() {
    if (stls_ != Stls::Handshake) return;  // TLS from the first byte: the greeting follows
    Guarded([&] {
        stls_ = Stls::Done;
        // No second greeting: the login goes out at once.
        popState_ = 1;
        SendPopCommand();
    });
}

// One complete reply. The markers are searched in the whole reply.
void MailCheck::ClassifyReply(const QString& r) {
    const quint64 session = session_;
    const qint16 answered = popState_;
    if (stls_ == Stls::Asked) {
        if (!r.startsWith(QLatin1String("+OK"))) {
            // Never on in plain text: the password would travel readable.
            EndBeforeLogin(kNoEncryptionLine, QStringLiteral("STLS Error: ") + r.section(QLatin1Char('\n'), 0, 0).trimmed());
            return;
        }
        stls_ = Stls::Handshake;
        connection_->StartTls();
        return;
    }
    if (answered == 0 && r.startsWith(QLatin1String("+OK"))) greeting_ = r;
    if (answered == 0 && stls_ == Stls::Off && r.startsWith(QLatin1String("+OK"))) {
        stls_ = Stls::Asked;
        SendLine(QStringLiteral("STLS"));
        return;
    }
    if (extra_ != Extra::None) {
        HandleExtraReply();
        return;
    }
    if (r.startsWith(QLatin1String("+OK"))) {
        if (!Has(r, "off") && answered == 3) {
            if (state_.settings.DispDiff == kNotYetTold) {
                AskUniqueIds(r);
                return;
            }
            const qint16 n = count_.ReportMailCount(r);
            if (session != session_) return;  // replaced during a message box
            AfterCount(n, HighestNumbers(state_.MailTotal, n));
            return;
        }
        popState_ = static_cast<qint16>(popState_ + 1);
        SendPopCommand();
        return;
    }
    const bool error = Has(r, "-ERR");
    const bool pass = Has(r, "Pass");
    // Hardly any server says "Pass" when it turns a password down, so any
    // error answering "pass" counts as a rejected login.
    if (pass || (error && answered == 2)) {
        RejectedLogin();
    } else if (error && answered > 1) {
        ErrorReplyAfterLogin(answered);
    } else if (error) {
        EarlyErrorReply();
    }
    // Anything else is no reply we know; the session waits for the next one.
}

void MailCheck::AskUniqueIds(const QString& listReply) {
    listReply_ = listReply;
    extra_ = Extra::Uidl;
    SendLine(QStringLiteral("UIDL"), true);
}

void MailCheck::AfterCount(qint16 reported, const QList<int>& newest) {
    extra_ = Extra::None;
    if (reported > 0 && state_.settings.ShowSender && !newest.isEmpty()) {
        topNumbers_ = newest.mid(0, kSendersTold);
        moreNew_ = reported - int(topNumbers_.size());
        extra_ = Extra::Top;
        SendNextTop();
        return;
    }
    if (reported > 0) shell_.TellSenders({});
    popState_ = 4;
    SendPopCommand();
}

void MailCheck::HandleExtraReply() {
    const quint64 session = session_;
    const QByteArray& raw = lastReply_;
    if (extra_ == Extra::Uidl) {
        const AppSettings& s = state_.settings;
        const auto ids = ParseUidlReply(raw);
        if (!ids) {
            // No unique ids: counted as since the last check.
            const qint16 n = count_.ReportMailCount(listReply_);
            if (session != session_) return;
            AfterCount(n, HighestNumbers(state_.MailTotal, n));
            return;
        }
        const ReportedIds store(state_.paths.LogDir(), s.Server, static_cast<quint16>(s.Port), s.LoginName);
        const QSet<QString> told = store.Load();
        QList<int> fresh;
        QStringList onServer;
        for (const auto& [number, id] : *ids) {
            onServer << id;
            if (!told.contains(id)) fresh << number;
        }
        std::sort(fresh.begin(), fresh.end(), std::greater<int>());  // newest first
        const qint16 n = count_.ReportMailCount(listReply_, static_cast<qint16>(qMin<qsizetype>(fresh.size(), 32767)));
        if (session != session_) return;
        if (!store.Save(onServer))
            std::fprintf(stderr, "velmio: could not keep the told messages in %s\n", qPrintable(store.path()));
        AfterCount(n, fresh);
        return;
    }
    // A header. Anything but one leaves the sender lines out; the count stands.
    if (!raw.startsWith("+OK")) {
        FinishSenders(false);
        return;
    }
    senderLines_ << SenderLine(ParseMailHeader(ListingBody(raw)));
    if (topNumbers_.isEmpty()) FinishSenders(true);
    else SendNextTop();
}

void MailCheck::SendNextTop() { SendLine(QStringLiteral("TOP %1 0").arg(topNumbers_.takeFirst()), true); }

void MailCheck::FinishSenders(bool told) {
    QStringList lines = told ? senderLines_ : QStringList();
    if (!lines.isEmpty() && moreNew_ > 0) lines << QStringLiteral("ほか %1通").arg(moreNew_);
    extra_ = Extra::None;
    shell_.TellSenders(lines);
    popState_ = 4;
    SendPopCommand();
}

void MailCheck::EndAfterCount() {
    extra_ = Extra::None;
    shell_.TellSenders({});
    popState_ = 0;
    PopDisconnect();
    shell_.SetMailCheckEnabled(true);
}

void MailCheck::RejectedLogin() {
    popState_ = -1;
    shell_.ShowPicture(0);
    shell_.PlayEventSound(5);
    shell_.SayText(QStringLiteral("ユーザー名かパスワードが違うみたい…"));
    PopDisconnect();
    shell_.SetMailCheckEnabled(true);
}

void MailCheck::EarlyErrorReply() {
    popState_ = -1;
    shell_.ShowPicture(4);
    shell_.PlayEventSound(5);
    shell_.SayText(QStringLiteral("エラーみたい…"));
    PopDisconnect();
    shell_.SetMailCheckEnabled(true);
}

void MailCheck::ErrorReplyAfterLogin(qint16 answered) {
    shell_.ShowPicture(0);
    shell_.UpdateTrayIcon(ErrorSummaryText(state_.MailTotal), 0);
    const bool answeredQuit = answered > 3;
    if (answeredQuit) results_.NoMailReaction();
    popState_ = 0;
    PopDisconnect();
    shell_.SetMailCheckEnabled(true);
    // "ちょっと待ってね…" must not stay standing when the list was refused.
    if (!answeredQuit) {
        shell_.PlayEventSound(5);
        shell_.SayText(QStringLiteral("エラーみたい…"));
    }
}

void MailCheck::FailedWhileHandling() {
    shell_.ShowPicture(4);
    shell_.PlayEventSound(5);
    shell_.SayText(QStringLiteral("あれ？チェックに失敗しちゃったぁ"));
    log_.WriteLog(QStringLiteral("Arrival Error"));
    shell_.SetMailCheckEnabled(true);
    PopDisconnect();
    popState_ = 0;
}

void MailCheck::EndBeforeLogin(const QString& said, const QString& logEntry) {
    popState_ = -1;
    shell_.ShowPicture(4);
    shell_.PlayEventSound(5);
    shell_.SayText(said);
    log_.WriteLog(logEntry);
    PopDisconnect();
    shell_.SetMailCheckEnabled(true);
}

void MailCheck::HandleUntrustedCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors) {
    const quint64 session = session_;
    AppSettings& s = state_.settings;
    CertificateQuestion question(s.Server, static_cast<quint16>(s.Port), certificate, errors, !s.CertPin.isEmpty());
    asking_ = true;
    shell_.ShowQuestionModal(question.box());
    asking_ = false;
    if (session != session_) return;
    if (question.Trusted()) {
        TrustCertificate(s, QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex()));
        shell_.StoreCertPin();
        // The server did not wait for the answer: start once more, now
        // with the pin. The question's end gave the timer back.
        shell_.SetTimerEnabled(false);
        popState_ = 0;
        PopConnect();
        return;
    }
    QStringList reasons;
    for (const QSslError& e : errors) reasons << e.errorString();
    EndBeforeLogin(kCertificateLine, QStringLiteral("Certificate Error: ") + reasons.join(QStringLiteral("; ")));
    emit SessionEnded();
}

void MailCheck::RestoreTopMost() { shell_.SetWindowsTopMost(shell_.AlwaysActiveMarked() ? 1 : 0); }

void MailCheck::HandleSocketError(int number, const QString& description) {
    const quint64 session = session_;
    if (extra_ == Extra::Top) {
        EndAfterCount();
        emit SessionEnded();
        return;
    }
    QString said = QStringLiteral("Error: ") + description;
    if (number == MailConnection::kTlsFailed && stls_ == Stls::Handshake) {
        // STARTTLS was agreed and then failed: the same end as a refusal.
        EndBeforeLogin(kNoEncryptionLine, QStringLiteral("STLS Error: ") + description);
        emit SessionEnded();
        return;
    }
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
    if (session != session_) {
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
    PopDisconnect();
    emit SessionEnded();
}

}  // namespace velmio
