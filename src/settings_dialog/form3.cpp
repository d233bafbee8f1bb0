#include "settings_dialog/form3.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

#include "character/event_sounds.h"
#include "core/app_state.h"
#include "core/value_conversion.h"
#include "platform/message_box.h"
#include "platform/password_keyring.h"
#include "platform/twips_rect.h"
#include "settings_dialog/other_page.h"
#include "settings_dialog/server_page.h"
#include "settings_dialog/sign_in_dialog.h"
#include "settings_dialog/sound_page.h"

namespace velmio {
namespace {
// Twips beyond the design's height: two rows for the start-at-login and
// sender boxes, the list of accounts above the server page's frame, and the
// row of GNOME Online Accounts below it.
constexpr int kExtraRow = 600 + 960 + 480;
}  // namespace

Form3::Form3(AppState& state, const Form3Services& services, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      state_(state),
      services_(services) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("設定"));
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setPointSizeF(9.0);
    setFont(f);
    setFixedSize(TwipsRect(this, 0, 0, 5295, 4425 + kExtraRow).size());

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("SSTab1"));
    tabs_->setUsesScrollButtons(false);
    tabs_->setGeometry(TwipsRect(this, 120, 120, 5055, 3735 + kExtraRow));
    serverPage_ = new ServerPage(tabs_);
    soundPage_ = new SoundPage(*services_.sounds, services_.selectFile, state_.paths.SoundDir(),
                               state_.paths.DataDir(), tabs_);
    otherPage_ = new OtherPage(services_.selectFile, state_.paths.ProgramDir(), services_.autostart, tabs_);
    tabs_->addTab(serverPage_, QStringLiteral("サーバー"));
    tabs_->addTab(soundPage_, QStringLiteral("音声&&ﾒｯｾｰｼﾞ"));  // one '&' shown, no access key
    tabs_->addTab(otherPage_, QStringLiteral("その他"));

    command6_ = new QPushButton(QStringLiteral("O K"), this);
    command6_->setObjectName(QStringLiteral("Command6"));
    command6_->setGeometry(TwipsRect(this, 2880, 3960 + kExtraRow, 1095, 375));
    command6_->setDefault(true);
    command7_ = new QPushButton(QStringLiteral("キャンセル"), this);
    command7_->setObjectName(QStringLiteral("Command7"));
    command7_->setGeometry(TwipsRect(this, 4080, 3960 + kExtraRow, 1095, 375));
    connect(command6_, &QPushButton::clicked, this, &Form3::accept);
    connect(command7_, &QPushButton::clicked, this, &Form3::reject);
    connect(serverPage_, &ServerPage::SignInRequested, this, [this](const AccountSettings& account) {
        SignInDialog signIn(account, {services_.keyring, {}, 1000}, this);
        signIn.exec();
    });

    SetKeyboardOrder();
    Load();
    for (QLineEdit* field : findChildren<QLineEdit*>()) new CentredFieldText(field);
    FitCaptions();
}

Form3::~Form3() = default;

void Form3::Load() {
    tabs_->setCurrentIndex(0);
    serverPage_->LoadServerPage(state_.settings);
    serverPage_->ShowSavePlace(services_.keyring && services_.keyring->Available());
    soundPage_->LoadSoundPage(state_);
    otherPage_->LoadOtherPage(state_);
}

void Form3::accept() {
    if (ApplySettings()) QDialog::accept();
}

bool Form3::ApplySettings() {
    // Every account and the interval are checked before anything is
    // written, so a refusal leaves every setting as it was.
    if (const auto fault = serverPage_->Unusable()) {
        Refuse(0, fault->first, fault->second);
        return false;
    }
    // A greyed interval is not in use: it is neither checked nor applied.
    std::optional<qint16> min;
    if (otherPage_->CheckMin()->isEnabled()) {
        min = ToInt16(otherPage_->CheckMin()->text());
        if (!min || *min < 0) {
            Refuse(2, otherPage_->CheckMin(),
                   QStringLiteral("チェック間隔には 0 から 32767 までの数（分）を入れてね"));
            return false;
        }
    }

    bool changed = false;
    serverPage_->Apply(state_.settings, changed);
    soundPage_->Apply(state_, changed);
    otherPage_->Apply(state_.settings, min, changed);
    state_.SettingsChanged = changed;
    if (services_.applied) services_.applied(state_.settings.AutoCheck);
    if (!otherPage_->ApplyAutostart(services_.program))
        Refuse(2, otherPage_->findChild<QWidget*>(QStringLiteral("Autostart")),
               QStringLiteral("ログイン時の起動を設定できませんでした"));
    return true;
}

