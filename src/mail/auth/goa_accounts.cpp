#include "mail/auth/goa_accounts.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QStringList>

namespace velmio::goa {
namespace {

const QString kManager = QStringLiteral("/org/gnome/OnlineAccounts");
const QString kAccount = QStringLiteral("org.gnome.OnlineAccounts.Account");
const QString kMail = QStringLiteral("org.gnome.OnlineAccounts.Mail");

using Interfaces = QMap<QString, QVariantMap>;

GoaAccount AccountOf(const QString& path, const Interfaces& objects) {
    const QVariantMap account = objects.value(kAccount);
    const QVariantMap mail = objects.value(kMail);
    GoaAccount a;
    a.path = path;
    a.id = account.value(QStringLiteral("Id")).toString();
    a.provider = account.value(QStringLiteral("ProviderName")).toString();
    a.identity = account.value(QStringLiteral("PresentationIdentity")).toString();
    a.attentionNeeded = account.value(QStringLiteral("AttentionNeeded")).toBool();
    a.address = mail.value(QStringLiteral("EmailAddress")).toString();
    const bool imap = mail.value(QStringLiteral("ImapSupported"), true).toBool() &&
                      !mail.value(QStringLiteral("ImapHost")).toString().isEmpty();
    a.mail = objects.contains(kMail) && imap && !account.value(QStringLiteral("MailDisabled")).toBool();
    a.oauth2 = objects.contains(QStringLiteral("org.gnome.OnlineAccounts.OAuth2Based"));
    a.password = objects.contains(QStringLiteral("org.gnome.OnlineAccounts.PasswordBased"));
    const auto text = [&mail](const char* key) { return mail.value(QLatin1String(key)).toString(); };
    const auto flag = [&mail](const char* key) { return mail.value(QLatin1String(key)).toBool(); };
    a.place = PlaceOf(text("ImapHost"), flag("ImapUseSsl"), flag("ImapUseTls"), text("ImapUserName"));
    return a;
}

// GetManagedObjects' a{oa{sa{sv}}}: the accounts among the objects.
QList<GoaAccount> AccountsIn(const QDBusMessage& reply) {
    QList<GoaAccount> accounts;
    if (reply.arguments().isEmpty()) return accounts;
    const QDBusArgument arg = reply.arguments().first().value<QDBusArgument>();
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        Interfaces objects;
        arg.beginMapEntry();
        arg >> path >> objects;
        arg.endMapEntry();
        if (objects.contains(kAccount)) accounts << AccountOf(path.path(), objects);
    }
    arg.endMap();
    return accounts;
}

}  // namespace

bool OnBus(const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    if (bus.interface()->isServiceRegistered(kService)) return true;
    const QDBusReply<QStringList> startable = bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return startable.isValid() && startable.value().contains(kService);
}

ServerPlace PlaceOf(const QString& imapHost, bool useSsl, bool useTls, const QString& login) {
    ServerPlace p;
    p.security = useSsl ? 2 : useTls ? 1 : 0;
    p.port = useSsl ? 993 : 143;
    p.login = login;
    QString host = imapHost.trimmed();
    QString port;
    if (host.startsWith(QLatin1Char('['))) {  // [IPv6]:port
        const qsizetype end = host.indexOf(QLatin1Char(']'));
        if (end > 0) {
            port = host.mid(end + 1).startsWith(QLatin1Char(':')) ? host.mid(end + 2) : QString();
            host = host.mid(1, end - 1);
        }
    } else if (host.count(QLatin1Char(':')) == 1) {
        port = host.section(QLatin1Char(':'), 1);
        host = host.section(QLatin1Char(':'), 0, 0);
    }
    bool ok = false;
    const uint n = port.toUInt(&ok);
    if (ok && n > 0 && n <= 65535) p.port = static_cast<quint16>(n);
    p.server = host;
    return p;
}

void Call(QObject* context, const QString& path, const QString& interface, const QString& method,
          const QVariantList& arguments, const std::function<void(const QDBusMessage&)>& done,
          const QDBusConnection& bus) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, path, interface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [done](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        done(w->reply());
    });
}

void ListAccounts(QObject* context, const std::function<void(const QList<GoaAccount>&, const QString& error)>& done,
                  const QDBusConnection& bus) {
    if (!bus.isConnected()) return done({}, QStringLiteral("no session bus"));
    const QString manager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
    Call(
        context, kManager, manager, QStringLiteral("GetManagedObjects"), {},
        [done](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage) return done({}, reply.errorName());
            done(AccountsIn(reply), QString());
        },
        bus);
}

}  // namespace velmio::goa
