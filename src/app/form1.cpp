#include "app/form1.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <cmath>
#include <cstdio>

#include "app/away_news.h"
#include "app/inbox_push.h"
#include "app/popup_menu.h"
#include "app/program_dialogs.h"
#include "app/settings_file.h"
#include "app/tray_icon.h"
#include "character/form4.h"
#include "character/reaction_table_file.h"
#include "core/app_state.h"
#include "mail/mail_check.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/process_launcher.h"
#include "platform/single_instance.h"
#include "platform/twips.h"
#include "platform/window_order.h"
#include "platform/window_screen.h"
#include "settings_dialog/sign_in_dialog.h"

// The icons live in the static library; its resources must be brought in by hand.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace velmio {
namespace {
// The balloon's size before its first line, in twips.
constexpr double kInitialWidthTwips = 4305;
constexpr double kInitialHeightTwips = 555;
}  // namespace

Form1::Form1(AppState& state, const Services& services)
    : state_(state), services_(services), sounds_(state, *services.sound) {
    InitIconResources();
    if (!services_.dialogs) {
        ownDialogs_ = std::make_unique<ProgramDialogs>(*this);
        services_.dialogs = ownDialogs_.get();
    }
    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setInterval(60000);
    connect(&timer1_, &QTimer::timeout, this, &Form1::AutoCheckTick);
    menu_ = new PopupMenu(this);
    connect(menu_, &PopupMenu::command, this, &Form1::RunMenuCommand);
    tray_ = new TrayIcon(this);
    connect(tray_, &TrayIcon::trayMessage, this, &Form1::HandleTrayMessage);
    connect(tray_, &TrayIcon::hostPresenceChanged, this, &Form1::FollowTrayHost);
    mailCheck_ = new MailCheck(state_, *this, *services_.clock, this);
    mailCheck_->SetKeyring(services_.keyring);
    // News from an inbox is a check nobody asked for: failures are said, not boxed.
    push_ = new InboxPush(state_, *services_.clock, *mailCheck_, [this](int index) { mailCheck_->ExecuteMailCheck(false, index); }, this);
    away_ = new AwayNews(this);
    connect(away_, &AwayNews::ViewAsked, this, [this] { HandleTrayMessage(TrayIcon::kLeftDown); });
    connect(away_, &AwayNews::MailerAsked, this, &Form1::StartMailer);
    connect(away_, &AwayNews::MarkReadAsked, mailCheck_, &MailCheck::MarkSeen);
    setShell(this);
}

Form1::~Form1() { delete form4_; }

bool Form1::Load() {
    state_.DialogMode = kNoDialog;
    instance_ = std::make_unique<SingleInstance>(
        services_.lockPath.isEmpty() ? SingleInstance::DefaultLockPath() : services_.lockPath);
    if (instance_->IsPrevInstance()) {
        ShowMsg(QStringLiteral("既に起動しています"), 16);
        return false;
    }
    // Started again while put away: nobody is left without a way to reach her.
    connect(instance_.get(), &SingleInstance::comeForwardRequested, this, [this] {
        if (!unloaded_) HandleTrayMessage(TrayIcon::kLeftDown);
    });

    const double tx = TwipsPerPixelX(this);
    const double ty = TwipsPerPixelY(this);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const double screenW = screen.width() * tx;
    const double screenH = screen.height() * ty;
    setFixedSize(TwipsToPixels(kInitialWidthTwips, tx), TwipsToPixels(kInitialHeightTwips, ty));
    move(TwipsToPixels(screenW / 2 - kInitialWidthTwips / 2, tx),
         TwipsToPixels(screenH / 2 - kInitialHeightTwips / 2, ty));

    UpdateTrayIcon(QString(), 0);
    menu_->FollowTrayHost(tray_->hostPresent());

    AppSettings& s = state_.settings;
    if (!LoadSettings(state_, services_.keyring)) SetMailCheckEnabled(false);

    // Automatic checks run whenever they are on; the hour only decides
    // whether a due tick checks.
    SetTimerEnabled(s.AutoCheck);

    if (s.Xpos < 0 && s.Ypos < 0) {
        s.Xpos = static_cast<qint32>(RoundHalfEven(screenH / 2 - kInitialHeightTwips / 2));
        s.Ypos = static_cast<qint32>(RoundHalfEven(screenW / 2 - kInitialWidthTwips / 2));
    }

    setChecked("mnuAutoCheck", s.AutoCheck);
    setChecked("mnuCharHide", s.CharHide);

    setFixedSize(0, 0);

    SetDisplayMode(s.DispDiff);

    if (!QFile::exists(state_.paths.DataFile(QStringLiteral("velmio.dat")))) {
        s.CharHide = true;
        menu_->item(QStringLiteral("mnuCharHide"))->setEnabled(false);
    }

    LoadReactionTable(state_);

    form4_ = new Form4(state_, *services_.messages);
    form4_->setPartner(this);
    form4_->setShell(this);
    setPartner(form4_);
    form4_->Load();
    form4_->move(TwipsToPixels(s.Ypos, tx), TwipsToPixels(s.Xpos, ty));
    KeepWhollyOnScreen(form4_);  // a place saved on a screen since unplugged
    form4_->SetTextFormPosition();
    if (s.CharHide) {
        // Alone on the desktop, a dialog would be listed among the windows
        // and announced as wanting attention: the balloon stays a tool window.
        setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | Qt::Tool);
    } else {
        KeepAbove(this, form4_);
    }
    if (!s.CharHide) form4_->show();

    setChecked("mnuAlwaysActive", s.AlwaysActive);
    SetWindowsTopMost(s.AlwaysActive ? 1 : 0);

    // A window of no size gets no first paint here, so the greeting is
    // brought about once the event loop runs.
    greetPending_ = true;
    QTimer::singleShot(0, this, &Form1::Greet);
    push_->Follow();
    return true;
}

