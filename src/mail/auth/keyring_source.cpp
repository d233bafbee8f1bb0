#include "mail/auth/keyring_source.h"

#include <QPointer>

#include "core/app_settings.h"
#include "platform/password_keyring.h"

namespace velmio {

KeyringSource::KeyringSource(PasswordKeyring* keyring, QObject* parent) : CredentialSource(parent), keyring_(keyring) {}

void KeyringSource::Fetch(const AccountSettings& account, bool /*refused*/) {
    using K = CredentialAnswer::Kind;
    if (!account.LoginPass.isEmpty()) {
        emit Answered(CredentialAnswer::Holding(Credential::Kind::Password, account.LoginPass));
        return;
    }
    if (!account.PasswordUnread || !keyring_) {
        emit Answered(CredentialAnswer::Of(K::Missing, QStringLiteral("none set")));
        return;
    }
    const quint64 ask = ++asks_;
    QPointer<KeyringSource> self(this);
    keyring_->ReadLater(KeyringPlace(account), [self, ask](const KeyringRead& read) {
        if (!self || ask != self->asks_) return;
        switch (read.answer) {
        case KeyringAnswer::Found:
            emit self->Answered(CredentialAnswer::Holding(Credential::Kind::Password, read.password));
            return;
        case KeyringAnswer::Missing: emit self->Answered(CredentialAnswer::Of(K::Missing, read.reason)); return;
        default: emit self->Answered(CredentialAnswer::Of(K::Unavailable, read.reason)); return;
        }
    });
}

}  // namespace velmio
