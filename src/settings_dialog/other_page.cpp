#include "settings_dialog/other_page.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <utility>

#include "core/app_state.h"
#include "platform/named_widget.h"
#include "platform/twips_rect.h"
#include "settings_dialog/server_page.h"

namespace velmio {
namespace {

// Linux mail programs carry no ".exe": programs of any name are offered
// first, Windows programs (run through Wine) second.
const QString kProgramFilter = QStringLiteral("ﾌﾟﾛｸﾞﾗﾑ (*)") + QChar(0) + QStringLiteral("*") +
                               QChar(0) + QStringLiteral("Exeﾌｧｲﾙ (*.exe)") + QChar(0) +
                               QStringLiteral("*.exe");

}  // namespace

OtherPage::OtherPage(FileSelector selectFile, const QString& startDir, Autostart autostart,
                     QWidget* parent)
    : DialogPage(parent),
      selectFile_(std::move(selectFile)),
      startDir_(startDir),
      autostart_(std::move(autostart)) {
    auto* frame2 = Named(new FrameBox(QString()), "Frame2");
    PlaceOnTabs(frame2, 120, 480, 4815, 1095);
    autoCheck_ = Named(new QCheckBox(QStringLiteral("自動チェック(&A)")), "AutoCheck");
    checkMin_ = Named(new QLineEdit, "CheckMin");
    label8_ = Named(new QLabel(QStringLiteral("チェック間隔(M)")), "Label8");
    label8_->setBuddy(checkMin_);
    label9_ = Named(new QLabel(QStringLiteral("分")), "Label9");
    telhoCheck_ = Named(new QCheckBox(QStringLiteral("テレホ時間帯のみ(&T)")), "TelhoCheck");
    PlaceInTwips(autoCheck_, frame2, 240, 0, 1815, 255);
    frame2->setTitleWidget(autoCheck_);
    PlaceInTwips(label8_, frame2, 240, 400, 1335, 255);
    PlaceInTwips(checkMin_, frame2, 1680, 360, 855, 270);
    PlaceInTwips(label9_, frame2, 2640, 400, 375, 255);
    PlaceInTwips(telhoCheck_, frame2, 240, 720, 2655, 255);

    auto* frame3 = Named(new FrameBox(QStringLiteral("ダブルクリックの処理")), "Frame3");
    PlaceOnTabs(frame3, 120, 1800, 4815, 1455);
    dblClick_ = new QButtonGroup(this);
    dblClick_->setObjectName(QStringLiteral("DblClick"));
    const struct {
        const char* name;
        const char* caption;
        int left;
        int width;
    } options[] = {{"DblClick0", "なし(&N)", 240, 975},
                   {"DblClick1", "メーラー起動(&E)", 1320, 1575},
                   {"DblClick2", "メールチェック(&C)", 3000, 1695}};
    for (int i = 0; i < 3; ++i) {
        auto* option = Named(new QRadioButton(QString::fromUtf8(options[i].caption)), options[i].name);
        dblClick_->addButton(option, i);
        option->installEventFilter(this);
        PlaceInTwips(option, frame3, options[i].left, 240, options[i].width, 255);
    }
    execMailer_ = Named(new QLineEdit, "ExecMailer");
    label10_ = Named(new QLabel(QStringLiteral("メーラー")), "Label10");
    label10_->setBuddy(execMailer_);
    auto* command5 = Named(new QPushButton(QStringLiteral("参照")), "Command5");
    PlaceInTwips(label10_, frame3, 120, 760, 855, 255);
    PlaceInTwips(execMailer_, frame3, 1080, 720, 3615, 270);
    PlaceInTwips(command5, frame3, 3720, 1080, 975, 300);

    bgClearness_ = Named(new QCheckBox(QStringLiteral("背景透過モード（次回から有効。要 CPU Power）")),
                         "BGClearness");
    PlaceOnTabs(bgClearness_, 360, 3360, 4455, 255);
    autostartBox_ = Named(new QCheckBox(QStringLiteral("ログイン時に起動する")), "Autostart");
    PlaceOnTabs(autostartBox_, 360, 3660, 2295, 255);
    autostartBox_->setToolTip(autostart_.EntryPath());
    // How she calls the user, on the rest of the start-at-login row.
    nickName_ = Named(new QLineEdit, "NickName");
    // The file keeps 1,023 bytes of a value: 341 characters in UTF-8 or code page 932.
    nickName_->setMaxLength(341);
    auto* nickNameLabel = Named(new QLabel(QStringLiteral("呼び方(&Y)")), "NickNameLabel");
    nickNameLabel->setBuddy(nickName_);
    PlaceOnTabs(nickNameLabel, 2760, 3660, 855, 255);
    PlaceOnTabs(nickName_, 3600, 3660, 1335, 270);
    showSender_ = Named(new QCheckBox(QStringLiteral("差出人と件名を教えて")), "ShowSender");
    PlaceOnTabs(showSender_, 360, 3960, 4455, 255);

    connect(autoCheck_, &QCheckBox::toggled, this, &OtherPage::EnableIntervalControls);
    connect(dblClick_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) DblClickSelected(id);
    });
    connect(command5, &QPushButton::clicked, this, [this] {
        const FileSelector& select = selectFile_ ? selectFile_ : FileSelector(SelectFile);
        execMailer_->setText(select(window(), kProgramFilter, startDir_));
    });
}

