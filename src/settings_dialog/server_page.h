#pragma once

#include <optional>
#include <utility>

#include "core/app_settings.h"
#include "settings_dialog/dialog_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace velmio {

struct GoaAccount;

// The page "サーバー": the list of mailbox accounts, and the account,
// protocol and port of the one selected, edited in a working copy until OK.
class ServerPage : public DialogPage {
    Q_OBJECT
public:
    explicit ServerPage(QWidget* parent = nullptr);

    // Every account into the working copy, the first one shown.
    void LoadServerPage(const AppSettings& settings);
    // Tells in the SavePass tooltip where a saved password goes.
    void ShowSavePlace(bool keyring);
    // Shows the first account that OK cannot take: the field at fault and
    // what to say. Nothing when every account can be applied.
    std::optional<std::pair<QWidget*, QString>> Unusable();
    // Every account's fields, each differing one written and marking
    // changed (ports already checked by Unusable). A new server forgets the
    // certificate trusted for the old one. Deleted accounts' sections go to
    // DeletedSections; when the first account went, the next takes its place.
    void Apply(AppSettings& settings, bool& changed);

    QComboBox* ServerName() const { return serverName_; }
    QComboBox* Security() const { return security_; }

signals:
    // Microsoft was chosen for the account shown: sign it in now.
    void SignInRequested(const AccountSettings& account);

private:
    // The port field's caption, after the protocol chosen.
    QString PortName() const;
    // An account being edited: its values, its port as typed, and where it
    // came from (0 the first account, n MoreAccounts[n - 1], -1 added).
    struct Row {
        AccountSettings account;
        QString port;
        qsizetype origin;
    };

    // A port usual for protocol from (plain, or TLS from the first byte)
    // becomes the usual one of protocol to, with TLS as tls says or else as
    // before; any other port stays.
    void FollowUsualPort(int from, int to, std::optional<bool> tls);
    void ShowProtocol();
    void ShowAccount(int row);
    void StoreShown();
    void Select(int row);
    void AddAccount();
    void DeleteAccount();
    void ShowListEntry();
    // The server fields are GNOME Online Accounts' for an account of theirs;
    // her own sign-in takes no password.
    void ShowCredentialKind();
    // Microsoft's server and her own sign-in for the account shown, or
    // back to the password.
    void ChooseMicrosoft(bool chosen);
    // Lists GOA's mail accounts under the button, once GOA has answered.
    void ListGoaAccounts();
    void ChooseGoaAccount(const GoaAccount& goa);
    void UsePassword();

    QList<Row> rows_;
    int shown_ = -1;
    QListWidget* accountList_;
    QPushButton* serverAdd_;
    QPushButton* serverDel_;
    QLineEdit* accountName_;
    QCheckBox* accountEnabled_;
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
    QPushButton* microsoftSignIn_;
    QPushButton* goaAccount_;
    QMenu* goaMenu_;
    bool listing_ = false;
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
