#include "platform/password_keyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <qt6keychain/keychain.h>
#include <utility>

namespace velmio {
namespace {

const QString kService = QStringLiteral("velmio-check");
const QString kSecrets = QStringLiteral("org.freedesktop.secrets");

// Runs a job and waits for it; false when it gave no answer in time. The
// caller deletes a finished job; one still running deletes itself when it
// ends, or goes with its parent. Painting goes on meanwhile; clicks wait.
bool Finish(QKeychain::Job* job, int timeoutMs) {
    job->setAutoDelete(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!finished) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished) job->setAutoDelete(true);
    return finished;
}

bool Succeeded(QKeychain::Job* job, int timeoutMs) {
    const bool ok = Finish(job, timeoutMs) && job->error() == QKeychain::NoError;
    if (!job->autoDelete()) job->deleteLater();
    return ok;
}

// The Secret Service's default collection is there and locked. Asked
// without a prompt, so it answers at once.
bool DefaultCollectionLocked() {
    QDBusMessage get = QDBusMessage::createMethodCall(kSecrets, QStringLiteral("/org/freedesktop/secrets/aliases/default"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    return reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

}  // namespace

SecretServiceKeyring::SecretServiceKeyring(int briefMs, int unlockMs) : briefMs_(briefMs), unlockMs_(unlockMs) {}

bool SecretServiceKeyring::Available() const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusConnectionInterface* names = bus.interface();
    for (const char* name : {"org.freedesktop.secrets", "org.kde.kwalletd5", "org.kde.kwalletd6"})
        if (names->isServiceRegistered(QLatin1String(name))) return true;
    return false;
}

KeyringRead SecretServiceKeyring::Read(const QString& account, KeyringWait wait) {
    if (!Available()) return {KeyringAnswer::Missing, {}, QStringLiteral("no keyring")};
    if (wait == KeyringWait::Briefly && DefaultCollectionLocked())
        return {KeyringAnswer::Locked, {}, QStringLiteral("the keyring is locked")};
    auto* job = new QKeychain::ReadPasswordJob(kService, this);
    job->setKey(account);
    if (!Finish(job, wait == KeyringWait::Briefly ? briefMs_ : unlockMs_))
        return {KeyringAnswer::NoAnswer, {}, QStringLiteral("the keyring gave no answer in time")};
    job->deleteLater();
    switch (job->error()) {
    case QKeychain::NoError: return {KeyringAnswer::Found, job->textData(), {}};
    case QKeychain::EntryNotFound: return {KeyringAnswer::Missing, {}, job->errorString()};
    default: return {KeyringAnswer::Refused, {}, job->errorString()};
    }
}

void SecretServiceKeyring::ReadLater(const QString& account, const std::function<void(const KeyringRead&)>& done) {
    if (!Available()) return done({KeyringAnswer::Missing, {}, QStringLiteral("no keyring")});
    auto* job = new QKeychain::ReadPasswordJob(kService, this);
    job->setKey(account);
    // Whichever comes first answers: the job (which then deletes itself) or
    // the time-out, after which the job's late end is dropped.
    auto answered = std::make_shared<bool>(false);
    connect(job, &QKeychain::Job::finished, this, [job, done, answered] {
        if (std::exchange(*answered, true)) return;
        switch (job->error()) {
        case QKeychain::NoError: return done({KeyringAnswer::Found, job->textData(), {}});
        case QKeychain::EntryNotFound: return done({KeyringAnswer::Missing, {}, job->errorString()});
        default: return done({KeyringAnswer::Refused, {}, job->errorString()});
        }
    });
    QTimer::singleShot(unlockMs_, job, [done, answered] {
        if (std::exchange(*answered, true)) return;
        done({KeyringAnswer::NoAnswer, {}, QStringLiteral("the keyring gave no answer in time")});
    });
    job->start();
}

bool SecretServiceKeyring::Write(const QString& account, const QString& password) {
    if (!Available()) return false;
    auto* job = new QKeychain::WritePasswordJob(kService, this);
    job->setKey(account);
    job->setTextData(password);
    // The user has just pressed OK: a locked keyring's prompt is answered now.
    return Succeeded(job, unlockMs_);
}

bool SecretServiceKeyring::Remove(const QString& account) {
    if (!Available()) return false;
    auto* job = new QKeychain::DeletePasswordJob(kService, this);
    job->setKey(account);
    return Succeeded(job, briefMs_);
}

}  // namespace velmio
