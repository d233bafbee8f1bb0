#pragma once

#include <QString>
#include <variant>
#include <vector>

#include "core/app_state.h"

namespace velmio {

class ProfileDocument;

// When a key is written: after a confirmed settings dialog with changes, at
// the program's end, or never (the user edits it by hand).
enum class Batch { None, Dialog, Exit };

// Where a key's value lives: a member of the settings (its type gives the
// key's type; qint32 is a place in twips), or an event's sound file.
struct SoundFile {
    int event;
};
using SettingField = std::variant<QString AppSettings::*, qint16 AppSettings::*, qint32 AppSettings::*,
                                  bool AppSettings::*, SoundFile>;

struct SettingsKey {
    const char* section;
    const char* name;
    SettingField field;
    Batch batch;
    const char* missing;   // taken when the file lacks the key or its value does not read
    const char* firstRun;  // taken when there is no settings file at all
};

// Every key of velmio.ini, in the order each batch writes them: a key new to
// a file is added at the end of its section in this order.
const std::vector<SettingsKey>& SettingsKeys();

// Reads every key from the document, or the first-run values without one.
void ReadSettingsKeys(AppState& state, const ProfileDocument* doc);

// The key's value as the file holds it.
QString SettingText(const AppState& state, const SettingsKey& key);

}  // namespace velmio
