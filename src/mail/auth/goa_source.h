#pragma once

#include "mail/auth/credential_source.h"

namespace velmio {

struct GoaAccount;

// An account of GNOME Online Accounts (Goa= its id): the server from its Mail
// interface, and at every connection a fresh access token (OAuth2Based) or
// its IMAP password (PasswordBased). A refused token is renewed once by
// EnsureCredentials.
class GoaSource : public CredentialSource {
    Q_OBJECT
public:
    using CredentialSource::CredentialSource;
    void Fetch(const AccountSettings& account, bool refused) override;
    void Cancel() override { ++asks_; }

private:
    void FetchFrom(const GoaAccount& account, bool refused, quint64 ask);
    void GetToken(const GoaAccount& account, quint64 ask);
    // Answers unless a newer ask or a Cancel came meanwhile.
    void Answer(quint64 ask, const CredentialAnswer& answer);

    quint64 asks_ = 0;
};

}  // namespace velmio
