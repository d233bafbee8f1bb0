#include "settings_dialog/server_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

#include "core/app_settings.h"
#include "mail/auth/goa_accounts.h"
#include "mail/auth/oauth_endpoint.h"
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

// The entries the lists show for the stored values: any security but plain
// and STARTTLS means TLS, and any protocol but IMAP POP3, as in the check.
int ShownSecurity(const AccountSettings& a) { return a.Security == 0 || a.Security == 1 ? a.Security : 2; }
int ShownProtocol(const AccountSettings& a) { return UsesImap(a) ? kImap : kPop3; }

// The fields the page edits, each differing one written.
void ApplyAccount(AccountSettings& to, const AccountSettings& from, bool& changed) {
    ApplyField(to.Server, from.Server, changed);
    ApplyField(to.LoginName, from.LoginName, changed);
    ApplyField(to.LoginPass, from.LoginPass, changed);
    ApplyField(to.SavePassword, from.SavePassword, changed);
    ApplyField(to.Port, from.Port, changed);
    ApplyField(to.Security, from.Security, changed);
    ApplyField(to.Apop, from.Apop, changed);
    ApplyField(to.Protocol, from.Protocol, changed);
    ApplyField(to.AccountName, from.AccountName, changed);
    ApplyField(to.Enabled, from.Enabled, changed);
    ApplyField(to.Auth, from.Auth, changed);
    ApplyField(to.Goa, from.Goa, changed);
}

// How the list names an account.
QString ListEntry(const AccountSettings& a) {
    const QString name = a.DisplayName().isEmpty() ? QStringLiteral("新しいアカウント") : a.DisplayName();
    return a.Enabled ? name : name + QStringLiteral("（無効）");
}

// Where the frame of the selected account's fields begins, below the list.
constexpr int kFrameTop = 2100;

}  // namespace

