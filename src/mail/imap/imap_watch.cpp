#include "mail/imap/imap_watch.h"

#include <QNetworkInformation>
#include <cstdio>

#include "core/app_settings.h"
#include "mail/auth/credential_sources.h"
#include "mail/imap/imap_session.h"
#include "platform/wake_watch.h"

namespace velmio {

ImapWatch::ImapWatch(QObject* parent)
    : QObject(parent), session_(std::make_unique<ImapSession>()), wake_(new WakeWatch(this)) {
    ImapSession* s = session_.get();
    connect(s, &ImapSession::News, this, &ImapWatch::News);
    connect(s, &ImapSession::Idling, this, [this] {
        idling_ = true;
        idlingSince_.start();
        renewed_ = false;
        if (dropped_) emit Resumed();
        dropped_ = false;
    });
    // A server that cannot idle, or one that may not be logged in to safely,
    // is left to the timer's checks, which tell the user why.
    connect(s, &ImapSession::NoIdle, this, [this] { Hold(false); });
    connect(s, &MailSession::Ended, this, [this](const SessionOutcome& o) {
        using K = SessionOutcome::Kind;
        switch (o.kind) {
        case K::LoginRefused:
            // A token may have expired just now: renewed once, then held.
            if (tokenInUse_ && !std::exchange(renewed_, true)) {
                renew_ = true;
                Open();
                return;
            }
            Hold(true);
            return;
        case K::CertificateUntrusted:
            // Asked about by a check, once: a trusted pin changes the account.
            Hold(false);
            emit CertificateUntrusted();
            return;
        case K::Unsafe: Hold(false); return;
        case K::Failed:
            std::fprintf(stderr, "velmio: the inbox watch lost its connection (%s)\n", qPrintable(o.detail));
            Dropped();
            return;
        default: Dropped(); return;
        }
    });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &ImapWatch::Open);
    connect(wake_, &WakeWatch::Woke, this, &ImapWatch::RetryNow);
}

// The network's backend loads a plugin and GIO: not before an inbox is watched.
void ImapWatch::FollowNetwork() {
    if (followsNetwork_) return;
    followsNetwork_ = true;
    if (QNetworkInformation::loadDefaultBackend()) {
        connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged, this,
                [this](QNetworkInformation::Reachability r) {
                    // Reachable again, at any level: a new link at once.
                    using R = QNetworkInformation::Reachability;
                    if (r != R::Disconnected && r != R::Unknown) RetryNow();
                });
    }
}

ImapWatch::~ImapWatch() = default;

int ImapWatch::PauseAfter(int failures, int firstMs, int maxMs) {
    qint64 pause = firstMs;
    for (int i = 1; i < failures && pause < maxMs; ++i) pause *= 2;
    return int(qMin<qint64>(pause, maxMs));
}

void ImapWatch::SetPauses(int firstMs, int maxMs) {
    firstPauseMs_ = firstMs;
    maxPauseMs_ = maxMs;
}

void ImapWatch::SetRenewInterval(int ms) { session_->SetRenewInterval(ms); }

void ImapWatch::SetTrustStore(const QList<QSslCertificate>& authorities) {
    authorities_ = authorities;
    session_->SetTrustStore(authorities);
}

bool ImapWatch::ConnectionOpen() const { return session_->IsOpen(); }

void ImapWatch::Follow(const AccountSettings& settings, PasswordKeyring* keyring) {
    const qint16 kind = CredentialKind(settings);
    if (kind == 0) {
        source_.reset();
        sourceKind_ = 0;
        Follow(AccountOf(settings));
        return;
    }
    // Which account of the source is part of what is followed.
    const bool same = following_ && source_ && kind == sourceKind_ && keyring == sourceKeyring_ &&
                      settings.Goa == settings_.Goa && AccountOf(settings) == account_;
    if (same && (held_ || session_->IsOpen() || retry_.isActive())) return;
    if (!source_ || kind != sourceKind_ || keyring != sourceKeyring_) {
        source_ = MakeCredentialSource(settings, keyring);
        sourceKind_ = kind;
        sourceKeyring_ = keyring;
        connect(source_.get(), &CredentialSource::Answered, this, &ImapWatch::OpenWith);
    }
    settings_ = settings;
    held_ = false;
    account_ = AccountOf(settings);
    following_ = true;
    wake_->SetActive(true);
    failures_ = 0;
    renewed_ = false;
    Open();
}

void ImapWatch::Follow(const Account& account) {
    const bool same = following_ && !source_ && account == account_;
    if (same && (held_ || session_->IsOpen() || retry_.isActive())) return;
    held_ = false;
    account_ = account;
    following_ = true;
    FollowNetwork();
    wake_->SetActive(true);
    failures_ = 0;
    Open();
}

void ImapWatch::Stop() {
    following_ = false;
    idling_ = false;
    dropped_ = false;
    retry_.stop();
    wake_->SetActive(false);
    if (source_) source_->Cancel();
    session_->Abort();
}

void ImapWatch::RetryNow() {
    if (!following_ || held_) return;
    // A link idling since before a sleep or a network change may be dead
    // without knowing it: a new one costs little. Mail may have come
    // meanwhile.
    if (idling_ || retry_.isActive()) dropped_ = true;
    failures_ = 0;
    retry_.stop();
    Open();
}

void ImapWatch::RetryIfWaiting() {
    if (retry_.isActive()) RetryNow();
}

void ImapWatch::Open() {
    idling_ = false;
    if (!source_) {
        session_->Watch(account_);
        return;
    }
    session_->Abort();
    source_->Fetch(settings_, std::exchange(renew_, false));
}

void ImapWatch::OpenWith(const CredentialAnswer& answer) {
    if (!following_ || held_) return;
    using K = CredentialAnswer::Kind;
    if (answer.kind == K::Ready) {
        tokenInUse_ = answer.credential.kind == Credential::Kind::Token;
        session_->Watch(WithCredential(account_, answer));
        return;
    }
    std::fprintf(stderr, "velmio: the inbox watch of %s has no credential (%s)\n", qPrintable(settings_.DisplayName()),
                 qPrintable(answer.reason));
    // The user must act: a check tells what; else a later try may get one.
    if (answer.kind == K::SignInAgain) Hold(true);
    else Dropped();
}

void ImapWatch::Dropped() {
    // Only a link that stayed up a while proves the server well; one that
    // drops as soon as it idles keeps the pauses growing.
    if (idling_ && idlingSince_.elapsed() > kSteadyMs) failures_ = 0;
    idling_ = false;
    dropped_ = true;
    if (!following_) return;
    ++failures_;
    retry_.start(PauseAfter(failures_, firstPauseMs_, maxPauseMs_));
}

void ImapWatch::Hold(bool refused) {
    idling_ = false;
    retry_.stop();
    held_ = true;
    if (refused) emit LoginRefused();
}

}  // namespace velmio
