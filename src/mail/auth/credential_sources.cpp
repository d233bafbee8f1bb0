#include "mail/auth/credential_sources.h"

#include "core/app_settings.h"
#include "mail/auth/device_grant_source.h"
#include "mail/auth/goa_source.h"
#include "mail/auth/keyring_source.h"

namespace velmio {
namespace {

// A kind this build cannot serve: every ask is a failed check.
class NoSource : public CredentialSource {
public:
    explicit NoSource(QString reason) : reason_(std::move(reason)) {}
    void Fetch(const AccountSettings&, bool) override {
        emit Answered(CredentialAnswer::Of(CredentialAnswer::Kind::Unavailable, reason_));
    }

private:
    QString reason_;
};

}  // namespace

qint16 CredentialKind(const AccountSettings& a) {
    return a.Auth == kAuthGoa || a.Auth == kAuthDeviceGrant ? a.Auth : qint16(0);
}

std::unique_ptr<CredentialSource> MakeCredentialSource(const AccountSettings& account, PasswordKeyring* keyring) {
    switch (CredentialKind(account)) {
    case kAuthGoa: return std::make_unique<GoaSource>();
    case kAuthDeviceGrant:
        // The refresh token lives in the keyring and nowhere else.
        if (!keyring) return std::make_unique<NoSource>(QStringLiteral("no keyring for the sign-in"));
        return std::make_unique<DeviceGrantSource>(*keyring);
    default: return std::make_unique<KeyringSource>(keyring);
    }
}

Account WithCredential(Account account, const CredentialAnswer& answer) {
    if (answer.kind != CredentialAnswer::Kind::Ready) return account;
    account.password = answer.credential.secret;
    account.token = answer.credential.kind == Credential::Kind::Token;
    if (const auto& p = answer.place) {
        account.protocol = Account::Protocol::Imap;
        account.server = p->server;
        account.port = p->port;
        account.security = p->security;
        account.login = p->login;
        account.apop = false;
    }
    return account;
}

}  // namespace velmio
