#pragma once

#include <QObject>
#include <QString>
#include <optional>

namespace velmio {

// Where a saved password goes when the desktop offers a keyring.
class PasswordKeyring {
public:
    virtual ~PasswordKeyring() = default;
    // A keyring answers on the session bus.
    virtual bool Available() const = 0;
    // Nothing when no entry was found or no answer came in time.
    virtual std::optional<QString> Read(const QString& account) = 0;
    // False when the keyring is missing or refused: the caller keeps the
    // password elsewhere.
    virtual bool Write(const QString& account, const QString& password) = 0;
    virtual bool Remove(const QString& account) = 0;
};

// The desktop's Secret Service (GNOME Keyring, KWallet) through QtKeychain,
// under the service "velmio-check". Its jobs are asynchronous; each call waits
// for its answer in a local event loop, at most timeoutMs.
class SecretServiceKeyring : public QObject, public PasswordKeyring {
public:
    explicit SecretServiceKeyring(int timeoutMs = 5000);
    bool Available() const override;
    std::optional<QString> Read(const QString& account) override;
    bool Write(const QString& account, const QString& password) override;
    bool Remove(const QString& account) override;

private:
    int timeoutMs_;
};

}  // namespace velmio
