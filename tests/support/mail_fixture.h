#pragma once

#include <QTemporaryDir>
#include <QtTest>

#include "core/app_state.h"
#include "mail/mail_check.h"
#include "platform/clock.h"
#include "support/recording_mail_shell.h"

namespace velmio::test {

inline const QString kNoMailLine = QStringLiteral("メールは来てないよ");
inline const QString kWaitLine = QStringLiteral("ちょっと待ってね…");
inline const QString kWrongLoginLine = QStringLiteral("ユーザー名かパスワードが違うみたい…");
inline const QString kErrorLine = QStringLiteral("エラーみたい…");
inline const QString kFailedLine = QStringLiteral("えへへへ。しっぱいしちゃったぁ。");
inline const QString kArrivalLine = QStringLiteral("あれ？チェックに失敗しちゃったぁ");
inline const QString kManyLine = QStringLiteral("メールいっぱいきてるよ。すごいね。びっくりだね。");
// What the one new-mail variant below says for n new mails.
inline QString ExistLine(int n) { return QStringLiteral("お兄ちゃんに、メールは  %1通来てるよ").arg(n); }

// A real mail check and its parts, with a recording shell, a set clock
// (Wednesday 2026-01-07 9:05:07), a program folder of its own and a reaction
// table of one variant per kind.
struct MailFixture {
    QTemporaryDir dir;
    AppState state;
    RecordingMailShell shell;
    ManualClock clock{QDateTime(QDate(2026, 1, 7), QTime(9, 5, 7))};
    MailCheck check{state, shell, clock};
    CheckLog checkLog{state, clock};
    ReactionDraw draw{clock};
    ResultMessages results{state, shell, draw, checkLog};
    MailCount count{state, shell, results};

    explicit MailFixture(quint16 port = 110) {
        state.paths = AppPaths::ProgramFolder(dir.path());
        AppSettings& s = state.settings;
        s.Server = QStringLiteral("127.0.0.1");
        s.Port = static_cast<qint16>(port);
        s.LoginName = QStringLiteral("alice");
        s.LoginPass = QStringLiteral("secret");
        s.NickName = QStringLiteral("お兄ちゃん");
        s.AutoCheck = s.PlayWave = s.LogMode = true;
        s.ShowSender = false;  // the plain dialogue; tests of the sender lines turn it on
        state.reactions.of(EventKind::ExistMail) = {Reaction{3, 1, "/sounds/exist.wav", "通来てるよ"}};
        state.reactions.of(EventKind::NoMail) = {Reaction{5, 0, QString(), kNoMailLine}};
        state.reactions.of(EventKind::Error) = {Reaction{4, 0, QString(), QStringLiteral("エラー")}};
        check.SetReplyTimeout(10000);
    }

    // Runs one check to its end; false when it did not end in time.
    bool run() {
        QSignalSpy ended(&check, &MailCheck::SessionEnded);
        check.ExecuteMailCheck();
        return ended.count() > 0 || ended.wait(15000);
    }

    QByteArray log() const {
        QFile f(dir.filePath("Wed.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Every way a check ends leaves the program ready for the next one.
    bool readyAgain() const {
        return shell.menuEnabled && shell.timerEnabled == state.settings.AutoCheck && !check.SessionOpen();
    }
};

}  // namespace velmio::test
