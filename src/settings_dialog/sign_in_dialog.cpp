#include "settings_dialog/sign_in_dialog.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "mail/auth/device_grant.h"
#include "mail/auth/oauth_endpoint.h"
#include "platform/named_widget.h"
#include "platform/password_keyring.h"
#include "platform/shell_open.h"

namespace velmio {
namespace {

QLabel* PlainLabel(const char* name, Qt::TextInteractionFlags flags = Qt::NoTextInteraction) {
    auto* label = Named(new QLabel, name);
    label->setTextFormat(Qt::PlainText);  // nothing the server sends is markup
    label->setTextInteractionFlags(flags);
    label->setWordWrap(true);
    return label;
}

}  // namespace

SignInDialog::SignInDialog(const AccountSettings& account, SignInServices services, QWidget* parent)
    : QDialog(parent), account_(account), services_(std::move(services)) {
    setObjectName(QStringLiteral("SignInDialog"));
    setWindowTitle(QStringLiteral("Microsoftにサインイン"));
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setPointSizeF(9.0);
    setFont(f);

    intro_ = PlainLabel("Label1");
    intro_->setText(QStringLiteral("ブラウザで下のアドレスを開いて、このコードを入れてね。\n%1 のメールを読めるようにするよ。")
                       .arg(account_.LoginName.isEmpty() ? account_.Server : account_.LoginName));
    // The code is what the user copies by eye or by hand: large, and selectable.
    userCode_ = PlainLabel("UserCode", Qt::TextSelectableByMouse);
    QFont big = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    big.setPointSizeF(24.0);
    big.setBold(true);
    userCode_->setFont(big);
    userCode_->setAlignment(Qt::AlignCenter);
    userCode_->setWordWrap(false);
    userCode_->setText(QStringLiteral("—"));
    userCode_->setAccessibleName(QStringLiteral("コード"));
    verificationUri_ = PlainLabel("VerificationUri", Qt::TextSelectableByMouse);
    verificationUri_->setAlignment(Qt::AlignCenter);
    verificationUri_->setAccessibleName(QStringLiteral("アドレス"));
    signInState_ = PlainLabel("SignInState");
    openBrowser_ = Named(new QPushButton(QStringLiteral("ブラウザで開く(&B)")), "OpenBrowser");
    openBrowser_->setEnabled(false);
    cancel_ = Named(new QPushButton(QStringLiteral("キャンセル")), "Cancel");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(openBrowser_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro_);
    layout->addSpacing(8);
    layout->addWidget(userCode_);
    layout->addWidget(verificationUri_);
    layout->addSpacing(8);
    layout->addWidget(signInState_);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    connect(openBrowser_, &QPushButton::clicked, this, [this] {
        if (services_.openAddress) services_.openAddress(address_);
        else OpenWithShell(address_);
    });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        Stop();
        if (signedIn_) accept();
        else reject();
    });
}

SignInDialog::~SignInDialog() { Stop(); }

void SignInDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) Start();
}

void SignInDialog::Say(const QString& text) {
    signInState_->setText(text);
    signInState_->setAccessibleName(text);
    if (isVisible()) adjustSize();  // a longer line wraps onto more rows
}

void SignInDialog::Refuse(const QString& why) {
    // Without a code there is nothing to enter anywhere.
    userCode_->hide();
    verificationUri_->hide();
    intro_->hide();
    openBrowser_->hide();
    cancel_->setText(QStringLiteral("閉じる"));
    Say(why);
}

void SignInDialog::Start() {
    if (started_) return;
    started_ = true;
    const OAuthEndpoint endpoint = EndpointFor(account_);
    if (endpoint.problem == OAuthEndpoint::Problem::NoClientId)
        return Refuse(QStringLiteral("このVelmioにはMicrosoftのクライアントIDが組み込まれていないの。"
                                     "登録したIDを設定ファイルの OAuthClientId に書いてね（手順はREADMEにあるよ）"));
    if (endpoint.problem == OAuthEndpoint::Problem::InsecureAuthority)
        return Refuse(QStringLiteral("OAuthAuthority のアドレスが https じゃないから、サインインには使えないよ"));
    // A refresh token goes nowhere but the keyring.
    if (!services_.keyring || !services_.keyring->Available())
        return Refuse(QStringLiteral("キーリングがないから、サインインを覚えておけないよ…"));
    if (account_.LoginName.trimmed().isEmpty())
        return Refuse(QStringLiteral("先にユーザー名（メールアドレス）を入れてね"));
    Say(QStringLiteral("コードをもらっているところだよ…"));
    grant_ = new DeviceGrant(net_, endpoint, services_.msPerSecond, this);
    connect(grant_, &DeviceGrant::CodeReady, this, &SignInDialog::ShowCode);
    connect(grant_, &DeviceGrant::Polled, this, &SignInDialog::ShowPoll);
    connect(grant_, &DeviceGrant::Finished, this, &SignInDialog::Finish);
    grant_->Start();
}

void SignInDialog::ShowCode(const DeviceCode& code) {
    address_ = code.verificationUri;
    userCode_->setText(code.userCode);
    verificationUri_->setText(code.verificationUri);
    openBrowser_->setEnabled(true);
    Say(QStringLiteral("ブラウザでサインインするのを待ってるよ…"));
    openBrowser_->click();
}

void SignInDialog::ShowPoll(TokenReply::Kind kind) {
    if (kind == TokenReply::Kind::SlowDown) Say(QStringLiteral("急ぎすぎって言われちゃった。ゆっくり待つね…"));
    else if (kind == TokenReply::Kind::Failed) Say(QStringLiteral("サーバーにつながらないみたい。もう少し待ってみるね…"));
    else Say(QStringLiteral("ブラウザでサインインするのを待ってるよ…"));
}

void SignInDialog::Finish(const TokenReply& reply) {
    openBrowser_->setEnabled(false);
    cancel_->setText(QStringLiteral("閉じる"));
    switch (reply.kind) {
    case TokenReply::Kind::Granted:
        if (reply.refreshToken.isEmpty()) {
            Say(QStringLiteral("サインインはできたけど、続けて使うための鍵をもらえなかったよ…"));
        } else if (!services_.keyring->Write(TokenPlace(account_), reply.refreshToken)) {
            Say(QStringLiteral("サインインはできたけど、キーリングにしまえなかったよ…"));
        } else {
            signedIn_ = true;
            userCode_->setEnabled(false);
            Say(QStringLiteral("サインインできたよ！"));
            cancel_->setDefault(true);
        }
        return;
    case TokenReply::Kind::Expired: Say(QStringLiteral("コードの期限が切れちゃった。もう一度やり直してね")); return;
    case TokenReply::Kind::Denied: Say(QStringLiteral("サインインが断られちゃった…")); return;
    default:
        Say(QStringLiteral("サインインできなかったよ…"));
        signInState_->setToolTip(reply.error);
        return;
    }
}

void SignInDialog::Stop() {
    if (grant_) grant_->Cancel();
}

}  // namespace velmio