void Form3::Refuse(int page, QWidget* field, const QString& text) {
    tabs_->setCurrentIndex(page);
    if (services_.sounds) services_.sounds->PlayEventSound(5);  // as before every message box
    if (services_.messages) services_.messages->show(this, text, 16, kAppTitle);
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
}

void Form3::FitCaptions() {
    // The twips sizes were made for a narrower font than ours; captions and
    // list entries that would be cut grow to the right as far as their frame
    // or page allows.
    for (QWidget* w : findChildren<QWidget*>()) {
        const auto* list = qobject_cast<QComboBox*>(w);
        if (!qobject_cast<QLabel*>(w) && !qobject_cast<QCheckBox*>(w) &&
            !qobject_cast<QRadioButton*>(w) && !(list && !list->isEditable()))
            continue;
        QWidget* container = w->parentWidget();
        const int right = qobject_cast<DialogPage*>(container)
                              ? tabs_->width() - 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth)
                              : container->width() - 2;
        FitToCaption(w, right);
    }
    // The parentheses of an access key reach the bottom of a label's line:
    // such a label above its field ends above the field, not on its frame.
    for (QLabel* label : findChildren<QLabel*>()) {
        const QWidget* field = label->buddy();
        if (!field || field->parentWidget() != label->parentWidget() ||
            field->y() < label->y() + label->height() / 2 || !label->text().contains(QLatin1Char('(')))
            continue;
        label->move(label->x(), qMin(label->y(), field->y() - 1 - label->height()));
    }
    // A label beside a field (its name, or the unit after it) stands on the
    // line of the field's text.
    for (QLabel* label : findChildren<QLabel*>()) {
        const int middle = label->y() + label->height() / 2;
        for (QLineEdit* field : label->parentWidget()->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly)) {
            if (middle < field->y() || middle >= field->y() + field->height()) continue;
            const QFontMetrics fm(label->font());
            const int baseline = label->y() + (label->height() - fm.height()) / 2 + fm.ascent();
            const int dy = field->y() + TextBaseline(field) - baseline;
            if (auto* page = qobject_cast<DialogPage*>(label->parentWidget()))
                page->MoveDown(label, dy);
            else
                label->move(label->x(), label->y() + dy);
        }
    }
    otherPage_->FitOptionRow();
}

void Form3::SetKeyboardOrder() {
    // The tab widget hides the pages not shown, and hidden controls are left
    // out of Tab and Shift+Tab, so the keys stay on the shown page: tab row,
    // the page's controls as they stand on it, OK, Cancel, and round again.
    const char* order[] = {
        "AccountList", "ServerAdd", "ServerDel", "AccountName", "AccountEnabled",
        "ServerName", "MicrosoftSignIn", "ServerAddress", "Protocol", "LoginName", "LoginPass", "SavePass", "ApopCheck",
        "PopPort", "Security", "GoaAccount",
        "UseSound", "EventName", "EventWave", "Command1", "EventMsg", "WaveTest", "WaveBrowse",
        "AutoCheck", "CheckMin", "TelhoCheck", "DblClick0", "DblClick1", "DblClick2",
        "ExecMailer", "Command5", "BGClearness", "Autostart", "NickName", "ShowSender",
        "Command6", "Command7"};
    QWidget* previous = tabs_->tabBar();
    for (const char* name : order) {
        auto* w = findChild<QWidget*>(QLatin1String(name));
        if (!w) continue;
        setTabOrder(previous, w);
        previous = w;
    }
}

}  // namespace velmio
