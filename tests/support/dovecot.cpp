#include "support/dovecot.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmio::test {

namespace {

QDir Maildir(const QString& user) {
    return QDir(qEnvironmentVariable("VELMIO_POP3_DIR") + "/mail/" + user + "/Maildir");
}

// A name no other message of this run has, as Maildir wants it.
QString UniqueName() {
    static int serial = 0;
    return QStringLiteral("%1.M%2P%3.velmio-test")
        .arg(QDateTime::currentSecsSinceEpoch())
        .arg(++serial)
        .arg(QCoreApplication::applicationPid());
}

QByteArray Message(const QByteArray& from, const QByteArray& subject) {
    QByteArray m = "From: " + from + "\r\n";
    if (!subject.isNull()) m += "Subject: " + subject + "\r\n";
    return m + "\r\nHello.\r\n";
}

// As root, Dovecot reads the mail as the owner of the maildir.
bool Write(const QDir& maildir, const QString& path, const QByteArray& message) {
    QFile f(maildir.filePath(path));
    if (!f.open(QIODevice::WriteOnly) || f.write(message) != message.size()) return false;
    f.close();
    if (geteuid() != 0) return true;
    struct stat owner {};
    return stat(QFile::encodeName(maildir.path()).constData(), &owner) == 0 &&
           chown(QFile::encodeName(f.fileName()).constData(), owner.st_uid, owner.st_gid) == 0;
}

// Read: the flags after ":2," hold S. A message in new/ has none yet.
bool Seen(const QString& sub, const QString& name) {
    const qsizetype info = name.lastIndexOf(QLatin1String(":2,"));
    return sub == QLatin1String("cur/") && info >= 0 && name.mid(info + 3).contains(QLatin1Char('S'));
}

const char* const kMainPorts[] = {"VELMIO_POP3_PORT", "VELMIO_POP3S_PORT", "VELMIO_IMAP_PORT", "VELMIO_IMAPS_PORT"};

bool Accepts(quint16 port) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    const bool up = s.waitForConnected(1000);
    s.abort();
    return up;
}

bool AllPorts(bool accepting) {
    for (const char* variable : kMainPorts) {
        const auto port = Dovecot::Port(variable);
        if (!port || Accepts(*port) != accepting) return false;
    }
    return true;
}

// The master's pid, if one runs (a pid file left behind may name another process).
pid_t MasterPid() {
    QFile pidFile(qEnvironmentVariable("VELMIO_DOVECOT_PID_FILE"));
    if (!pidFile.open(QIODevice::ReadOnly)) return 0;
    const pid_t pid = pidFile.readAll().trimmed().toInt();
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (pid <= 0 || !comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "dovecot") return 0;
    return pid;
}

// A zombie that nobody reaps does not count.
bool GroupRunning(pid_t group) {
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat("/proc/" + entry + "/stat");
        if (entry.toInt() <= 0 || !stat.open(QIODevice::ReadOnly)) continue;
        // After the name in parentheses: state, parent, group.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[0] != "Z" && fields[2].toInt() == group) return true;
    }
    return false;
}

constexpr int kWaitMs = 10000;

}  // namespace

std::optional<quint16> Dovecot::Port(const char* variable) {
    const int port = qEnvironmentVariableIntValue(variable);
    if (port <= 0 || port > 65535) return std::nullopt;
    return quint16(port);
}

QList<QSslCertificate> Dovecot::Authority() {
    return QSslCertificate::fromPath(qEnvironmentVariable("VELMIO_TEST_CA"));
}

bool Dovecot::SetMessageCount(const QString& user, int count) {
    const QDir maildir = Maildir(user);
    if (!maildir.exists("cur") || !maildir.exists("new")) return false;
    QStringList present;
    for (const QString sub : {"cur/", "new/"})
        for (const QString& f : QDir(maildir.filePath(sub)).entryList(QDir::Files))
            present << maildir.filePath(sub + f);
    while (present.size() > count) QFile::remove(present.takeLast());
    for (qsizetype i = present.size(); i < count; ++i)
        if (!Write(maildir, "new/" + UniqueName(), Message("test@example.org", "test " + QByteArray::number(i + 1))))
            return false;
    return true;
}

