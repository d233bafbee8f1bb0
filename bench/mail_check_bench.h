// A whole mail check against the local Dovecot, side by side with curl
// listing the same mailbox, plain or over TLS. Prints both medians and their
// ratio. Shared by the plain and the TLS benchmark.
//
// Takes the ports from the environment (source scripts/test-env.sh;
// start_test_env), or starts its own Dovecot through the same shell function.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "core/app_state.h"
#include "mail/mail_check.h"
#include "mail/mail_shell.h"
#include "platform/clock.h"

namespace velmio::bench {

// The shell does nothing, so the check itself is what is measured.
class QuietShell : public MailShell {
public:
    void ShowPicture(int) override {}
    void SayText(const QString& text) override {
        said = text;
        if (onSay) onSay();
    }
    void TellSenders(const QStringList& lines) override { senders = lines; }
    void PlayEventSound(int) override {}
    void PlaySoundFile(const QString&) override {}
    int ShowMsg(const QString& text, int) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return 1;
    }
    void ShowFailureBox(const QString& text) override { ShowMsg(text, 16); }
    void AskForPassword() override {}
    void ShowQuestionModal(QDialog&) override { std::fprintf(stderr, "certificate question\n"); }
    void StoreCertPin(const AccountSettings&) override {}
    void UpdateTrayIcon(const QString& suffix, qint16) override { tip = suffix; }
    void SetMailCheckEnabled(bool) override {}
    bool MailCheckEnabled() const override { return true; }
    void SetTimerEnabled(bool) override {}
    QString said;
    std::function<void()> onSay;
    QStringList senders;
    QString tip;
};

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Where the Dovecot of the run listens.
struct Server {
    quint16 port = 0;     // plain
    quint16 tlsPort = 0;  // POP3 over TLS
    QString authority;    // the file of the authority that signed its certificate
    quint16 imapPort = 0;  // plain IMAP
    QString folder;        // where its mail folders are
};

// Starts a Dovecot of our own with the test environment's shell function.
inline QProcess* StartOwnDovecot(const QString& folder, Server* server) {
    const QString script = QStringLiteral(VELMIO_SOURCE_DIR "/scripts/test-env.sh");
    auto* shell = new QProcess;
    shell->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TEST_ENV_DIR"), folder);
    shell->setProcessEnvironment(env);
    // The shell stays alive holding Dovecot; closing its input ends both.
    shell->start(QStringLiteral("bash"),
                 {QStringLiteral("-c"), QStringLiteral("source '%1' && start_dovecot && "
                                                       "echo \"$VELMIO_POP3_PORT $VELMIO_POP3S_PORT $VELMIO_TEST_CA $VELMIO_IMAP_PORT $VELMIO_POP3_DIR\" "
                                                       "&& read _; stop_dovecot")
                                            .arg(script)});
    if (!shell->waitForReadyRead(30000)) return nullptr;
    const QStringList words = QString::fromLocal8Bit(shell->readLine().trimmed()).split(' ');
    server->port = static_cast<quint16>(words.value(0).toUInt());
    server->tlsPort = static_cast<quint16>(words.value(1).toUInt());
    server->authority = words.value(2);
    server->imapPort = static_cast<quint16>(words.value(3).toUInt());
    server->folder = words.value(4);
    return shell;
}

// The Dovecot of the run: the test environment's, or one of our own,
// stopped again when this goes.
class RunDovecot {
public:
    explicit RunDovecot(bool tls) {
        server.port = static_cast<quint16>(qEnvironmentVariableIntValue("VELMIO_POP3_PORT"));
        server.tlsPort = static_cast<quint16>(qEnvironmentVariableIntValue("VELMIO_POP3S_PORT"));
        server.authority = qEnvironmentVariable("VELMIO_TEST_CA");
        server.imapPort = static_cast<quint16>(qEnvironmentVariableIntValue("VELMIO_IMAP_PORT"));
        server.folder = qEnvironmentVariable("VELMIO_POP3_DIR");
        if (server.port != 0 && (!tls || server.tlsPort != 0)) return;
        QFile::setPermissions(folder_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                  QFile::ExeOther);
        own_ = StartOwnDovecot(folder_.path(), &server);
        if (!own_ || server.port == 0)
            std::fprintf(stderr, "no Dovecot: set VELMIO_POP3_PORT or install dovecot-core\n");
    }
    ~RunDovecot() {
        if (!own_) return;
        own_->write("\n");
        own_->closeWriteChannel();
        own_->waitForFinished(10000);
        delete own_;
    }
    bool ok() const { return server.port != 0; }
    Server server;

private:
    QTemporaryDir folder_;
    QProcess* own_ = nullptr;
};

