#include "settings_dialog/server_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "core/app_settings.h"
#include "platform/named_widget.h"
#include "settings_dialog/digit_key.h"

namespace velmio {
namespace {

QLabel* Label(const char* name, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    return label;
}

// The usual port of each protocol, by index kPop3 or kImap: without TLS or
// with STARTTLS, then with TLS from the first byte.
constexpr quint16 kUsualPorts[2][2] = {{110, 995}, {143, 993}};

bool TlsFromStart(int security) { return security == 2; }

}  // namespace

ServerPage::ServerPage(QWidget* parent) : DialogPage(parent) {
    auto* frame1 = Named(new FrameBox(QStringLiteral("設定")), "Frame1");
    PlaceOnTabs(frame1, 120, 480, 4815, 2535);

    // The list of servers was never more than the one in use: the entry
    // only shows it, and adding or removing entries is not offered.
    serverName_ = Named(new QComboBox, "ServerName");
    serverName_->setEditable(true);
    serverName_->setInsertPolicy(QComboBox::NoInsert);
    auto* serverAdd = Named(new QPushButton(QStringLiteral("追加(&A)")), "ServerAdd");
    auto* serverDel = Named(new QPushButton(QStringLiteral("削除(&D)")), "ServerDel");
    serverAdd->setEnabled(false);
    serverDel->setEnabled(false);
    serverAddress_ = Named(new QLineEdit, "ServerAddress");
    loginName_ = Named(new QLineEdit, "LoginName");
    loginPass_ = Named(new QLineEdit, "LoginPass");
    loginPass_->setEchoMode(QLineEdit::Password);
    loginPass_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // '*'
    savePass_ = Named(new QCheckBox(QStringLiteral("パスワードを保存する")), "SavePass");
    apopCheck_ = Named(new QCheckBox(QStringLiteral("APOPで認証する")), "ApopCheck");

    PlaceInTwips(Label("Label1", QStringLiteral("サーバー名"), serverName_), frame1, 120, 240, 1215, 255);
    PlaceInTwips(serverName_, frame1, 120, 480, 2295, 300);
    PlaceInTwips(serverAdd, frame1, 2520, 480, 975, 300);
    PlaceInTwips(serverDel, frame1, 3600, 480, 975, 300);
    // The protocol stands beside the address, under the delete button. Both
    // labels sit as high as a label with an access key must above its field.
    PlaceInTwips(Label("Label2", QStringLiteral("アドレス"), serverAddress_), frame1, 120, 915, 1095, 255);
    PlaceInTwips(serverAddress_, frame1, 120, 1200, 3375, 270);
    // The entries' index is the stored value.
    protocol_ = Named(new QComboBox, "Protocol");
    protocol_->addItems({QStringLiteral("POP3"), QStringLiteral("IMAP")});
    PlaceInTwips(Label("Label13", QStringLiteral("種類(&K)"), protocol_), frame1, 3600, 915, 975, 255);
    PlaceInTwips(protocol_, frame1, 3600, 1185, 975, 300);
    PlaceInTwips(Label("Label11", QStringLiteral("ユーザー名"), loginName_), frame1, 120, 1560, 1455, 255);
    PlaceInTwips(loginName_, frame1, 120, 1800, 2415, 270);
    PlaceInTwips(Label("Label3", QStringLiteral("パスワード"), loginPass_), frame1, 2640, 1560, 1335, 255);
    PlaceInTwips(loginPass_, frame1, 2640, 1800, 1575, 270);
    PlaceInTwips(savePass_, frame1, 120, 2160, 2415, 255);
    PlaceInTwips(apopCheck_, frame1, 2640, 2160, 1935, 255);

    popPort_ = Named(new QLineEdit, "PopPort");
    popPort_->setMaxLength(5);
    popPort_->setInputMethodHints(Qt::ImhDigitsOnly);
    popPort_->installEventFilter(new DigitKeyFilter(popPort_));
    portLabel_ = Label("Label4", PortName(), popPort_);
    PlaceOnTabs(portLabel_, 240, 3280, 1095, 255);
    PlaceOnTabs(popPort_, 1440, 3240, 975, 270);

    // The entries' index is the stored value.
    security_ = Named(new QComboBox, "Security");
    security_->addItems({QStringLiteral("なし"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
    PlaceOnTabs(Label("Label12", QStringLiteral("暗号化(&E)"), security_), 2640, 3280, 975, 255);
    PlaceOnTabs(security_, 3600, 3225, 1335, 300);
    // The usual port of the chosen way goes along with it, unless the user
    // has a port of their own there.
    connect(security_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const int protocol = protocol_->currentIndex();
        FollowUsualPort(protocol, protocol, TlsFromStart(index));
    });
    // Another protocol keeps whether the port was the one for TLS.
    connect(protocol_, &QComboBox::currentIndexChanged, this, [this](int index) {
        FollowUsualPort(index == kImap ? kPop3 : kImap, index, std::nullopt);
        ShowProtocol();
    });
    // The list's edit part and the address are one server name shown twice:
    // whatever is typed into either stands in both, and OK takes the address.
    connect(serverName_, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (serverAddress_->text() != text) serverAddress_->setText(text);
    });
    connect(serverAddress_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (serverName_->currentText() != text) serverName_->setEditText(text);
    });
}

void ServerPage::LoadPort(qint16 port) { popPort_->setText(QString::number(static_cast<quint16>(port))); }

void ServerPage::FollowUsualPort(int from, int to, std::optional<bool> tls) {
    for (const bool usedTls : {false, true}) {
        if (popPort_->text() != QString::number(kUsualPorts[from][usedTls])) continue;
        popPort_->setText(QString::number(kUsualPorts[to][tls.value_or(usedTls)]));
        return;
    }
}

QString ServerPage::PortName() const {
    return protocol_->currentIndex() == kImap ? QStringLiteral("IMAPポート") : QStringLiteral("POP3ポート");
}

void ServerPage::ShowProtocol() {
    // APOP is POP3's own login; the box keeps its mark for a return to POP3.
    apopCheck_->setEnabled(protocol_->currentIndex() == kPop3);
    portLabel_->setText(PortName());
}

std::optional<qint16> PortSetting(const QString& text) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    if (!ok || port < 1 || port > 65535) return std::nullopt;
    return static_cast<qint16>(static_cast<quint16>(port));
}