bool Dovecot::SetMailbox(const QString& user, int unread, int seen) {
    const QDir maildir = Maildir(user);
    if (!maildir.exists("cur") || !maildir.exists("new")) return false;
    QStringList read, unreadFiles;
    for (const QString sub : {"cur/", "new/"})
        for (const QString& f : QDir(maildir.filePath(sub)).entryList(QDir::Files))
            (Seen(sub, f) ? read : unreadFiles) << maildir.filePath(sub + f);
    while (read.size() > seen) QFile::remove(read.takeLast());
    while (unreadFiles.size() > unread) QFile::remove(unreadFiles.takeLast());
    for (qsizetype i = read.size(); i < seen; ++i)
        if (!Write(maildir, "cur/" + UniqueName() + ":2,S", Message("read@example.org", "read " + QByteArray::number(i + 1))))
            return false;
    for (qsizetype i = unreadFiles.size(); i < unread; ++i)
        if (!Write(maildir, "new/" + UniqueName(), Message("test@example.org", "test " + QByteArray::number(i + 1))))
            return false;
    return true;
}

bool Dovecot::Deliver(const QString& user, const QByteArray& from, const QByteArray& subject) {
    const QDir maildir = Maildir(user);
    if (!maildir.exists("tmp") || !maildir.exists("new")) return false;
    const QString name = UniqueName();
    return Write(maildir, "tmp/" + name, Message(from, subject)) &&
           QFile::rename(maildir.filePath("tmp/" + name), maildir.filePath("new/" + name));
}

QStringList Dovecot::MessageFiles(const QString& user) {
    const QDir maildir = Maildir(user);
    QStringList names = QDir(maildir.filePath("cur")).entryList(QDir::Files) +
                        QDir(maildir.filePath("new")).entryList(QDir::Files);
    std::sort(names.begin(), names.end());
    return names;
}

bool Dovecot::Stop() {
    // The whole group (run_dovecot in scripts/test-env.sh): the master ends
    // without the imap processes of open sessions.
    const pid_t pid = MasterPid();
    if (pid > 0 && kill(-pid, SIGTERM) != 0) return false;
    return QTest::qWaitFor([pid] { return (pid == 0 || !GroupRunning(pid)) && AllPorts(false); }, kWaitMs);
}

bool Dovecot::Start() {
    if (MasterPid() > 0) return QTest::qWaitFor([] { return AllPorts(true); }, kWaitMs);
    // The shell that ran this Dovecot waits on this pipe to start it again
    // (run_dovecot in scripts/test-env.sh); it may not be reading yet.
    const QByteArray pipe =
        QFile::encodeName(QFileInfo(qEnvironmentVariable("VELMIO_DOVECOT_CONF")).dir().filePath("restart"));
    int fd = -1;
    const auto opened = [&] { return (fd = open(pipe.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0 || errno != ENXIO; };
    if (!QTest::qWaitFor(opened, kWaitMs) || fd < 0) return false;
    const bool sent = write(fd, "start\n", 6) == 6;
    close(fd);
    // The master writes its pid file only after it listens.
    return sent && QTest::qWaitFor([] { return AllPorts(true) && MasterPid() > 0; }, kWaitMs);
}

Pop3Tap::Pop3Tap(quint16 serverPort) {
    listener_.listen(QHostAddress::LocalHost, 0);
    connect(&listener_, &QTcpServer::newConnection, this, [this, serverPort] {
        while (QTcpSocket* client = listener_.nextPendingConnection()) {
            auto* server = new QTcpSocket(client);
            server->connectToHost(QHostAddress::LocalHost, serverPort);
            connect(client, &QTcpSocket::readyRead, this, [this, client, server] {
                const QByteArray b = client->readAll();
                sent += b;
                server->write(b);
            });
            connect(server, &QTcpSocket::readyRead, client, [client, server] { client->write(server->readAll()); });
            connect(server, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
            connect(client, &QTcpSocket::disconnected, client, [client, server] {
                server->disconnectFromHost();
                client->deleteLater();
            });
        }
    });
}

}  // namespace velmio::test
