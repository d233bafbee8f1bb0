#pragma once

#include <optional>

#include "settings_dialog/dialog_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmio {

struct AppSettings;

// The page "サーバー": the mailbox's account, protocol and port.
class ServerPage : public DialogPage {
    Q_OBJECT
public:
    explicit ServerPage(QWidget* parent = nullptr);

    // The stored 16 bits are shown as the port the check uses, 0 to 65535.
    void LoadPort(qint16 port);
    void LoadServerPage(const AppSettings& settings);
    // Tells in the SavePass tooltip where a saved password goes.
    void ShowSavePlace(bool keyring);
    // Server, LoginName, LoginPass, SavePassword, Port, Security, Apop and
    // Protocol, in this order; each differing field is written and sets changed. port
    // is PopPort's text already converted by the caller. A new server
    // forgets the certificate trusted for the old one.
    void Apply(AppSettings& settings, qint16 port, bool& changed) const;

    QLineEdit* PopPort() const { return popPort_; }
    QComboBox* ServerName() const { return serverName_; }
    QComboBox* Security() const { return security_; }
    // The port field's caption, after the protocol chosen.
    QString PortName() const;

private:
    // A port usual for protocol from (plain, or TLS from the first byte)
    // becomes the usual one of protocol to, with TLS as tls says or else as
    // before; any other port stays.
    void FollowUsualPort(int from, int to, std::optional<bool> tls);
    void ShowProtocol();

    QComboBox* serverName_;
    QLineEdit* serverAddress_;
    QLineEdit* loginName_;
    QLineEdit* loginPass_;
    QCheckBox* savePass_;
    QLineEdit* popPort_;
    QCheckBox* apopCheck_;
    QComboBox* security_;
    QComboBox* protocol_;
    QLabel* portLabel_;
    int loadedSecurity_ = 0;
    int loadedProtocol_ = 0;
};

// PopPort's text as the stored 16 bits of a port from 1 to 65535; nothing
// for any other text.
std::optional<qint16> PortSetting(const QString& text);

// Writes value into setting when they differ and marks the change.
template <typename T>
void ApplyField(T& setting, const T& value, bool& changed) {
    if (setting == value) return;
    setting = value;
    changed = true;
}

}  // namespace velmio
