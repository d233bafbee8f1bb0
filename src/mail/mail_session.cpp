#include "mail/mail_session.h"

#include "core/app_settings.h"
#include "mail/net/mail_connection.h"

namespace velmio {

Account AccountOf(const AccountSettings& s) {
    Account a;
    a.protocol = UsesImap(s) ? Account::Protocol::Imap : Account::Protocol::Pop3;
    a.server = s.Server;
    a.port = static_cast<quint16>(s.Port);
    a.security = s.Security;
    a.login = s.LoginName;
    a.password = s.LoginPass;
    a.apop = s.Apop;
    a.pin = s.CertPin;
    return a;
}

MailSession::MailSession(QObject* parent) : QObject(parent), connection_(std::make_unique<MailConnection>()) {
    connect(connection_.get(), &MailConnection::CertificateRejected, this,
            [this](const QSslCertificate& certificate, const QList<QSslError>& errors) {
                emit Ended(SessionOutcome::Untrusted(certificate, errors));
            });
}

MailSession::~MailSession() = default;

void MailSession::Abort() {
    ++run_;
    connection_->Close();
}

bool MailSession::IsOpen() const { return connection_->IsOpen(); }

void MailSession::SetReplyTimeout(int ms) { connection_->SetReplyTimeout(ms); }

void MailSession::SetTrustStore(const QList<QSslCertificate>& authorities) { connection_->SetTrustStore(authorities); }

}  // namespace velmio
