#pragma once

#include "mail/auth/credential_source.h"

namespace velmio {

class PasswordKeyring;

// The password of the settings, or the keyring's when the start could not
// read it: a locked keyring is waited for (its unlock prompt) without
// blocking the windows.
class KeyringSource : public CredentialSource {
    Q_OBJECT
public:
    explicit KeyringSource(PasswordKeyring* keyring, QObject* parent = nullptr);
    void Fetch(const AccountSettings& account, bool refused) override;
    void Cancel() override { ++asks_; }

private:
    PasswordKeyring* keyring_;
    quint64 asks_ = 0;  // a late answer to an older ask is dropped
};

}  // namespace velmio
