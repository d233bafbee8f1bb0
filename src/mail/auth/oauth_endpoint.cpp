#include "mail/auth/oauth_endpoint.h"

#include <QHostAddress>

#include "core/app_settings.h"

#ifndef VELMIO_MICROSOFT_CLIENT_ID
#define VELMIO_MICROSOFT_CLIENT_ID ""
#endif

namespace velmio {

QString BuiltInClientId() { return QStringLiteral(VELMIO_MICROSOFT_CLIENT_ID).trimmed(); }

bool SafeAddress(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    if (url.scheme() == QLatin1String("https")) return true;
    if (url.scheme() != QLatin1String("http")) return false;
    // A name could be made to point anywhere: only a written loopback address counts.
    const QHostAddress host(url.host());
    return !host.isNull() && host.isLoopback();
}

OAuthEndpoint EndpointFor(const AccountSettings& a) {
    OAuthEndpoint e;
    QString authority = a.OAuthAuthority.trimmed();
    if (authority.isEmpty()) authority = QStringLiteral("https://login.microsoftonline.com/common");
    while (authority.endsWith('/')) authority.chop(1);
    e.deviceCode = QUrl(authority + QStringLiteral("/oauth2/v2.0/devicecode"));
    e.token = QUrl(authority + QStringLiteral("/oauth2/v2.0/token"));
    e.clientId = a.OAuthClientId.trimmed().isEmpty() ? BuiltInClientId() : a.OAuthClientId.trimmed();
    e.scope = (UsesImap(a) ? QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All")
                           : QStringLiteral("https://outlook.office.com/POP.AccessAsUser.All")) +
              QStringLiteral(" offline_access");
    if (!SafeAddress(e.deviceCode))
        e.problem = OAuthEndpoint::Problem::InsecureAuthority;
    else if (e.clientId.isEmpty())
        e.problem = OAuthEndpoint::Problem::NoClientId;
    return e;
}

QString TokenPlace(const AccountSettings& a) { return QStringLiteral("oauth2:") + KeyringPlace(a); }

}  // namespace velmio
