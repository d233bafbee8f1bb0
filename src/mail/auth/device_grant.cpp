#include "mail/auth/device_grant.h"

#include <QDateTime>

#include "mail/auth/token_request.h"

namespace velmio {

DeviceGrant::DeviceGrant(QNetworkAccessManager& net, OAuthEndpoint endpoint, int msPerSecond, QObject* parent)
    : QObject(parent), net_(net), endpoint_(std::move(endpoint)), msPerSecond_(msPerSecond) {
    next_.setSingleShot(true);
    connect(&next_, &QTimer::timeout, this, &DeviceGrant::Poll);
}

DeviceGrant::~DeviceGrant() { AbortPost(asking_); }

void DeviceGrant::Start() {
    if (endpoint_.problem != OAuthEndpoint::Problem::None) {
        End({TokenReply::Kind::Refused, {}, {}, 0, QStringLiteral("no usable endpoint")});
        return;
    }
    const FormFields form{{QStringLiteral("client_id"), endpoint_.clientId}, {QStringLiteral("scope"), endpoint_.scope}};
    asking_ = PostForm(net_, endpoint_.deviceCode, form, [this](const QByteArray& body, const QString& error) {
        const std::optional<DeviceCode> code = ParseDeviceCode(body);
        if (!code) {
            // The endpoint's own error (a wrong client id, say) says more than ours.
            TokenReply reply = ParseTokenReply(body);
            if (reply.kind == TokenReply::Kind::Granted) reply.kind = TokenReply::Kind::Failed;
            if (reply.error.isEmpty() || (!error.isEmpty() && body.isEmpty())) reply.error = error;
            End(reply);
            return;
        }
        code_ = *code;
        interval_ = code_.interval;
        deadline_ = QDateTime::currentMSecsSinceEpoch() + qint64(code_.expiresIn) * msPerSecond_;
        emit CodeReady(code_);
        if (!ended_) next_.start(interval_ * msPerSecond_);
    });
}

void DeviceGrant::Poll() {
    if (QDateTime::currentMSecsSinceEpoch() >= deadline_) {
        End({TokenReply::Kind::Expired, {}, {}, 0, QStringLiteral("the code ran out")});
        return;
    }
    const FormFields form{{QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")},
                          {QStringLiteral("client_id"), endpoint_.clientId},
                          {QStringLiteral("device_code"), code_.deviceCode}};
    asking_ = PostForm(net_, endpoint_.token, form, [this](const QByteArray& body, const QString& error) {
        TokenReply reply = ParseTokenReply(body);
        if (reply.error.isEmpty()) reply.error = error;
        switch (reply.kind) {
        case TokenReply::Kind::SlowDown:
            interval_ += 5;  // RFC 8628, 3.5: for this and every later poll
            [[fallthrough]];
        case TokenReply::Kind::Pending:
        // A lost answer or a busy server: the user may still be signing in.
        case TokenReply::Kind::Failed:
            emit Polled(reply.kind);
            if (!ended_) next_.start(interval_ * msPerSecond_);
            return;
        default: End(reply);
        }
    });
}

void DeviceGrant::End(const TokenReply& reply) {
    if (ended_) return;
    ended_ = true;
    next_.stop();
    emit Finished(reply);
}

void DeviceGrant::Cancel() {
    ended_ = true;
    next_.stop();
    AbortPost(asking_);
}

}  // namespace velmio