// A check's state for a user of the run's Dovecot, with a reaction of each kind.
inline void SetUpCheck(AppState& state, const QString& folder, quint16 port, const QString& user) {
    state.paths = AppPaths::ProgramFolder(folder);
    state.settings.Server = QStringLiteral("127.0.0.1");
    state.settings.Port = static_cast<qint16>(port);
    state.settings.LoginName = user;
    state.settings.LoginPass = QStringLiteral("secret");
    state.reactions.of(EventKind::ExistMail) = {Reaction{3, 1, QString(), QStringLiteral("通来てるよ")}};
    state.reactions.of(EventKind::NoMail) = {Reaction{5, 0, QString(), QStringLiteral("来てないよ")}};
}

// Whole checks and curl's runs turn about, so that a busy moment of the
// machine falls on both; prints both medians and their ratio. 1 when curl
// failed.
inline int TurnAbout(MailCheck& check, const QuietShell& shell, const QStringList& curlArgs, int runs,
                     const QString& title, const char* curlLabel) {
    std::vector<double> ours, curl;
    QEventLoop loop;
    QObject::connect(&check, &MailCheck::SessionEnded, &loop, &QEventLoop::quit);
    for (int i = 0; i < runs + 1; ++i) {
        QElapsedTimer t;
        t.start();
        check.ExecuteMailCheck();
        if (check.CheckRunning()) loop.exec();
        const double s = t.nsecsElapsed() / 1e9;
        QProcess p;
        p.start(QStringLiteral("curl"), curlArgs);
        if (!p.waitForFinished(30000) || p.exitCode() != 0) {
            std::fprintf(stderr, "curl failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
        if (i == 0) continue;  // the first round warms up
        ours.push_back(s);
        curl.push_back(p.readAllStandardOutput().trimmed().toDouble());
    }
    const double a = Median(ours);
    const double b = Median(curl);
    std::printf("%s, %d checks each, last tip \"%s\"\n", qPrintable(title), runs, qPrintable(shell.tip));
    std::printf("velmio whole check  median %8.3f ms\n", a * 1e3);
    std::printf("%-19s median %8.3f ms\n", curlLabel, b * 1e3);
    std::printf("ratio velmio / curl        %8.2f\n", a / b);
    return 0;
}

// argv: [runs] [user]. tls: the check and curl both go over POP3S.
inline int RunSideBySide(int argc, char** argv, bool tls) {
    QCoreApplication app(argc, argv);
    const int runs = std::max(50, argc > 1 ? atoi(argv[1]) : 50);
    const QString user = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("alice");

    const RunDovecot dovecot(tls);
    if (!dovecot.ok()) return 1;
    const Server& server = dovecot.server;
    const quint16 port = tls ? server.tlsPort : server.port;

    QTemporaryDir programFolder;
    AppState state;
    SetUpCheck(state, programFolder.path(), port, user);
    state.settings.Security = tls ? 2 : 0;
    QuietShell shell;
    SystemClock clock;
    MailCheck check(state, shell, clock);
    if (tls) check.SetTrustStore(QSslCertificate::fromPath(server.authority));

    const QString url = QStringLiteral("%1://%2:secret@127.0.0.1:%3/").arg(tls ? "pop3s" : "pop3", user).arg(port);
    QStringList args{QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-w"),
                     QStringLiteral("%{time_total}"), url};
    if (tls) args << QStringLiteral("--cacert") << server.authority;

    const QString title = QStringLiteral("%1, mailbox %2").arg(tls ? "POP3 over TLS" : "plain POP3", user);
    return TurnAbout(check, shell, args, runs, title, "curl time_total");
}

}  // namespace velmio::bench
