#pragma once

#include <QDialog>
#include <QNetworkAccessManager>
#include <functional>

#include "core/app_settings.h"
#include "mail/auth/token_response.h"

class QLabel;
class QPushButton;

namespace velmio {

class DeviceGrant;
class PasswordKeyring;

struct SignInServices {
    PasswordKeyring* keyring = nullptr;              // where the refresh token goes; none: no sign-in
    std::function<void(const QString&)> openAddress; // empty: the desktop's browser
    int msPerSecond = 1000;                          // tests shorten the server's intervals
};

// Her own sign-in to Microsoft: shows the code and the address to enter it
// at, opens the address in the browser, and waits for the user there. The
// refresh token goes to the keyring; the dialog ends accepted once it is there.
class SignInDialog : public QDialog {
    Q_OBJECT
public:
    SignInDialog(const AccountSettings& account, SignInServices services, QWidget* parent = nullptr);
    ~SignInDialog() override;

    // Asks for a code; called when the dialog is first shown.
    void Start();
    bool SignedIn() const { return signedIn_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Say(const QString& text);
    // Ends before asking for a code, saying why.
    void Refuse(const QString& why);
    void ShowCode(const DeviceCode& code);
    void ShowPoll(TokenReply::Kind kind);
    void Finish(const TokenReply& reply);
    void Stop();

    AccountSettings account_;
    SignInServices services_;
    QNetworkAccessManager net_;
    DeviceGrant* grant_ = nullptr;
    QString address_;
    bool started_ = false;
    bool signedIn_ = false;
    QLabel* intro_;
    QLabel* userCode_;
    QLabel* verificationUri_;
    QLabel* signInState_;
    QPushButton* openBrowser_;
    QPushButton* cancel_;
};

}  // namespace velmio
