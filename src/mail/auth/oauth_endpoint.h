#pragma once

#include <QString>
#include <QUrl>

namespace velmio {

struct AccountSettings;

// Where her own sign-in (the OAuth 2.0 device grant) asks, and for what.
struct OAuthEndpoint {
    enum class Problem {
        None,
        NoClientId,         // built without one and none in OAuthClientId
        InsecureAuthority,  // not https, nor http on a loopback address
    };
    Problem problem = Problem::None;
    QUrl deviceCode;  // {authority}/oauth2/v2.0/devicecode
    QUrl token;       // {authority}/oauth2/v2.0/token
    QString clientId;
    QString scope;  // the mailbox's scope and offline_access, blank between
};

// The endpoint an account of kAuthDeviceGrant uses: OAuthAuthority and
// OAuthClientId when set, the Microsoft identity platform and the client id
// the program was built with otherwise.
OAuthEndpoint EndpointFor(const AccountSettings& account);

// The client id the program was built with (VELMIO_MICROSOFT_CLIENT_ID);
// empty when none was given.
QString BuiltInClientId();

// Where the account's refresh token is kept in the keyring: apart from its
// password, whose place is the same without the prefix.
QString TokenPlace(const AccountSettings& account);

// A web address of the server's that may be opened or posted to: https, or
// http on a loopback address (a test's own server).
bool SafeAddress(const QUrl& url);

// What choosing Microsoft fills in.
inline const QString kMicrosoftServer = QStringLiteral("outlook.office365.com");

}  // namespace velmio
