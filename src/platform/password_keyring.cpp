#include "platform/password_keyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace velmio {
namespace {

const QString kService = QStringLiteral("velmio-check");

// Runs a job and waits for it; false when it failed or gave no answer in
// time. The caller deletes a finished job; one still running deletes itself
// when it ends, or goes with its parent.
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
    return finished && job->error() == QKeychain::NoError;
}

// Deletes a job that has finished, once its result has been taken.
bool Done(QKeychain::Job* job, bool ok) {
    if (!job->autoDelete()) job->deleteLater();
    return ok;
}

}  // namespace

SecretServiceKeyring::SecretServiceKeyring(int timeoutMs) : timeoutMs_(timeoutMs) {}

bool SecretServiceKeyring::Available() const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusConnectionInterface* names = bus.interface();
    for (const char* name : {"org.freedesktop.secrets", "org.kde.kwalletd5", "org.kde.kwalletd6"})
        if (names->isServiceRegistered(QLatin1String(name))) return true;
    return false;
}

std::optional<QString> SecretServiceKeyring::Read(const QString& account) {
    if (!Available()) return std::nullopt;
    auto* job = new QKeychain::ReadPasswordJob(kService, this);
    job->setKey(account);
    const bool ok = Finish(job, timeoutMs_);
    return Done(job, ok) ? std::optional<QString>(job->textData()) : std::nullopt;
}

bool SecretServiceKeyring::Write(const QString& account, const QString& password) {
    if (!Available()) return false;
    auto* job = new QKeychain::WritePasswordJob(kService, this);
    job->setKey(account);
    job->setTextData(password);
    return Done(job, Finish(job, timeoutMs_));
}

bool SecretServiceKeyring::Remove(const QString& account) {
    if (!Available()) return false;
    auto* job = new QKeychain::DeletePasswordJob(kService, this);
    job->setKey(account);
    return Done(job, Finish(job, timeoutMs_));
}

}  // namespace velmio
