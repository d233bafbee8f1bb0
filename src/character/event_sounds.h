#pragma once

#include <QString>

namespace velmio {

struct AppState;
class SoundOutput;

// Names of the six sound events, as the settings dialog lists them.
const QString& EventSoundName(int event);

class EventSounds {
public:
    EventSounds(const AppState& state, SoundOutput& output) : state_(state), output_(output) {}
    // Plays the event's wave when one is set and sounds are on. An event
    // outside 0 to 5 throws std::out_of_range.
    void PlayEventSound(int event);
    // Plays regardless of the sound switch; an empty path does nothing, a
    // relative one is found in the program folder.
    void PlaySoundFile(const QString& path);
    bool HasWaveDevice() const;

private:
    const AppState& state_;
    SoundOutput& output_;
};

}  // namespace velmio
