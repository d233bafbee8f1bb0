#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

#include "mail/auth/credential_source.h"

class QDBusMessage;

namespace velmio {

// One account of GNOME Online Accounts, as its objects on the bus show it.
struct GoaAccount {
    QString id;
    QString path;       // its object
    QString provider;   // the provider's name to show ("IMAP and SMTP", "Google")
    QString identity;   // the name the user knows it by
    QString address;    // Mail's EmailAddress
    bool attentionNeeded = false;
    bool mail = false;  // a Mail interface offering IMAP, and mail not switched off
    bool oauth2 = false;
    bool password = false;
    ServerPlace place;  // from Mail
};

// Where GNOME Online Accounts is asked: every call is asynchronous with a
// time-out, so a daemon that hangs never holds the windows.
namespace goa {

inline constexpr int kTimeoutMs = 10000;
inline const QString kService = QStringLiteral("org.gnome.OnlineAccounts");

// GOA answers on the bus, or the bus would start it.
bool OnBus(const QDBusConnection& bus = QDBusConnection::sessionBus());

// Server, port and security of Mail's ImapHost ("host" or "host:port") and
// its two TLS switches.
ServerPlace PlaceOf(const QString& imapHost, bool useSsl, bool useTls, const QString& login);

// Every account GOA holds; error: the D-Bus error's name, empty when it answered.
void ListAccounts(QObject* context, const std::function<void(const QList<GoaAccount>&, const QString& error)>& done,
                  const QDBusConnection& bus = QDBusConnection::sessionBus());

// Calls method of an interface of the object at path; done gets the reply
// (an error reply on failure or time-out) unless context went first.
void Call(QObject* context, const QString& path, const QString& interface, const QString& method,
          const QVariantList& arguments, const std::function<void(const QDBusMessage&)>& done,
          const QDBusConnection& bus = QDBusConnection::sessionBus());

}  // namespace goa
}  // namespace velmio