ServerPage::ServerPage(QWidget* parent) : DialogPage(parent) {
    // The accounts stand above the frame of the one selected. Labels sit as
    // high as a label with an access key must above its field.
    accountList_ = Named(new QListWidget, "AccountList");
    // Long names are cut in the middle, so that the mark of a disabled
    // account at the end stays in sight.
    accountList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    accountList_->setTextElideMode(Qt::ElideMiddle);
    serverAdd_ = Named(new QPushButton(QStringLiteral("追加(&A)")), "ServerAdd");
    serverDel_ = Named(new QPushButton(QStringLiteral("削除(&D)")), "ServerDel");
    accountName_ = Named(new QLineEdit, "AccountName");
    accountEnabled_ = Named(new QCheckBox(QStringLiteral("有効(&V)")), "AccountEnabled");
    QLabel* label14 = Label("Label14", QStringLiteral("アカウント(&L)"), accountList_);
    // A list takes no name from its label, as the fields do.
    accountList_->setAccessibleName(label14->text().remove('&'));
    PlaceOnTabs(label14, 120, 450, 1455, 255);
    PlaceOnTabs(accountList_, 120, 735, 2415, 1245);
    PlaceOnTabs(serverAdd_, 2640, 735, 1095, 300);
    PlaceOnTabs(serverDel_, 3840, 735, 1095, 300);
    PlaceOnTabs(Label("Label15", QStringLiteral("名前(&N)"), accountName_), 2640, 1095, 1455, 255);
    PlaceOnTabs(accountName_, 2640, 1380, 2295, 270);
    PlaceOnTabs(accountEnabled_, 2640, 1725, 1455, 255);

    auto* frame1 = Named(new FrameBox(QStringLiteral("設定")), "Frame1");
    PlaceOnTabs(frame1, 120, kFrameTop, 4815, 2535);

    // The list of servers was never more than the one in use: the entry
    // only shows it; the accounts' list above is where they come and go.
    serverName_ = Named(new QComboBox, "ServerName");
    serverName_->setEditable(true);
    serverName_->setInsertPolicy(QComboBox::NoInsert);
    serverAddress_ = Named(new QLineEdit, "ServerAddress");
    loginName_ = Named(new QLineEdit, "LoginName");
    loginPass_ = Named(new QLineEdit, "LoginPass");
    loginPass_->setEchoMode(QLineEdit::Password);
    loginPass_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // '*'
    savePass_ = Named(new QCheckBox(QStringLiteral("パスワードを保存する")), "SavePass");
    apopCheck_ = Named(new QCheckBox(QStringLiteral("APOPで認証する")), "ApopCheck");

    PlaceInTwips(Label("Label1", QStringLiteral("サーバー名"), serverName_), frame1, 120, 240, 1215, 255);
    PlaceInTwips(serverName_, frame1, 120, 480, 3375, 300);
    // The protocol stands beside the address. Both labels sit as high as a
    // label with an access key must above its field.
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

    // Microsoft takes no password: a token of her own sign-in instead.
    microsoftSignIn_ = Named(new QPushButton(QStringLiteral("Microsoft(&M)")), "MicrosoftSignIn");
    microsoftSignIn_->setCheckable(true);
    microsoftSignIn_->setToolTip(QStringLiteral("Outlook.com・Hotmail・Microsoft 365 にブラウザでサインインして使うよ"));
    PlaceInTwips(microsoftSignIn_, frame1, 3600, 465, 1095, 315);
    connect(microsoftSignIn_, &QPushButton::clicked, this, &ServerPage::ChooseMicrosoft);

    popPort_ = Named(new QLineEdit, "PopPort");
    popPort_->setMaxLength(5);
    popPort_->setInputMethodHints(Qt::ImhDigitsOnly);
    popPort_->installEventFilter(new DigitKeyFilter(popPort_));
    portLabel_ = Label("Label4", PortName(), popPort_);
    PlaceOnTabs(portLabel_, 240, kFrameTop + 2800, 1095, 255);
    PlaceOnTabs(popPort_, 1440, kFrameTop + 2760, 975, 270);

    // The entries' index is the stored value.
    security_ = Named(new QComboBox, "Security");
    security_->addItems({QStringLiteral("なし"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
    PlaceOnTabs(Label("Label12", QStringLiteral("暗号化(&E)"), security_), 2640, kFrameTop + 2800, 975, 255);
    PlaceOnTabs(security_, 3600, kFrameTop + 2745, 1335, 300);
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
    connect(accountList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        StoreShown();
        ShowAccount(row);
    });
    // An account of GNOME Online Accounts brings its server and credentials.
    goaAccount_ = Named(new QPushButton(QStringLiteral("GNOMEのオンラインアカウント(&G)…")), "GoaAccount");
    PlaceOnTabs(goaAccount_, 120, kFrameTop + 3180, 4815, 375);
    goaMenu_ = Named(new QMenu(goaAccount_), "GoaMenu");
    if (!goa::OnBus()) {
        goaAccount_->setEnabled(false);
        goaAccount_->setToolTip(QStringLiteral("GNOMEのオンラインアカウントが動いていないので選べません"));
    }
    connect(goaAccount_, &QPushButton::clicked, this, &ServerPage::ListGoaAccounts);
    connect(serverAdd_, &QPushButton::clicked, this, &ServerPage::AddAccount);
    connect(serverDel_, &QPushButton::clicked, this, &ServerPage::DeleteAccount);
    // The entry in the list follows the name, the server and the switch.
    connect(accountName_, &QLineEdit::textChanged, this, &ServerPage::ShowListEntry);
    connect(serverAddress_, &QLineEdit::textChanged, this, &ServerPage::ShowListEntry);
    connect(accountEnabled_, &QCheckBox::toggled, this, &ServerPage::ShowListEntry);
}

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

void ServerPage::ListGoaAccounts() {
    if (listing_) return;
    listing_ = true;
    goa::ListAccounts(this, [this](const QList<GoaAccount>& accounts, const QString& error) {
        listing_ = false;
        goaMenu_->clear();
        for (const GoaAccount& a : accounts) {
            if (!a.mail) continue;
            const QString address = a.address.isEmpty() ? a.identity : a.address;
            QAction* item = goaMenu_->addAction(address + QStringLiteral("（") + a.provider + QStringLiteral("）"));
            connect(item, &QAction::triggered, this, [this, a] { ChooseGoaAccount(a); });
        }
        if (goaMenu_->isEmpty()) {
            goaMenu_->addAction(error.isEmpty() ? QStringLiteral("メールを読めるアカウントがないよ")
                                                : QStringLiteral("GNOMEのオンラインアカウントとお話しできないよ…"))
                ->setEnabled(false);
        }
        if (shown_ >= 0 && rows_[shown_].account.Auth == kAuthGoa) {
            goaMenu_->addSeparator();
            connect(goaMenu_->addAction(QStringLiteral("パスワードで接続する")), &QAction::triggered, this,
                    &ServerPage::UsePassword);
        }
        goaMenu_->popup(goaAccount_->mapToGlobal(QPoint(0, goaAccount_->height())));
    });
}

void ServerPage::ChooseGoaAccount(const GoaAccount& goa) {
    if (shown_ < 0) return;
    StoreShown();
    Row& row = rows_[shown_];
    AccountSettings& a = row.account;
    a.Auth = kAuthGoa;
    a.Goa = goa.id;
    a.Protocol = kImap;
    a.Server = goa.place.server;
    a.Security = goa.place.security;
    a.LoginName = goa.place.login;
    // GOA keeps the credentials: none stays here.
    a.LoginPass.clear();
    a.SavePassword = false;
    a.Apop = false;
    if (a.AccountName.isEmpty()) a.AccountName = goa.address.isEmpty() ? goa.identity : goa.address;
    row.port = QString::number(goa.place.port);
    ShowAccount(shown_);
}

void ServerPage::UsePassword() {
    if (shown_ < 0) return;
    StoreShown();
    rows_[shown_].account.Auth = 0;
    rows_[shown_].account.Goa.clear();
    ShowAccount(shown_);
}

void ServerPage::ShowCredentialKind() {
    const qint16 auth = shown_ >= 0 ? rows_[shown_].account.Auth : 0;
    const bool goa = auth == kAuthGoa;
    const bool token = auth == kAuthDeviceGrant;
    for (QWidget* w :
         std::initializer_list<QWidget*>{serverName_, serverAddress_, protocol_, loginName_, popPort_, security_})
        w->setEnabled(!goa);
    loginPass_->setEnabled(!goa && !token);
    savePass_->setEnabled(!goa && !token);
    if (goa) apopCheck_->setEnabled(false);
    microsoftSignIn_->setChecked(token);
    microsoftSignIn_->setEnabled(!goa);
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
    rows_.clear();
    const QList<AccountSettings> accounts = AllAccounts(s);
    for (qsizetype i = 0; i < accounts.size(); ++i)
        rows_.append({accounts[i], QString::number(static_cast<quint16>(accounts[i].Port)), i});
    const QSignalBlocker quiet(accountList_);
    accountList_->clear();
    for (const Row& row : std::as_const(rows_)) accountList_->addItem(ListEntry(row.account));
    shown_ = -1;
    Select(0);
}

void ServerPage::Select(int row) {
    {
        const QSignalBlocker quiet(accountList_);
        accountList_->setCurrentRow(row);
    }
    StoreShown();
    ShowAccount(row);
}

void ServerPage::ShowAccount(int row) {
    shown_ = row;
    const AccountSettings& a = rows_[row].account;
    accountName_->setText(a.AccountName);
    accountEnabled_->setChecked(a.Enabled);
    serverName_->clear();
    serverName_->addItem(a.Server);
    serverAddress_->setText(a.Server);
    loginName_->setText(a.LoginName);
    loginPass_->setText(a.LoginPass);
    savePass_->setChecked(a.SavePassword);
    apopCheck_->setChecked(a.Apop);
    const QSignalBlocker quiet(security_);  // the stored port stays as it is
    const QSignalBlocker quietToo(protocol_);
    security_->setCurrentIndex(ShownSecurity(a));
    protocol_->setCurrentIndex(ShownProtocol(a));
    popPort_->setText(rows_[row].port);
    ShowProtocol();
    ShowCredentialKind();
    serverName_->setCurrentIndex(0);
    serverDel_->setEnabled(rows_.size() > 1);
    serverAdd_->setEnabled(rows_.size() < kMaxAccounts);
    ShowListEntry();
}

void ServerPage::StoreShown() {
    if (shown_ < 0 || shown_ >= rows_.size()) return;
    AccountSettings& a = rows_[shown_].account;
    a.AccountName = accountName_->text();
    a.Enabled = accountEnabled_->isChecked();
    a.Server = serverAddress_->text();
    a.LoginName = loginName_->text();
    a.LoginPass = loginPass_->text();
    a.SavePassword = savePass_->isChecked();
    a.Apop = apopCheck_->isChecked();
    // A stored value the lists cannot show stays until another is chosen.
    if (security_->currentIndex() != ShownSecurity(a)) a.Security = static_cast<qint16>(security_->currentIndex());
    if (protocol_->currentIndex() != ShownProtocol(a)) a.Protocol = static_cast<qint16>(protocol_->currentIndex());
    rows_[shown_].port = popPort_->text();
}

void ServerPage::ShowListEntry() {
    QListWidgetItem* item = accountList_->item(shown_);
    if (!item) return;
    AccountSettings a;
    a.AccountName = accountName_->text();
    a.Server = serverAddress_->text();
    a.Enabled = accountEnabled_->isChecked();
    item->setText(ListEntry(a));
}

void ServerPage::ChooseMicrosoft(bool chosen) {
    if (shown_ < 0) return;
    StoreShown();
    AccountSettings& a = rows_[shown_].account;
    a.Auth = chosen ? kAuthDeviceGrant : 0;
    a.Goa.clear();
    ShowCredentialKind();
    if (!chosen) return;
    serverAddress_->setText(kMicrosoftServer);
    security_->setCurrentIndex(2);
    popPort_->setText(protocol_->currentIndex() == kImap ? QStringLiteral("993") : QStringLiteral("995"));
    apopCheck_->setChecked(false);
    StoreShown();
    emit SignInRequested(a);
}

void ServerPage::AddAccount() {
    Row row{AccountSettings{}, QStringLiteral("110"), -1};
    row.account.Port = 110;
    row.account.Protocol = kPop3;
    row.account.Section = 0;  // the write gives it its section
    rows_.append(row);
    accountList_->addItem(QString());
    Select(static_cast<int>(rows_.size() - 1));
    accountName_->setFocus(Qt::OtherFocusReason);
}

void ServerPage::DeleteAccount() {
    if (rows_.size() < 2) return;
    const int row = shown_;
    rows_.removeAt(row);
    shown_ = -1;  // nothing left to store
    {
        const QSignalBlocker quiet(accountList_);
        delete accountList_->takeItem(row);
    }
    Select(qMin(row, static_cast<int>(rows_.size() - 1)));
}

void ServerPage::ShowSavePlace(bool keyring) {
    savePass_->setToolTip(keyring ? QStringLiteral("パスワードはデスクトップのキーリングに保存します")
                                  : QStringLiteral("キーリングがないので、パスワードは設定ファイル velmio.ini に保存します"));
}

std::optional<std::pair<QWidget*, QString>> ServerPage::Unusable() {
    StoreShown();
    for (int i = 0; i < rows_.size(); ++i) {
        if (!PortSetting(rows_[i].port)) {
            Select(i);
            return std::make_pair(popPort_,
                                  PortName() + QStringLiteral("には 1 から 65535 までの数を入れてね"));
        }
        // A further account without a server would stay in the file unread.
        if (i > 0 && rows_[i].account.Server.trimmed().isEmpty()) {
            Select(i);
            return std::make_pair(serverAddress_, QStringLiteral("サーバーのアドレスを入れてね"));
        }
    }
    return std::nullopt;
}

void ServerPage::Apply(AppSettings& s, bool& changed) {
    StoreShown();
    for (Row& row : rows_) row.account.Port = *PortSetting(row.port);
    // Each pin stays with the server and port it was trusted for.
    for (const AccountSettings& a : AllAccounts(s))
        if (!a.CertPin.isEmpty()) s.CertPins.insert(PinPlace(a), a.CertPin);

    const AccountSettings& first = rows_[0].account;
    if (rows_[0].origin != 0) {
        // The first account was deleted: the next one takes its place in [System].
        s.Mail = first.Mail;
        s.PasswordUnread = first.PasswordUnread;
        changed = true;
    }
    ApplyAccount(s, first, changed);
    SelectCertPin(s);

    QList<AccountSettings> more;
    for (qsizetype i = 1; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        AccountSettings a = row.origin > 0 ? s.MoreAccounts[row.origin - 1] : row.account;
        if (row.origin < 0) changed = true;
        ApplyAccount(a, row.account, changed);
        SelectCertPin(a, s.CertPins);
        more << a;
    }
    // A section of the file no account is kept in any more goes, also that
    // of one moved up to [System].
    for (qsizetype origin = 1; origin <= s.MoreAccounts.size(); ++origin) {
        if (std::any_of(rows_.begin() + 1, rows_.end(), [origin](const Row& row) { return row.origin == origin; }))
            continue;
        if (const int section = s.MoreAccounts[origin - 1].Section; section >= 2) s.DeletedSections << section;
        changed = true;
    }
    s.MoreAccounts = more;
}

}  // namespace velmio
