#include "support/goa.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QFile>
#include <QtTest>

#include "mail/auth/goa_accounts.h"

using Objects = QMap<QDBusObjectPath, QMap<QString, QVariantMap>>;
Q_DECLARE_METATYPE(Objects)

namespace velmio::test {

GoaDaemon::~GoaDaemon() { Stop(); }

bool GoaDaemon::WriteImapAccount(const QString& id, quint16 port, const QString& password) {
    const QString conf = QStringLiteral(
        "[Account %1]\nProvider=imap_smtp\nIdentity=alice@example.org\nPresentationIdentity=alice@example.org\n"
        "Enabled=true\nMailEnabled=true\nEmailAddress=alice@example.org\nName=Alice\n"
        "ImapHost=127.0.0.1:%2\nImapUserName=alice\nImapUseSsl=true\nImapUseTls=false\nImapAcceptSslErrors=true\n"
        "SmtpHost=\nSmtpUseAuth=false\nSmtpUserName=\nSmtpUseSsl=false\nSmtpUseTls=false\nSmtpAcceptSslErrors=false\n")
                             .arg(id)
                             .arg(port);
    QDir().mkpath(config_.filePath("goa-1.0"));
    QFile file(config_.filePath("goa-1.0/accounts.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(conf.toUtf8()) < 0) return false;
    file.close();
    // Where GOA keeps an account's password: its schema, its identity.
    QProcess store;
    store.start("secret-tool", {"store", "--label=GOA imap_smtp credentials", "xdg:schema", "org.gnome.OnlineAccounts",
                                "goa-identity", "imap_smtp:gen0:" + id});
    store.write(QStringLiteral("{'imap-password': <'%1'>, 'smtp-password': <''>}").arg(password).toUtf8());
    store.closeWriteChannel();
    return store.waitForFinished(10000) && store.exitCode() == 0;
}

bool GoaDaemon::WriteNoAccounts() {
    QFile file(config_.filePath("goa-1.0/accounts.conf"));
    return file.open(QIODevice::WriteOnly) && file.write("\n") == 1;
}

bool GoaDaemon::Start(int count) {
    if (!QFile::exists(kProgram)) return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config_.path());
    daemon_.setProcessEnvironment(env);
    daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon_.start(kProgram, {"--replace"});
    return daemon_.waitForStarted(5000) && WaitForAccounts(count);
}

bool GoaDaemon::WaitForAccounts(int count) {
    QObject context;
    for (QDeadlineTimer deadline(20000); !deadline.hasExpired(); QTest::qWait(200)) {
        int seen = -1;
        bool answered = false;
        goa::ListAccounts(&context, [&](const QList<GoaAccount>& accounts, const QString& error) {
            seen = error.isEmpty() ? int(accounts.size()) : -1;
            answered = true;
        });
        if (!QTest::qWaitFor([&] { return answered; }, 12000)) return false;
        if (seen == count) return true;
    }
    return false;
}

void GoaDaemon::Stop() {
    if (daemon_.state() == QProcess::NotRunning) return;
    daemon_.terminate();
    if (!daemon_.waitForFinished(5000)) daemon_.kill();
    daemon_.waitForFinished(5000);
}

namespace {
const QString kPath = QStringLiteral("/org/gnome/OnlineAccounts/Accounts/token");
}

GoaStandIn::GoaStandIn(quint16 port, QStringList tokens)
    : port_(port),
      tokens_(std::move(tokens)),
      bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "goa-stand-in")) {
    qDBusRegisterMetaType<QMap<QString, QVariantMap>>();
    qDBusRegisterMetaType<Objects>();
}

GoaStandIn::~GoaStandIn() {
    bus_.unregisterService(goa::kService);
    bus_.unregisterObject("/org/gnome/OnlineAccounts", QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus("goa-stand-in");
}

bool GoaStandIn::Register() {
    return bus_.registerVirtualObject("/org/gnome/OnlineAccounts", this, QDBusConnection::SubPath) &&
           bus_.registerService(goa::kService);
}

bool GoaStandIn::handleMessage(const QDBusMessage& m, const QDBusConnection& connection) {
    QDBusMessage reply;
    if (m.member() == "GetManagedObjects") {
        QMap<QString, QVariantMap> account;
        account["org.gnome.OnlineAccounts.Account"] = {{"Id", "token"}, {"ProviderName", "Microsoft 365"},
                                                      {"PresentationIdentity", "alice@example.org"},
                                                      {"AttentionNeeded", attentionNeeded}, {"MailDisabled", false}};
        account["org.gnome.OnlineAccounts.Mail"] = {{"EmailAddress", "alice@example.org"},
                                                   {"ImapSupported", true},
                                                   {"ImapHost", QStringLiteral("127.0.0.1:%1").arg(port_)},
                                                   {"ImapUserName", "alice"},
                                                   {"ImapUseSsl", true},
                                                   {"ImapUseTls", false}};
        account["org.gnome.OnlineAccounts.OAuth2Based"] = {};
        reply = m.createReply(QVariant::fromValue(Objects{{QDBusObjectPath(kPath), account}}));
    } else if (m.member() == "GetAccessToken") {
        const QString token = tokens_.value(qMin<qsizetype>(tokensGiven++, tokens_.size() - 1));
        reply = m.createReply(QVariantList{token, 3600});
    } else if (m.member() == "EnsureCredentials") {
        ++ensured;
        reply = ensureRefused ? m.createErrorReply("org.gnome.OnlineAccounts.Error.NotAuthorized", "refused")
                              : m.createReply(QVariantList{3600});
    } else {
        return false;
    }
    return connection.send(reply);
}

}  // namespace velmio::test
