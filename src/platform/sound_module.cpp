// The entry of velmio-sound.so, which SoundOnDemand loads at the first sound.
#include "platform/sound_output.h"

extern "C" Q_DECL_EXPORT velmio::SoundOutput* velmio_make_sound_output() { return new velmio::QtSoundOutput; }