void OtherPage::LoadOtherPage(const AppState& state) {
    const AppSettings& s = state.settings;
    telhoCheck_->setChecked(s.TelHodai);
    autoCheck_->setChecked(s.AutoCheck);
    EnableIntervalControls(s.AutoCheck);
    checkMin_->setText(QString::number(s.Min));
    if (QAbstractButton* option = dblClick_->button(s.Click)) {
        option->setChecked(true);
        DblClickSelected(s.Click);
    } else {
        // A hand-edited value has no option: none is selected, the stored
        // value stays unless the user picks one.
        DblClickSelected(-1);
    }
    execMailer_->setText(s.Mailer);
    nickName_->setText(s.NickName);
    showSender_->setChecked(s.ShowSender);
    autostartBox_->setChecked(autostart_.IsEnabled());
    if (QFileInfo(state.paths.DataFile(QStringLiteral("velmio_s.dat"))).isFile()) {
        bgClearness_->setChecked(s.Clearness);
    } else {
        // The mode draws from the second picture; without it the box cannot
        // be chosen, and OK leaves the stored mode as it is (the character
        // then stands on her ordinary picture, unshaped).
        bgClearness_->setChecked(false);
        bgClearness_->setEnabled(false);
        bgClearness_->setToolTip(QStringLiteral("velmio_s.dat がないので選べません"));
    }
}

void OtherPage::Apply(AppSettings& s, std::optional<qint16> min, bool& changed) const {
    ApplyField(s.AutoCheck, autoCheck_->isChecked(), changed);
    if (min) ApplyField(s.Min, *min, changed);
    ApplyField(s.TelHodai, telhoCheck_->isChecked(), changed);
    const int click = dblClick_->checkedId();
    if (click >= 0) ApplyField(s.Click, static_cast<qint16>(click), changed);
    ApplyField(s.Mailer, execMailer_->text(), changed);
    // The file drops blanks around a value: store what the next start reads.
    ApplyField(s.NickName, nickName_->text().trimmed(), changed);
    ApplyField(s.ShowSender, showSender_->isChecked(), changed);
    if (bgClearness_->isEnabled()) ApplyField(s.Clearness, bgClearness_->isChecked(), changed);
}

bool OtherPage::ApplyAutostart(const QString& program) const {
    if (autostartBox_->isChecked() == autostart_.IsEnabled()) return true;
    return autostart_.SetEnabled(autostartBox_->isChecked(),
                                 program.isEmpty() ? QCoreApplication::applicationFilePath() : program);
}

void OtherPage::FitOptionRow() {
    const QList<QAbstractButton*> options = {dblClick_->button(0), dblClick_->button(1),
                                             dblClick_->button(2)};
    const QWidget* frame = options[0]->parentWidget();
    const int margin = TwipsRect(frame, 120, 0, 0, 0).x();
    const int right = frame->width() - margin;
    bool overlap = false;
    for (int i = 1; i < options.size(); ++i)
        overlap |= options[i]->x() < options[i - 1]->geometry().right() + 1;
    if (!overlap && options.last()->geometry().right() < right) return;
    int total = 0;
    for (QAbstractButton* o : options) {
        o->resize(o->sizeHint().width(), o->height());
        total += o->width();
    }
    const int gap = qMax(0, (right - margin - total) / (static_cast<int>(options.size()) - 1));
    int x = margin;
    for (QAbstractButton* o : options) {
        o->move(x, o->y());
        x += o->width() + gap;
    }
}

bool OtherPage::eventFilter(QObject* watched, QEvent* event) {
    // The options are one stop of Tab and Shift+Tab, entered at the chosen
    // option (at the first while none is chosen), as option groups behave
    // elsewhere on the desktop; the arrow keys move between them.
    auto isOption = [this](const QObject* o) {
        return o && dblClick_->buttons().contains(qobject_cast<QAbstractButton*>(const_cast<QObject*>(o)));
    };
    if (event->type() == QEvent::FocusOut) {
        stepWithinOptions_ = isOption(QApplication::focusWidget());
    } else if (event->type() == QEvent::FocusIn) {
        const bool within = std::exchange(stepWithinOptions_, false);
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
            QAbstractButton* entry = dblClick_->checkedButton();
            if (!entry) entry = dblClick_->button(0);
            if (within)
                reason == Qt::TabFocusReason ? focusNextChild() : focusPreviousChild();
            else if (entry != watched)
                entry->setFocus(Qt::OtherFocusReason);  // a redirect, not a step
        }
    }
    return DialogPage::eventFilter(watched, event);
}

void OtherPage::EnableIntervalControls(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(label8_), static_cast<QWidget*>(checkMin_),
                       static_cast<QWidget*>(label9_), static_cast<QWidget*>(telhoCheck_)})
        w->setEnabled(enabled);
}

void OtherPage::DblClickSelected(int index) {
    label10_->setEnabled(index == 1);
    execMailer_->setEnabled(index == 1);
}

}  // namespace velmio
