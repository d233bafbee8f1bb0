#include "mail/mail_check.h"

#include <stdexcept>

#include "core/app_state.h"
#include "mail/mail_shell.h"
#include "mail/pop3_connection.h"
#include "platform/clock.h"

namespace velmio {
namespace {

bool Has(const QString& text, const char* marker) { return text.contains(QLatin1String(marker)); }

}  // namespace

MailCheck::MailCheck(AppState& state, MailShell& shell, Clock& clock, QObject* parent)
    : QObject(parent),
      state_(state),
      shell_(shell),
      connection_(std::make_unique<Pop3Connection>()),
      log_(state, clock),
      draw_(clock),
      results_(state, shell, draw_, log_),
      count_(state, shell, results_) {
    connect(connection_.get(), &Pop3Connection::ReplyArrived, this, &MailCheck::HandleReply);
    connect(connection_.get(), &Pop3Connection::Failed, this, &MailCheck::HandleSocketError);
    // Endless data is a reply that cannot be handled.
    connect(connection_.get(), &Pop3Connection::ReplyOverlong, this, [this] {
        FailedWhileHandling();
        emit SessionEnded();
    });
}

MailCheck::~MailCheck() = default;

bool MailCheck::SessionOpen() const { return connection_->IsOpen(); }

void MailCheck::SetReplyTimeout(int ms) { connection_->SetReplyTimeout(ms); }

void MailCheck::ExecuteMailCheck() {
    popState_ = 0;
    ++session_;
    const bool abandoned = connection_->IsOpen();
    connection_->Close();  // without "quit"
    const AppSettings& s = state_.settings;
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
    shell_.SetTimerEnabled(false);
    shell_.PlayEventSound(1);
    shell_.ShowPicture(1);
    shell_.SayText(QStringLiteral("ちょっと待ってね…"));
    shell_.SetMailCheckEnabled(false);
    PopConnect();
}

void MailCheck::PopConnect() {
    // Port is held in 16 signed bits; read them as the unsigned port number,
    // so ports above 32767 stay reachable.
    connection_->Open(state_.settings.Server, static_cast<quint16>(state_.settings.Port));
}

void MailCheck::PopDisconnect() {
    connection_->Close();
    shell_.SetTimerEnabled(state_.settings.AutoCheck);
}

void MailCheck::SendLine(const QString& text) {
    if (!connection_->SendLine(text, text == QLatin1String("List")))
        throw std::runtime_error("the command could not be sent");
}

void MailCheck::SendPopCommand() {
    const AppSettings& s = state_.settings;
    switch (popState_) {
    case 1: SendLine(QStringLiteral("user ") + s.LoginName); break;
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

void MailCheck::HandleReply(const QString& reply) {
    if (!connection_->IsOpen()) return;
    const quint64 session = session_;
    try {
        ClassifyReply(reply);
    } catch (const std::exception&) {
        if (session == session_) FailedWhileHandling();
    }
    if (session == session_ && !connection_->IsOpen()) emit SessionEnded();
}

// One complete reply. The markers are searched in the whole reply.
void MailCheck::ClassifyReply(const QString& r) {
    const quint64 session = session_;
    const qint16 answered = popState_;
    if (r.startsWith(QLatin1String("+OK"))) {
        if (!Has(r, "off") && answered == 3) {
            count_.ReportMailCount(r);
            if (session != session_) return;  // replaced during a message box
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

void MailCheck::RestoreTopMost() { shell_.SetWindowsTopMost(shell_.AlwaysActiveMarked() ? 1 : 0); }

void MailCheck::HandleSocketError(int number, const QString& description) {
    const quint64 session = session_;
    QString said = QStringLiteral("Error: ") + description;
    shell_.SetWindowsTopMost(0);
    shell_.SetBalloonVisible(false);
    if (number == Pop3Connection::kHostNotFound) {
        said = QStringLiteral("サーバーが見つからないよぅ");
    } else {
        shell_.ShowMsg(QStringLiteral("Error: ") + description, 16);
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
