#include "mail/mail_check.h"

#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "core/app_state.h"
#include "mail/account_check.h"
#include "mail/auth/credential_sources.h"
#include "mail/certificate_question.h"
#include "mail/imap/imap_session.h"
#include "mail/mail_header.h"
#include "mail/mail_shell.h"
#include "mail/reported_ids.h"
#include "platform/clock.h"
#include "platform/password_keyring.h"

namespace velmio {
namespace {

// Senders told by name, in all; the rest are counted.
constexpr int kSendersTold = 3;

// "山田 太郎さん「会議の件」", cut to stay readable in the balloon.
QString SenderLine(const MailHeader& h) {
    const QString line = Elide(h.from, 16) + QStringLiteral("さん");
    return h.subject.isEmpty() ? line : line + QStringLiteral("「") + Elide(h.subject, 24) + QStringLiteral("」");
}

}  // namespace

MailCheck::MailCheck(AppState& state, MailShell& shell, Clock& clock, QObject* parent)
    : QObject(parent),
      state_(state),
      shell_(shell),
      log_(state, clock),
      draw_(clock),
      results_(state, shell, draw_, log_),
      count_(state, shell, results_) {
    SyncAccounts();
}

MailCheck::~MailCheck() = default;

void MailCheck::SyncAccounts() {
    const QList<AccountSettings> all = AllAccounts(state_.settings);
    std::vector<std::unique_ptr<AccountCheck>> next;
    for (int i = 0; i < all.size(); ++i) {
        auto same = std::find_if(accounts_.begin(), accounts_.end(), [&](const std::unique_ptr<AccountCheck>& a) {
            return a && (i == 0 ? a->index() == 0 : a->index() != 0 && a->SameAccount(all[i]));
        });
        if (same != accounts_.end()) {
            (*same)->SetIndex(i);
            next.push_back(std::move(*same));
            continue;
        }
        auto part = std::make_unique<AccountCheck>(state_, i, i == 0 ? &state_ : nullptr);
        connect(part.get(), &AccountCheck::Counted, this, &MailCheck::HandleCounted);
        connect(part.get(), &AccountCheck::HeadersFetched, this, &MailCheck::HandleHeaders);
        connect(part.get(), &AccountCheck::Ended, this, &MailCheck::HandleEnded);
        connect(part.get(), &AccountCheck::CredentialAnswered, this, &MailCheck::HandleCredential);
        part->ForEachSession([this](MailSession& m) {
            if (replyTimeoutMs_ >= 0) m.SetReplyTimeout(replyTimeoutMs_);
            m.SetTrustStore(authorities_);
        });
        next.push_back(std::move(part));
    }
    // An account gone from the settings may be inside one of its own
    // signals: it goes once the event loop is back.
    for (auto& gone : accounts_) {
        if (!gone) continue;
        gone->Abort();
        gone.release()->deleteLater();
    }
    accounts_ = std::move(next);
}

QList<AccountCheck*> MailCheck::Parts() const {
    QList<AccountCheck*> parts;
    for (const auto& a : accounts_)
        if (a->inCheck) parts << a.get();
    return parts;
}

bool MailCheck::SessionOpen() const {
    return std::any_of(accounts_.begin(), accounts_.end(), [](const auto& a) { return a->session().IsOpen(); });
}

int MailCheck::PopState() const { return accounts_.front()->session().Step(); }

void MailCheck::SetReplyTimeout(int ms) {
    replyTimeoutMs_ = ms;
    for (auto& a : accounts_) a->ForEachSession([ms](MailSession& m) { m.SetReplyTimeout(ms); });
}

void MailCheck::SetTrustStore(const QList<QSslCertificate>& authorities) {
    authorities_ = authorities;
    for (auto& a : accounts_) a->ForEachSession([&authorities](MailSession& m) { m.SetTrustStore(authorities); });
}

QString MailCheck::Named(const AccountCheck& part, const QString& line) const {
    return named_ ? part.Name() + QStringLiteral(": ") + line : line;
}

void MailCheck::ExecuteMailCheck(bool attended, int onlyAccount) {
    // The certificate question decides what the running check does next;
    // a second check would only ask it again.
    if (asking_) return;
    // A check waiting for its credentials (a keyring's unlock) gets them first.
    if (fetching_) return;
    ++checks_;
    abandoned_ = running_;
    running_ = true;
    attended_ = attended;
    reacted_ = told_ = false;
    failedInOrder_.clear();
    announced_.clear();
    questions_.clear();
    for (auto& a : accounts_) {
        a->Abort();  // without a word to the server
        a->inCheck = false;
    }
    SyncAccounts();
    int enabled = 0;
    for (const auto& a : accounts_) enabled += a->settings().Enabled;
    named_ = enabled > 1;
    for (auto& a : accounts_)
        if (a->settings().Enabled && (onlyAccount < 0 || a->index() == onlyAccount)) a->Begin();
    const QList<AccountCheck*> parts = Parts();
    count_.SetBoxes(attended);

    // Each source answers at once or later; she waits while one is asked
    // that takes time: a keyring, GNOME, a sign-in.
    const auto slow = [this](AccountCheck* p) {
        const AccountSettings& a = p->settings();
        return CredentialKind(a) != 0 || (a.LoginPass.isEmpty() && a.PasswordUnread && keyring_);
    };
    if (std::any_of(parts.begin(), parts.end(), slow) && !waiting_) StartWaiting();
    const quint64 check = checks_;
    fetching_ = askingAll_ = true;
    for (AccountCheck* part : parts) {
        part->FetchCredential(false, keyring_);
        if (check != checks_) return;
    }
    askingAll_ = false;
    if (std::any_of(parts.begin(), parts.end(), [](AccountCheck* p) { return p->fetching; }) && !waiting_)
        StartWaiting();
    CredentialsIn();
}

void MailCheck::HandleCredential(AccountCheck* part, const CredentialAnswer& answer) {
    if (!part->inCheck || !running_) return;
    AccountSettings& a = part->settings();
    const qint16 kind = CredentialKind(a);
    if (kind == 0 && answer.kind == CredentialAnswer::Kind::Ready) {
        // What the keyring gave is the password from now on.
        a.LoginPass = answer.credential.secret;
        a.PasswordUnread = false;
    } else if (kind == 0 && answer.kind == CredentialAnswer::Kind::Missing && keyring_) {
        a.PasswordUnread = false;
    }
    if (fetching_) {
        CredentialsIn();
        return;
    }
    // The renewal after a refused token: one more try, or the end.
    if (answer.kind == CredentialAnswer::Kind::Ready) {
        part->Connect();
        return;
    }
    MaybeSignIn(*part, answer);
    PartEnded(part, SessionOutcome::Of(SessionOutcome::Kind::LoginRefused), CredentialFailure(answer, kind));
}

void MailCheck::MaybeSignIn(const AccountCheck& part, const CredentialAnswer& answer) {
    using K = CredentialAnswer::Kind;
    if (!attended_ || CredentialKind(part.settings()) != kAuthDeviceGrant) return;
    if (answer.kind != K::Missing && answer.kind != K::SignInAgain) return;
    // After her line, once the check has ended: the dialog is modal.
    const int index = part.index();
    QTimer::singleShot(0, this, [this, index] {
        if (index <= state_.settings.MoreAccounts.size()) shell_.StartSignIn(AccountAt(state_.settings, index));
    });
}

void MailCheck::CredentialsIn() {
    if (askingAll_ || !fetching_) return;
    const QList<AccountCheck*> parts = Parts();
    if (std::any_of(parts.begin(), parts.end(), [](AccountCheck* p) { return p->fetching; })) return;
    fetching_ = false;
    const auto noPassword = [](AccountCheck* p) {
        return CredentialKind(p->settings()) == 0 && p->settings().LoginPass.isEmpty();
    };
    for (AccountCheck* part : parts) {
        const CredentialAnswer& answer = part->credential;
        const bool password = CredentialKind(part->settings()) == 0;
        // A password not there is asked for below.
        using K = CredentialAnswer::Kind;
        if (answer.kind == K::Ready || (password && answer.kind == K::Missing)) continue;
        const FailureReaction failed = CredentialFailure(answer, CredentialKind(part->settings()));
        MaybeSignIn(*part, answer);
        if (!named_) {
            // The credential is there but was not given: a failed check,
            // never the no-password box; it is asked for again next time.
            waiting_ = false;
            EndWith(failed);
            return;
        }
        part->failure = failed;
    }
    if (!named_ && !parts.isEmpty() && !parts.first()->failure && noPassword(parts.first())) {
        running_ = false;
        parts.first()->inCheck = false;
        // The abandoned check can no longer give back the menu item and
        // the timer; nothing else would.
        if (abandoned_ || waiting_) {
            waiting_ = false;
            shell_.SetMailCheckEnabled(true);
            shell_.SetTimerEnabled(state_.settings.AutoCheck);
        }
        shell_.AskForPassword();
        return;
    }
    if (!waiting_) StartWaiting();
    waiting_ = false;
    for (AccountCheck* part : parts) {
        if (!part->failure && noPassword(part)) part->failure = NoPassword();
        if (part->failure) {
            part->failureWord = QStringLiteral("エラー");
            part->ended = true;
            failedInOrder_ << part;
        }
    }
    for (AccountCheck* part : std::as_const(parts))
        if (!part->ended) part->Connect(shell_.Away());
    if (parts.isEmpty()) {
        shell_.ShowPicture(0);
        shell_.SayText(QStringLiteral("チェックするアカウントがないよ…"));
    }
    MaybeReact();
    MaybeConclude();
}

void MailCheck::StartWaiting() {
    waiting_ = true;
    shell_.SetTimerEnabled(false);
    shell_.PlayEventSound(1);
    shell_.ShowPicture(1);
    shell_.SayText(QStringLiteral("ちょっと待ってね…"));
    shell_.SetMailCheckEnabled(false);
}

void MailCheck::HandleCounted(AccountCheck* part, const MailboxCount& c) {
    const quint64 check = checks_;
    std::optional<qint16> unseen;
    QList<int> fresh;
    std::optional<ReportedIds> store;
    QStringList onServer;
    QHash<int, QString> idOf;
    const AccountSettings& a = part->settings();
    // Ids come for the not-yet-told mode, or else only to be marked seen.
    const bool tellOnce = state_.settings.DispDiff == kNotYetTold;
    if (c.ids) {
        QSet<QString> told;
        if (tellOnce) {
            store.emplace(state_.paths.LogDir(), a.Server, static_cast<quint16>(a.Port), a.LoginName);
            told = store->Load();
        }
        for (const auto& [key, id] : *c.ids) {
            onServer << id;
            idOf.insert(key, id);
            if (!told.contains(id)) fresh << key;
        }
        std::sort(fresh.begin(), fresh.end(), std::greater<int>());  // newest first
        if (tellOnce) unseen = static_cast<qint16>(qMin<qsizetype>(fresh.size(), 32767));
    }
    // Without unique ids the not-yet-told mode counts as since the last check.
    const qint16 n = count_.Tally(part->counters(), c.listReply, c.unread, unseen);
    if (check != checks_) return;  // replaced during a message box
    if (store && !store->Save(onServer))
        std::fprintf(stderr, "velmio: could not keep the told messages in %s\n", qPrintable(store->path()));
    part->counted = true;
    part->reported = n;
    part->fresh = fresh;
    if (UsesImap(part->settings()))
        for (const int key : fresh.mid(0, qMax<int>(n, 0))) part->announced << idOf.value(key);
    if (part->index() > 0) part->settings().Mail = part->counters().MailTotal;
    MaybeReact();
}

qint16 MailCheck::TotalOfAll() const {
    int total = 0;
    for (const auto& a : accounts_)
        if (a->settings().Enabled) total += a->counters().MailTotal;
    return static_cast<qint16>(qBound(-32768, total, 32767));
}

void MailCheck::MaybeReact() {
    if (reacted_ || !running_) return;
    const QList<AccountCheck*> parts = Parts();
    if (std::any_of(parts.begin(), parts.end(), [](AccountCheck* p) { return !p->counted && !p->ended; })) return;
    QList<AccountCheck*> counted;
    for (AccountCheck* p : parts)
        if (p->counted) counted << p;
    if (counted.isEmpty()) return;  // every part failed: the first failure is the reaction
    reacted_ = true;
    int sum = 0;
    for (AccountCheck* p : counted) sum += p->reported;
    reported_ = static_cast<qint16>(qMin(sum, 32767));
    const quint64 check = checks_;
    count_.React(reported_, TotalOfAll(), !named_);
    if (check != checks_) return;
    if (named_) {
        for (AccountCheck* p : counted)
            log_.WriteLog(Named(*p, p->reported ? QString::number(p->reported) + QStringLiteral("件") : QStringLiteral("No Mail")));
        ShowTrayDetails(reported_);
    }
    const bool senders = reported_ > 0 && state_.settings.ShowSender;
    if (!senders) MaybeTell();
    for (AccountCheck* p : counted) {
        if (p->ended) continue;
        if (senders && p->reported > 0) {
            p->session().FetchHeaders(qMin<int>(p->reported, kSendersTold), p->fresh);
        } else {
            p->session().Finish();
        }
        if (check != checks_) return;
    }
}

void MailCheck::HandleHeaders(AccountCheck* part, const QList<QByteArray>& headers) {
    QStringList lines;
    for (const QByteArray& h : headers) lines << Named(*part, SenderLine(ParseMailHeader(h)));
    part->senders = lines;
    part->headersIn = true;
    MaybeTell();
}

void MailCheck::MaybeTell() {
    if (told_ || !reacted_) return;
    const QList<AccountCheck*> parts = Parts();
    const bool senders = reported_ > 0 && state_.settings.ShowSender;
    // Headers are in when asked for and answered, or the part has ended.
    if (senders && std::any_of(parts.begin(), parts.end(), [](AccountCheck* p) {
            return p->counted && p->reported > 0 && !p->headersIn && !p->ended;
        }))
        return;
    told_ = true;
    // The newest of each account in turn, three in all.
    QStringList lines;
    for (int i = 0; lines.size() < kSendersTold; ++i) {
        bool more = false;
        for (AccountCheck* p : parts) {
            if (i >= p->senders.size() || lines.size() >= kSendersTold) continue;
            lines << p->senders[i];
            more = true;
        }
        if (!more) break;
    }
    const int rest = reported_ - int(lines.size());
    if (!lines.isEmpty() && rest > 0) lines << QStringLiteral("ほか %1通").arg(rest);
    for (AccountCheck* p : std::as_const(failedInOrder_)) lines << Named(*p, p->failure->line);
    for (AccountCheck* p : parts)
        if (p->counted && !p->announced.isEmpty())
            announced_ << AnnouncedMail{p->settings().Server, p->settings().Port, p->settings().LoginName, p->announced};
    if (reported_ > 0 || !failedInOrder_.isEmpty()) shell_.TellSenders(lines);
}

void MailCheck::HandleEnded(AccountCheck* part, const SessionOutcome& o) {
    if (!part->inCheck || !running_) return;
    if (o.kind == SessionOutcome::Kind::CertificateUntrusted) {
        AskAboutCertificate(part, o);
        return;
    }
    if (o.kind == SessionOutcome::Kind::LoginRefused && part->TokenLogin()) {
        // A token may have expired just now: renewed once, then one more try.
        if (!part->retried) {
            part->retried = true;
            part->FetchCredential(true, keyring_);
            return;
        }
        PartEnded(part, o, CredentialFailure(CredentialAnswer::Of(CredentialAnswer::Kind::SignInAgain,
                                                                  QStringLiteral("the renewed token was refused too")),
                                             CredentialKind(part->settings())));
        return;
    }
    PartEnded(part, o);
}

void MailCheck::PartEnded(AccountCheck* part, const SessionOutcome& o, const std::optional<FailureReaction>& reaction) {
    part->ended = true;
    const bool loggedOut = o.kind == SessionOutcome::Kind::Finished;
    const int index = part->index();
    const quint64 check = checks_;
    if (!loggedOut && Parts().size() == 1) {
        // One account: the reaction of old to each way it can end.
        if (o.RefusedAfterLogin()) {
            EndAfterRefusal(o);
        } else {
            EndWith(reaction.value_or(FailureReactionTo(o)), named_ ? part->Name() : QString());
        }
        if (check == checks_) emit AccountChecked(index, false);
        return;
    }
    if (!loggedOut && !part->counted) {
        part->failure = reaction.value_or(FailureReactionTo(o));
        part->failureWord = FailureWord(o);
        failedInOrder_ << part;
    } else if (!loggedOut) {
        // After its count the count stands; what came after is logged.
        LogFailure(*part, FailureReactionTo(o));
    }
    emit AccountChecked(index, loggedOut);
    if (check != checks_) return;
    MaybeReact();
    if (check != checks_) return;
    MaybeTell();
    MaybeConclude();
}

void MailCheck::MaybeConclude() {
    if (!running_) return;
    const QList<AccountCheck*> parts = Parts();
    if (std::any_of(parts.begin(), parts.end(), [](AccountCheck* p) { return !p->ended; })) return;
    if (!reacted_ && !failedInOrder_.isEmpty()) {
        // Nothing counted: the first failure is her reaction, the others follow.
        AccountCheck* first = failedInOrder_.takeFirst();
        for (AccountCheck* p : std::as_const(failedInOrder_)) LogFailure(*p, *p->failure);
        QStringList others;
        for (AccountCheck* p : std::as_const(failedInOrder_)) others << Named(*p, p->failure->line);
        const quint64 check = checks_;
        EndWith(*first->failure, named_ ? first->Name() : QString());
        if (check == checks_ && !others.isEmpty()) shell_.TellSenders(others);
        return;
    }
    for (AccountCheck* p : std::as_const(failedInOrder_)) LogFailure(*p, *p->failure);
    Close();
}

void MailCheck::LogFailure(const AccountCheck& part, const FailureReaction& r) {
    log_.WriteLog(Named(part, r.logEntry.isEmpty() ? r.line : r.logEntry));
}

void MailCheck::ShowTrayDetails(qint16 reported) {
    QStringList lines{SummaryText(reported, TotalOfAll())};
    for (const auto& a : accounts_) {
        if (!a->settings().Enabled) continue;
        const QString what = a->failure ? a->failureWord : QStringLiteral("%1件").arg(a->counters().MailTotal);
        lines << a->Name() + QStringLiteral(": ") + what;
    }
    shell_.UpdateTrayIcon(lines.join(QLatin1Char('\n')), reported);
}

void MailCheck::Close() {
    Ended();
    shell_.SetMailCheckEnabled(true);
    emit SessionEnded();
}

void MailCheck::Ended() {
    running_ = false;
    for (auto& a : accounts_) a->inCheck = false;
    shell_.SetTimerEnabled(state_.settings.AutoCheck);
}

void MailCheck::EndAfterRefusal(const SessionOutcome& o) {
    // A refusal after the login: the count to the tip, as an error.
    shell_.ShowPicture(0);
    shell_.UpdateTrayIcon(ErrorSummaryText(TotalOfAll()), 0);
    const bool answeredLogout = o.refusal == SessionOutcome::Refusal::Logout;
    if (answeredLogout) results_.NoMailReaction();
    Ended();
    shell_.SetMailCheckEnabled(true);
    // "ちょっと待ってね…" must not stay standing when the count was refused.
    if (!answeredLogout) {
        shell_.PlayEventSound(5);
        shell_.SayText(QStringLiteral("エラーみたい…"));
    }
    emit SessionEnded();
}

void MailCheck::EndWith(const FailureReaction& r, const QString& name) {
    const quint64 check = checks_;
    const QString line = name.isEmpty() ? r.line : name + QStringLiteral(": ") + r.line;
    // With several accounts every one gets its entry, named.
    const QString entry =
        name.isEmpty() ? r.logEntry : name + QStringLiteral(": ") + (r.logEntry.isEmpty() ? r.line : r.logEntry);
    if (!r.box.isEmpty() && attended_) {
        // Sound 5 follows below; the box itself stays silent.
        shell_.ShowFailureBox(r.box);
        if (check != checks_) {
            // A new check started while the message box was open; it owns
            // the character now. The error still belongs in the log.
            if (!entry.isEmpty()) log_.WriteLog(entry);
            return;
        }
    }
    shell_.SetMailCheckEnabled(true);
    shell_.PlayEventSound(5);
    shell_.ShowPicture(r.picture);
    if (!entry.isEmpty()) log_.WriteLog(entry);
    shell_.SayText(line);
    Ended();
    emit SessionEnded();
}

void MailCheck::AskAboutCertificate(AccountCheck* part, const SessionOutcome& o) {
    if (asking_) {
        // One question at a time: the next once this one is answered.
        questions_.append({part, o});
        return;
    }
    const quint64 check = checks_;
    AccountSettings& a = part->settings();
    CertificateQuestion question(a.Server, static_cast<quint16>(a.Port), o.certificate, o.errors, !a.CertPin.isEmpty());
    asking_ = true;
    shell_.ShowQuestionModal(question.box());
    asking_ = false;
    if (check != checks_) return;
    if (question.Trusted()) {
        TrustCertificate(state_.settings, a, QString::fromLatin1(o.certificate.digest(QCryptographicHash::Sha256).toHex()));
        shell_.StoreCertPin(a);
        // The server did not wait for the answer: start once more, now
        // with the pin. The question's end gave the timer back.
        shell_.SetTimerEnabled(false);
        part->Connect();
    } else {
        PartEnded(part, o);
    }
    if (check != checks_ || questions_.isEmpty()) return;
    const auto [next, outcome] = questions_.takeFirst();
    AskAboutCertificate(next, outcome);
}

}  // namespace velmio
