#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTemporaryDir>

namespace velmio::test {

// The real goa-daemon on the tests' session bus, reading its accounts file
// from a folder of its own and their passwords from the tests' GNOME Keyring.
class GoaDaemon {
public:
    static constexpr const char* kProgram = "/usr/libexec/goa-daemon";
    ~GoaDaemon();
    // An IMAP-and-SMTP account of alice, TLS from the first byte to port (its
    // certificate accepted: the daemon knows nothing of the tests' authority).
    bool WriteImapAccount(const QString& id, quint16 port, const QString& password);
    // An accounts file without accounts: the daemon drops them.
    bool WriteNoAccounts();
    // Starts it (replacing any other) and waits for count accounts on the bus.
    bool Start(int count);
    bool WaitForAccounts(int count);
    void Stop();

private:
    QTemporaryDir config_;
    QProcess daemon_;
};

// GOA's own interface for one OAuth 2.0 account whose mail is alice's on
// port, on a bus connection of its own: tokens in turn from the list
// (the last again and again), and what it was asked, counted.
class GoaStandIn : public QDBusVirtualObject {
public:
    GoaStandIn(quint16 port, QStringList tokens);
    ~GoaStandIn() override;
    bool Register();
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

    bool attentionNeeded = false;
    bool ensureRefused = false;  // EnsureCredentials answers NotAuthorized
    int tokensGiven = 0;
    int ensured = 0;

private:
    quint16 port_;
    QStringList tokens_;
    QDBusConnection bus_;
};

}  // namespace velmio::test
