#include "character/event_sounds.h"

#include <stdexcept>

#include "core/app_state.h"
#include "platform/relative_path.h"
#include "platform/sound_output.h"

namespace velmio {

const QString& EventSoundName(int event) {
    static const QString names[6] = {
        QStringLiteral("なぁに？"),
        QStringLiteral("ちょっと待って…"),
        QStringLiteral("メールあり(仕様変更中につき無効)"),
        QStringLiteral("メールなし(仕様変更中につき無効)"),
        QStringLiteral("メールたくさん"),
        QStringLiteral("各種エラー"),
    };
    if (event < 0 || event > 5) throw std::out_of_range("sound event");
    return names[event];
}

void EventSounds::PlayEventSound(int event) {
    if (event < 0 || event > 5) throw std::out_of_range("sound event");
    const QString& path = state_.soundTable[event];
    if (!path.isEmpty() && state_.settings.PlayWave) PlaySoundFile(path);
}

void EventSounds::PlaySoundFile(const QString& path) {
    if (path.isEmpty()) return;
    output_.play(ResolveRelativeTo(state_.paths.DataDir(), path));
}

bool EventSounds::HasWaveDevice() const { return output_.hasDevice(); }

}  // namespace velmio
