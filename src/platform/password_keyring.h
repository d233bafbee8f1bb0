#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace velmio {

// What a keyring said when asked for a password. Only Missing means there is
// no saved password; the others say the keyring did not give it this time.
enum class KeyringAnswer { Found, Missing, Locked, Refused, NoAnswer };

struct KeyringRead {
    KeyringAnswer answer = KeyringAnswer::Missing;
    QString password;  // when found
    QString reason;    // why not, for the log; never holds the password
};

// How long a read may take. At start-up a locked keyring is left locked, so
// the character comes up at once; a check waits for the user to unlock it.
enum class KeyringWait { Briefly, ForUnlock };

// Where a saved password goes when the desktop offers a keyring.
class PasswordKeyring {
public:
    virtual ~PasswordKeyring() = default;
    // A keyring answers on the session bus.
    virtual bool Available() const = 0;
    virtual KeyringRead Read(const QString& account, KeyringWait wait) = 0;
    // Reads as Read waiting for an unlock, but without blocking: done gets
    // the answer once it is in, or at once.
    virtual void ReadLater(const QString& account, const std::function<void(const KeyringRead&)>& done) {
        done(Read(account, KeyringWait::ForUnlock));
    }
    // False when the keyring is missing or refused: the caller keeps the
    // password elsewhere.
    virtual bool Write(const QString& account, const QString& password) = 0;
    virtual bool Remove(const QString& account) = 0;
};

// The desktop's Secret Service (GNOME Keyring, KWallet) through QtKeychain,
// under the service "velmio-check". Its jobs are asynchronous; each call waits
// for its answer in a local event loop that keeps the windows painting.
class SecretServiceKeyring : public QObject, public PasswordKeyring {
public:
    // briefMs bounds every call but a read that waits for an unlock, which
    // has unlockMs: the unlock prompt waits for the user.
    explicit SecretServiceKeyring(int briefMs = 5000, int unlockMs = 300000);
    bool Available() const override;
    KeyringRead Read(const QString& account, KeyringWait wait) override;
    void ReadLater(const QString& account, const std::function<void(const KeyringRead&)>& done) override;
    bool Write(const QString& account, const QString& password) override;
    bool Remove(const QString& account) override;

private:
    int briefMs_;
    int unlockMs_;
};

}  // namespace velmio