void ServerPage::LoadServerPage(const AppSettings& s) {
    serverName_->clear();
    serverName_->addItem(s.Server);
    serverAddress_->setText(s.Server);
    loginName_->setText(s.LoginName);
    loginPass_->setText(s.LoginPass);
    savePass_->setChecked(s.SavePassword);
    apopCheck_->setChecked(s.Apop);
    // Any value but plain and STARTTLS means TLS, as in the check.
    loadedSecurity_ = s.Security == 0 || s.Security == 1 ? s.Security : 2;
    loadedProtocol_ = UsesImap(s) ? kImap : kPop3;
    const QSignalBlocker quiet(security_);  // the stored port stays as it is
    const QSignalBlocker quietToo(protocol_);
    security_->setCurrentIndex(loadedSecurity_);
    protocol_->setCurrentIndex(loadedProtocol_);
    ShowProtocol();
    serverName_->setCurrentIndex(0);
}

void ServerPage::ShowSavePlace(bool keyring) {
    savePass_->setToolTip(keyring ? QStringLiteral("パスワードはデスクトップのキーリングに保存します")
                                  : QStringLiteral("キーリングがないので、パスワードは設定ファイル velmio.ini に保存します"));
}

void ServerPage::Apply(AppSettings& s, qint16 port, bool& changed) const {
    if (!s.CertPin.isEmpty()) s.CertPins.insert(PinPlace(s), s.CertPin);
    ApplyField(s.Server, serverAddress_->text(), changed);
    ApplyField(s.LoginName, loginName_->text(), changed);
    ApplyField(s.LoginPass, loginPass_->text(), changed);
    ApplyField(s.SavePassword, savePass_->isChecked(), changed);
    ApplyField(s.Port, port, changed);
    if (security_->currentIndex() != loadedSecurity_) ApplyField(s.Security, qint16(security_->currentIndex()), changed);
    ApplyField(s.Apop, apopCheck_->isChecked(), changed);
    if (protocol_->currentIndex() != loadedProtocol_)
        ApplyField(s.Protocol, qint16(protocol_->currentIndex()), changed);
    // Each server and port has a pin of its own.
    SelectCertPin(s);
}

}  // namespace velmio
