#pragma once

#include "core/app_state.h"
#include "settings_dialog/dialog_page.h"
#include "settings_dialog/select_file.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmio {

class EventSounds;

// The page "音声&ﾒｯｾｰｼﾞ": sounds on or off and a wave file for each of
// the six sound events, edited in a working copy until OK.
class SoundPage : public DialogPage {
    Q_OBJECT
public:
    // Browsing starts in startDir; a file chosen inside dataDir is kept
    // relative to it.
    SoundPage(EventSounds& sounds, FileSelector selectFile, const QString& startDir, const QString& dataDir,
              QWidget* parent = nullptr);

    void LoadSoundPage(const AppState& state);
    // PlayWave, then the six slots of the sound table in order.
    void Apply(AppState& state, bool& changed) const;

    const SoundTable& WorkSoundTable() const { return work_; }

private:
    void FillEventList();
    void EnableSoundControls(bool enabled);
    void EventSelected(int slot);
    void WaveTextChanged(const QString& text);
    void Browse(const QString& filter);

    EventSounds& sounds_;
    FileSelector selectFile_;
    QString startDir_;
    QString dataDir_;
    SoundTable work_;
    QCheckBox* useSound_;
    QLabel* label5_;
    QComboBox* eventName_;
    QLabel* label6_;
    QLineEdit* eventWave_;
    QPushButton* waveTest_;
};

}  // namespace velmio
