#pragma once

#include <memory>

#include "mail/auth/credential_source.h"
#include "mail/mail_session.h"

namespace velmio {

class PasswordKeyring;

// Where the account's credentials come from: kAuthGoa, kAuthDeviceGrant,
// or 0 for the password (any other value of Auth).
qint16 CredentialKind(const AccountSettings& account);

// A source of the account's kind. keyring: where a password the start
// could not read is asked for; none: the settings' password only.
std::unique_ptr<CredentialSource> MakeCredentialSource(const AccountSettings& account, PasswordKeyring* keyring);

// The account with the credential of a Ready answer, and the server its
// source named.
Account WithCredential(Account account, const CredentialAnswer& answer);

}  // namespace velmio