void Form1::Greet() {
    if (!greetPending_) return;
    greetPending_ = false;
    form4_->ShowPicture(0);
    sounds_.PlayEventSound(0);
    SayText(QStringLiteral("なぁに？") + state_.settings.NickName);
}

void Form1::Unload(bool sessionEnding) {
    if (unloaded_) return;
    unloaded_ = true;
    tray_->Remove();
    if (form4_) {
        // Changes a failed dialog write kept in memory get a second chance.
        bool saved = !dialogBatchUnsaved_ || WriteDialogBatch(state_, services_.keyring);
        saved &= WriteExitBatch(state_, form4_->y() * TwipsPerPixelY(form4_), form4_->x() * TwipsPerPixelX(form4_));
        Saved(saved, sessionEnding);
    }
    timer1_.stop();
    push_->Stop();
    if (form4_) form4_->hide();
    hide();
    emit ended();
}

int Form1::ShowMsg(const QString& text, int style) {
    sounds_.PlayEventSound(5);
    return ShowMessageBox(text, style);
}

int Form1::ShowMessageBox(const QString& text, int style) {
    return services_.messages->show(this, text, style, kAppTitle);
}

void Form1::TellSenders(const QStringList& lines) {
    if (isVisible()) {
        SayInTurn(lines);
        return;
    }
    // Put away: the desktop tells what she would have said, and she says
    // it again when she is back.
    away_->Tell(lastLine_, lines, mailCheck_->Announced(), !state_.settings.Mailer.isEmpty(),
                state_.paths.DataFile(QStringLiteral("about.png")));
}

void Form1::SayNewsAgain() {
    const QStringList news = away_->Take();
    if (news.isEmpty()) return;
    SayText(news.first());
    SayInTurn(news.mid(1));
}

void Form1::StoreCertPin(const AccountSettings& account) { Saved(WriteCertPin(state_, account)); }

bool Form1::Saved(bool saved, bool sessionEnding) {
    if (saved) return true;
    const QString folder = QDir::toNativeSeparators(QFileInfo(state_.IniPath()).absolutePath());
    const QString text = QStringLiteral("設定を保存できませんでした\n") + folder;
    if (sessionEnding) {
        std::fprintf(stderr, "velmio: %s\n", qPrintable(QString(text).replace(QLatin1Char('\n'), QLatin1String(": "))));
    } else {
        ShowMsg(text, 16);
    }
    return false;
}

void Form1::UpdateTrayIcon(const QString& suffix, qint16 selector) {
    tray_->UpdateTrayIcon(suffix, selector);
}

void Form1::SetWindowsTopMost(int mode) {
    // Her first: raised after the balloon she would cover it.
    if (!state_.settings.CharHide && form4_) SetTopMost(form4_, mode);
    SetTopMost(this, mode);
}

void Form1::ShowDialogModal(QDialog& dialog, qint16 mode) {
    state_.DialogMode = mode;
    SetTimerEnabled(false);
    hide();
    if (form4_) form4_->hide();
    dialog.exec();
    ComeForward();
    state_.DialogMode = kNoDialog;
    SetTimerEnabled(state_.settings.AutoCheck);
    push_->Follow();
}

