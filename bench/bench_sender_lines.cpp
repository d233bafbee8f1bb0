// A whole check that tells who wrote (three TOPs for the newest messages)
// side by side with the plain check, on the same Dovecot mailbox, turn about.
#include "mail_check_bench.h"

int main(int argc, char** argv) {
    using namespace velmio;
    using namespace velmio::bench;
    QCoreApplication app(argc, argv);
    const int runs = std::max(50, argc > 1 ? atoi(argv[1]) : 100);
    Server server;
    server.port = static_cast<quint16>(qEnvironmentVariableIntValue("VELMIO_POP3_PORT"));
    QTemporaryDir ownFolder;
    QProcess* own = nullptr;
    if (server.port == 0) {
        QFile::setPermissions(ownFolder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                    QFile::ExeOther);
        own = StartOwnDovecot(ownFolder.path(), &server);
        if (!own || server.port == 0) {
            std::fprintf(stderr, "no Dovecot: set VELMIO_POP3_PORT or install dovecot-core\n");
            return 1;
        }
    }
    QTemporaryDir programFolder;
    AppState state;
    state.paths = AppPaths::ProgramFolder(programFolder.path());
    AppSettings& s = state.settings;
    s.Server = QStringLiteral("127.0.0.1");
    s.Port = static_cast<qint16>(server.port);
    s.LoginName = QStringLiteral("alice");  // three messages, all reported
    s.LoginPass = QStringLiteral("secret");
    state.reactions.of(EventKind::ExistMail) = {Reaction{3, 1, QString(), QStringLiteral("通来てるよ")}};
    state.reactions.of(EventKind::NoMail) = {Reaction{5, 0, QString(), QStringLiteral("来てないよ")}};
    QuietShell shell;
    SystemClock clock;
    MailCheck check(state, shell, clock);
    QEventLoop loop;
    QObject::connect(&check, &MailCheck::SessionEnded, &loop, &QEventLoop::quit);
    const auto timed = [&](bool senders) {
        s.ShowSender = senders;
        QElapsedTimer t;
        t.start();
        check.ExecuteMailCheck();
        if (check.SessionOpen()) loop.exec();
        return t.nsecsElapsed() / 1e9;
    };
    std::vector<double> with, without;
    QStringList told;
    for (int i = 0; i < runs + 1; ++i) {
        const double a = timed(true);
        told = shell.senders;
        const double b = timed(false);
        if (i == 0) continue;  // the first round warms up
        with.push_back(a);
        without.push_back(b);
    }
    const double a = Median(with), b = Median(without);
    std::printf("plain POP3, mailbox alice, %d checks each, sender lines: %s\n", runs,
                qPrintable(told.join(QStringLiteral(" | "))));
    std::printf("with sender lines (3 TOPs)  median %8.3f ms\n", a * 1e3);
    std::printf("plain check                 median %8.3f ms\n", b * 1e3);
    std::printf("ratio with / plain                 %8.2f\n", a / b);
    if (own) {
        own->write("\n");
        own->closeWriteChannel();
        own->waitForFinished(10000);
        delete own;
    }
    return 0;
}
