#include "settings_dialog/sound_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "character/event_sounds.h"
#include "platform/named_widget.h"
#include "platform/relative_path.h"
#include "settings_dialog/server_page.h"

namespace velmio {
namespace {

const QString kWaveFilter = QStringLiteral("Waveﾌｧｲﾙ (*.wav)") + QChar(0) + QStringLiteral("*.wav");
const QString kWaveFilterLower = QStringLiteral("waveﾌｧｲﾙ (*.wav)") + QChar(0) + QStringLiteral("*.wav");

}  // namespace

SoundPage::SoundPage(EventSounds& sounds, FileSelector selectFile, const QString& startDir,
                     const QString& dataDir, QWidget* parent)
    : DialogPage(parent),
      sounds_(sounds),
      selectFile_(std::move(selectFile)),
      startDir_(startDir),
      dataDir_(dataDir) {
    auto* frame4 = Named(new FrameBox(QString()), "Frame4");
    PlaceOnTabs(frame4, 120, 480, 4815, 3015);

    useSound_ = Named(new QCheckBox(QStringLiteral("音声で知らせる")), "UseSound");
    eventName_ = Named(new QComboBox, "EventName");
    label5_ = Named(new QLabel(QStringLiteral("イベント名(&I)")), "Label5");
    label5_->setBuddy(eventName_);
    eventWave_ = Named(new QLineEdit, "EventWave");
    label6_ = Named(new QLabel(QStringLiteral("イベントに割り当てる音声ファイル(&W)")), "Label6");
    label6_->setBuddy(eventWave_);
    auto* command1 = Named(new QPushButton(QStringLiteral("参照(&B)...")), "Command1");
    // Messages per event were planned here once; the fields stay out of sight.
    auto* eventMsg = Named(new QLineEdit, "EventMsg");
    auto* label7 = Named(new QLabel(QStringLiteral("メッセージ(&M)")), "Label7");
    label7->setBuddy(eventMsg);

    PlaceInTwips(useSound_, frame4, 120, 0, 1815, 255);
    frame4->setTitleWidget(useSound_);
    PlaceInTwips(label5_, frame4, 120, 360, 1095, 255);
    PlaceInTwips(eventName_, frame4, 120, 600, 2775, 300);
    PlaceInTwips(label6_, frame4, 120, 1080, 3135, 255);
    PlaceInTwips(eventWave_, frame4, 120, 1320, 4575, 270);
    PlaceInTwips(command1, frame4, 3720, 1680, 975, 300);
    PlaceInTwips(label7, frame4, 120, 2040, 1215, 255);
    PlaceInTwips(eventMsg, frame4, 120, 2280, 4575, 270);
    for (QWidget* hidden : {static_cast<QWidget*>(label7), static_cast<QWidget*>(eventMsg)}) {
        hidden->setEnabled(false);
        hidden->setVisible(false);
    }

    waveTest_ = Named(new QPushButton(QStringLiteral("テスト(&P)")), "WaveTest");
    auto* waveBrowse = Named(new QPushButton(QStringLiteral("参照(&R)...")), "WaveBrowse");
    PlaceOnTabs(waveTest_, 2760, 2520, 855, 255);
    PlaceOnTabs(waveBrowse, 3840, 2520, 975, 255);

    connect(useSound_, &QCheckBox::toggled, this, &SoundPage::EnableSoundControls);
    connect(eventName_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SoundPage::EventSelected);
    connect(eventWave_, &QLineEdit::textChanged, this, &SoundPage::WaveTextChanged);
    connect(command1, &QPushButton::clicked, this, [this] { Browse(kWaveFilter); });
    connect(waveBrowse, &QPushButton::clicked, this, [this] { Browse(kWaveFilterLower); });
    connect(waveTest_, &QPushButton::clicked, this,
            [this] { sounds_.PlaySoundFile(eventWave_->text()); });
}

void SoundPage::LoadSoundPage(const AppState& state) {
    FillEventList();
    work_ = state.soundTable;
    if (sounds_.HasWaveDevice()) {
        useSound_->setChecked(state.settings.PlayWave);
        EnableSoundControls(useSound_->isChecked());
    } else {
        // Sounds cannot be switched without a device to play them on. The
        // switch shows what is set and OK keeps it: a device missing for the
        // moment (a headset unplugged, the sound server not up yet) must not
        // turn the user's sounds off for good.
        useSound_->setChecked(state.settings.PlayWave);
        useSound_->setEnabled(false);
        useSound_->setToolTip(QStringLiteral("音声を出せる装置が見つからないので、今は切り替えられません"));
    }
    eventName_->setCurrentIndex(-1);
    eventName_->setCurrentIndex(0);
}

void SoundPage::Apply(AppState& state, bool& changed) const {
    if (useSound_->isEnabled()) ApplyField(state.settings.PlayWave, useSound_->isChecked(), changed);
    for (int slot = 0; slot < 6; ++slot) ApplyField(state.soundTable[slot], work_[slot], changed);
}

void SoundPage::FillEventList() {
    const QSignalBlocker quiet(eventName_);  // the slots are not loaded yet
    eventName_->clear();
    for (int slot = 0; slot < 6; ++slot) eventName_->addItem(EventSoundName(slot));
}

void SoundPage::EnableSoundControls(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(label5_), static_cast<QWidget*>(eventName_),
                       static_cast<QWidget*>(label6_), static_cast<QWidget*>(eventWave_)})
        w->setEnabled(enabled);
}

void SoundPage::EventSelected(int slot) {
    if (slot < 0 || slot > 5) return;
    const QString& path = work_[slot];
    if (path.isEmpty()) waveTest_->setEnabled(false);
    eventWave_->setText(path);  // a different text runs WaveTextChanged
}

void SoundPage::WaveTextChanged(const QString& text) {
    waveTest_->setEnabled(!text.isEmpty());
    const int slot = eventName_->currentIndex();
    if (slot >= 0 && slot <= 5) work_[slot] = text;
}

void SoundPage::Browse(const QString& filter) {
    const FileSelector& select = selectFile_ ? selectFile_ : FileSelector(SelectFile);
    // A sound of the program folder is kept relative, so the folder can move.
    eventWave_->setText(RelativeIfInside(dataDir_, select(window(), filter, startDir_)));
}

}  // namespace velmio