void Form1::SetDisplayMode(int mode) {
    // The items of the modes 0 to 3, in order.
    static const char* const kItems[] = {"mnuNoDiff", "mnuDiff", "mnuLastTime", "mnuUnseen"};
    qint16& dispDiff = state_.settings.DispDiff;
    if (mode < 1 || mode > 3) {
        dispDiff = 0;
        for (int i = 0; i < 4; ++i) setChecked(kItems[i], i == 0);
        return;
    }
    // The other modes' items flip: a second choice takes the mark away and
    // leaves the mode as it was.
    const bool on = !checked(kItems[mode]);
    if (on) dispDiff = static_cast<qint16>(mode);
    for (int i = 0; i < 4; ++i) setChecked(kItems[i], i == mode && on);
}

void Form1::ExecuteMailCheck() { mailCheck_->ExecuteMailCheck(); }

void Form1::HandleTrayMessage(int message) {
    if (message == TrayIcon::kLeftDown) {
        if (state_.DialogMode != kNoDialog) return;
        ComeForward();
        if (!state_.settings.AlwaysActive) SetWindowsTopMost(0);
        SayNewsAgain();
    } else if (message == TrayIcon::kRightDown) {
        activateWindow();
        QCoreApplication::processEvents();
        ShowPopupMenu(QCursor::pos());
    }
}

void Form1::ComeForward() {
    if (form4_ && !state_.settings.CharHide) form4_->show();
    show();
}

void Form1::FollowTrayHost(bool present) {
    menu_->FollowTrayHost(present);
    // Put away into a tray that went: she comes back rather than stay lost.
    if (!present && !isVisible() && state_.DialogMode == kNoDialog) HandleTrayMessage(TrayIcon::kLeftDown);
}

void Form1::ShowPopupMenu(const QPoint& globalPos) { menu_->popup(globalPos); }

void Form1::RunClickAction(bool fromCharacter) {
    if (!fromCharacter && !MailCheckEnabled()) return;
    if (state_.settings.Click == 1) {
        StartMailer();
    } else if (state_.settings.Click == 2) {
        ExecuteMailCheck();
    }
}

void Form1::StartMailer() {
    const QString& mailer = state_.settings.Mailer;
    if (mailer.isEmpty()) {
        ShowMsg(QStringLiteral("起動するメールソフトを設定してね"), 16);
        return;
    }
    QString program;
    QStringList args;
    QString error;
    if (!SplitCommand(mailer, &program, &args)) {
        error = QStringLiteral("コマンドが空です");
    } else if (services_.launcher->startDetached(program, args, &error)) {
        return;
    }
    ShowMsg(QStringLiteral("メールソフトを起動できなかったの…\n%1\n(%2)").arg(mailer, error), 16);
}

void Form1::RunMenuCommand(const QString& name) {
    AppSettings& s = state_.settings;
    if (name == QLatin1String("mnuMailCheck")) {
        if (!isVisible()) show();
        if (form4_ && !form4_->isVisible()) form4_->show();
        ExecuteMailCheck();
    } else if (name == QLatin1String("mnuNoDiff")) {
        SetDisplayMode(0);
    } else if (name == QLatin1String("mnuDiff")) {
        SetDisplayMode(1);
    } else if (name == QLatin1String("mnuLastTime")) {
        SetDisplayMode(2);
    } else if (name == QLatin1String("mnuUnseen")) {
        SetDisplayMode(3);
    } else if (name == QLatin1String("mnuAutoCheck")) {
        s.AutoCheck = !checked("mnuAutoCheck");
        setChecked("mnuAutoCheck", s.AutoCheck);
        SetTimerEnabled(s.AutoCheck);
        push_->Follow();
    } else if (name == QLatin1String("mnuCharHide")) {
        s.CharHide = !checked("mnuCharHide");
        setChecked("mnuCharHide", s.CharHide);
        if (!s.CharHide) {
            form4_->ShowPicture(0);
            // Shown again after her, so the window manager keeps it above her.
            if (isVisible()) hide();
            SetWindowsTopMost(s.AlwaysActive ? 1 : 0);
        }
        form4_->setVisible(!s.CharHide);
    } else if (name == QLatin1String("mnuAlwaysActive")) {
        s.AlwaysActive = !checked("mnuAlwaysActive");
        SetWindowsTopMost(s.AlwaysActive ? 1 : 0);
        setChecked("mnuAlwaysActive", s.AlwaysActive);
    } else if (name == QLatin1String("mnuReturnTary")) {
        if (!tray_->hostPresent()) return;  // no way back from a tray that is not there
        state_.DialogMode = kNoDialog;
        form4_->ShowPicture(0);
        SayText(QStringLiteral("なぁに？") + s.NickName);
        away_->Forget();
        hide();
        form4_->hide();
    } else if (name == QLatin1String("mnuOption")) {
        ShowOptionDialog();
    } else if (name == QLatin1String("mnuVersion")) {
        ShowAboutBox();
    } else if (name == QLatin1String("mnuExit")) {
        Unload();
    }
}

