// A whole check that tells who wrote (three TOPs for the newest messages)
// side by side with the plain check, on the same Dovecot mailbox, turn about.
#include "mail_check_bench.h"

int main(int argc, char** argv) {
    using namespace velmio;
    using namespace velmio::bench;
    QCoreApplication app(argc, argv);
    const int runs = std::max(50, argc > 1 ? atoi(argv[1]) : 100);
    const RunDovecot dovecot(false);
    if (!dovecot.ok()) return 1;
    QTemporaryDir programFolder;
    AppState state;
    SetUpCheck(state, programFolder.path(), dovecot.server.port, QStringLiteral("alice"));  // three messages
    AppSettings& s = state.settings;
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
    return 0;
}
