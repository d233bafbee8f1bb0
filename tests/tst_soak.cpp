#include <QDir>
#include <QRandomGenerator>
#include <QtTest>
#include <unistd.h>

#include "support/mail_fixture.h"
#include "support/scripted_server.h"

using namespace velmio;
using namespace velmio::test;

namespace {

qsizetype OpenFds() { return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size(); }

qint64 ResidentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // freed memory waits in quarantine, so RSS says nothing
#else
constexpr bool kSanitized = false;
#endif

// One session of a server that misbehaves at random: it hangs up at any
// point, goes silent, sends bytes that are no code page 932, cuts a reply
// anywhere, or answers as it should.
QList<ScriptedTurn> Misbehaving(QRandomGenerator& rng, ScriptedServer& server) {
    QList<ScriptedTurn> script = NormalTranscript("+OK %1 messages:", rng.bounded(4));
    const int turn = rng.bounded(int(script.size()));
    QByteArray& reply = script[turn].reply;
    server.setCut(-1);
    switch (rng.bounded(5)) {
    case 0:  // hangs up, maybe mid-reply
        reply.truncate(rng.bounded(int(reply.size()) + 1));
        script[turn].end = rng.bounded(2) ? ScriptedTurn::Close : ScriptedTurn::Reset;
        script.resize(turn + 1);
        break;
    case 1:  // goes silent past the reply time-out
        reply.truncate(rng.bounded(int(reply.size())));
        script.resize(turn + 1);
        break;
    case 2:  // bytes no code page 932 decodes
        reply.insert(rng.bounded(int(reply.size())), QByteArray("\x80\xff\xa0\x82\xfd", 5));
        break;
    case 3:
        server.setCut(1 + rng.bounded(int(reply.size())));
        break;
    default:
        break;
    }
    return script;
}

}  // namespace

class SoakTest : public QObject {
    Q_OBJECT
private slots:
    // A thousand checks in a row: each one ends with the program ready for
    // the next, and nothing piles up along the way.
    void thousandChecksAgainstAMisbehavingServer() {
        QRandomGenerator rng(20261207);
        ScriptedServer server({});
        MailFixture f(server.port());
        f.check.SetReplyTimeout(150);
        qsizetype fds = 0;
        qint64 rss = 0;
        for (int i = 1; i <= 1000; ++i) {
            server.setScript(Misbehaving(rng, server));
            QVERIFY2(f.run(), qPrintable(QStringLiteral("check %1 did not end").arg(i)));
            QVERIFY2(f.readyAgain(), qPrintable(QStringLiteral("check %1 left: ").arg(i) + f.shell.calls.join(", ")));
            f.shell.calls.clear();
            f.shell.messages.clear();
            // What the program's main loop would do between checks.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            if (i == 100) {
                fds = OpenFds();
                rss = ResidentBytes();
            }
        }
        QTest::qWait(50);  // the server sees the last client go
        const qint64 grown = ResidentBytes() - rss;
        qInfo("open fds after 100 checks: %lld, after 1000: %lld; RSS after 100: %lld KiB, grown since: %lld KiB",
              qint64(fds), qint64(OpenFds()), rss / 1024, grown / 1024);
        QVERIFY(OpenFds() <= fds);
        if (!kSanitized) QVERIFY(grown < 2 * 1024 * 1024);
    }
};

QTEST_GUILESS_MAIN(SoakTest)
#include "tst_soak.moc"