void Form1::ShowOptionDialog() {
    // An OK also moves a password still kept in the file into the keyring.
    const bool accepted = RunSettingsDialog() == QDialog::Accepted;
    if (state_.SettingsChanged || dialogBatchUnsaved_ || (accepted && PasswordLeftInFile(state_, services_.keyring)))
        dialogBatchUnsaved_ = !WriteDialogBatchNow();
}

bool Form1::WriteDialogBatchNow() {
    const auto keepInFile = [this] {
        return ShowMessageBox(QStringLiteral("キーリングにパスワードを保存できませんでした。\n"
                                             "代わりに設定ファイル (velmio.ini) に保存しますか？"),
                              MessageBoxes::kYesNo | MessageBoxes::kQuestion) == MessageBoxes::kYes;
    };
    return Saved(WriteDialogBatch(state_, services_.keyring, keepInFile));
}

void Form1::OpenSettingsDialog() { RunSettingsDialog(); }

void Form1::ShowFailureBox(const QString& text) {
    SetWindowsTopMost(0);
    hide();  // the balloon
    ShowMessageBox(text, 16);
    SetWindowsTopMost(AlwaysActiveMarked() ? 1 : 0);
    show();
}

void Form1::StartSignIn(const AccountSettings& account) {
    SignInDialog dialog(account, {services_.keyring, {}, 1000});
    ShowDialogModal(dialog, kQuestionDialog);
    // Signed in: the check it stood in for, now with a token.
    if (dialog.SignedIn()) QTimer::singleShot(0, this, [this] { mailCheck_->ExecuteMailCheck(); });
}

void Form1::AskForPassword() {
    SetWindowsTopMost(0);
    ShowMsg(QStringLiteral("Passwordが設定されていません"), 16);
    OpenSettingsDialog();
    SetWindowsTopMost(AlwaysActiveMarked() ? 1 : 0);
}

int Form1::RunSettingsDialog() {
    std::unique_ptr<QDialog> dialog = services_.dialogs->CreateSettingsDialog(this);
    ShowDialogModal(*dialog, kSettingsDialog);
    return dialog->result();
}

void Form1::FollowAppliedSettings() {
    const AppSettings& s = state_.settings;
    SetTimerEnabled(s.AutoCheck);
    setChecked("mnuAutoCheck", s.AutoCheck);
    if (AccountSet(s) && !mailCheck_->CheckRunning()) SetMailCheckEnabled(true);
    push_->Follow();
}

void Form1::ShowAboutBox() {
    std::unique_ptr<QDialog> dialog = services_.dialogs->CreateAboutBox(this);
    ShowDialogModal(*dialog, kAboutDialog);
}

void Form1::ShowPicture(int frame) { form4_->ShowPicture(frame); }

bool Form1::AlwaysActiveMarked() const { return checked("mnuAlwaysActive"); }

void Form1::SetMailCheckEnabled(bool enabled) {
    menu_->item(QStringLiteral("mnuMailCheck"))->setEnabled(enabled);
}

bool Form1::MailCheckEnabled() const {
    return menu_->item(QStringLiteral("mnuMailCheck"))->isEnabled();
}

// Enabling a running timer leaves its minute as it is, as a timer control does.
void Form1::SetTimerEnabled(bool enabled) {
    if (!enabled) {
        timer1_.stop();
    } else if (!timer1_.isActive()) {
        timer1_.start();
    }
}

void Form1::AutoCheckTick() {
    push_->Follow();  // the flat-rate hours may have begun or ended
    if (autoCheck_.Tick(state_.settings, services_.clock->now().time().hour()))
        mailCheck_->ExecuteMailCheck(false);
}

bool Form1::checked(const char* item) const {
    return menu_->item(QLatin1String(item))->isChecked();
}

void Form1::setChecked(const char* item, bool on) {
    menu_->item(QLatin1String(item))->setChecked(on);
}

}  // namespace velmio
