// Four accounts on the local Dovecot checked at once, side by side with the
// same four checked one after another, each as the only account. argv: [runs].
#include "mail_check_bench.h"

namespace velmio::bench {
namespace {

// The four accounts: POP3 and IMAP side by side, on different mailboxes.
QList<AccountSettings> FourAccounts(const Server& server) {
    QList<AccountSettings> accounts;
    const std::pair<const char*, bool> users[] = {{"alice", false}, {"mixed", true}, {"empty", false}, {"carol", true}};
    for (const auto& [user, imap] : users) {
        AccountSettings a;
        a.Server = QStringLiteral("127.0.0.1");
        a.Protocol = imap ? kImap : kPop3;
        a.Port = static_cast<qint16>(imap ? server.imapPort : server.port);
        a.LoginName = QString::fromLatin1(user);
        a.LoginPass = QStringLiteral("secret");
        a.AccountName = a.LoginName;
        a.Section = accounts.isEmpty() ? 1 : int(accounts.size()) + 1;
        accounts << a;
    }
    return accounts;
}

// Seconds for one check of the accounts given, all at once.
double TimedCheck(AppState& state, MailCheck& check, const QList<AccountSettings>& accounts) {
    static_cast<AccountSettings&>(state.settings) = accounts.first();
    state.settings.MoreAccounts = accounts.mid(1);
    QEventLoop loop;
    QObject::connect(&check, &MailCheck::SessionEnded, &loop, &QEventLoop::quit);
    QElapsedTimer t;
    t.start();
    check.ExecuteMailCheck();
    if (check.CheckRunning()) loop.exec();
    return t.nsecsElapsed() / 1e9;
}

}  // namespace
}  // namespace velmio::bench

int main(int argc, char** argv) {
    using namespace velmio;
    using namespace velmio::bench;
    QCoreApplication app(argc, argv);
    const int runs = std::max(10, argc > 1 ? atoi(argv[1]) : 30);
    const RunDovecot dovecot(false);
    if (!dovecot.ok() || dovecot.server.imapPort == 0) return 1;
    QTemporaryDir programFolder;
    AppState state;
    SetUpCheck(state, programFolder.path(), dovecot.server.port, QStringLiteral("alice"));
    QuietShell shell;
    SystemClock clock;
    MailCheck check(state, shell, clock);
    const QList<AccountSettings> four = FourAccounts(dovecot.server);
    std::vector<double> together, apart;
    std::vector<std::vector<double>> each(four.size());
    // Turn about, so that a busy moment of the machine falls on both.
    for (int i = 0; i < runs + 1; ++i) {
        const double all = TimedCheck(state, check, four);
        double one = 0;
        std::vector<double> alone;
        for (const AccountSettings& a : four) one += alone.emplace_back(TimedCheck(state, check, {a}));
        if (i == 0) continue;  // the first round warms up
        for (size_t k = 0; k < four.size(); ++k) each[k].push_back(alone[k]);
        together.push_back(all);
        apart.push_back(one);
    }
    const double a = Median(together), b = Median(apart);
    std::printf("four accounts (POP3 and IMAP), %d checks each, last tip \"%s\"\n", runs, qPrintable(shell.tip));
    std::printf("one check of all four      median %8.3f ms\n", a * 1e3);
    std::printf("four checks one by one     median %8.3f ms\n", b * 1e3);
    for (size_t k = 0; k < four.size(); ++k)
        std::printf("  %-6s alone             median %8.3f ms\n", qPrintable(four[int(k)].LoginName), Median(each[k]) * 1e3);
    std::printf("ratio together / one alone %8.2f  (one alone: %.3f ms)\n", a / (b / 4), b / 4 * 1e3);
    return 0;
}
