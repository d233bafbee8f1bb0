#pragma once

#include <QString>
#include <optional>
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

// Which sections hold a key before it is set: every one, every one but
// [System], or none, so that files from before it keep their bytes.
enum class Presence { Always, OnceSetInSystem, OnceSet };

// The keys of an account's own section [AccountN], with the meanings and
// defaults they have in [System]. Those not Always are also the first
// account's keys in [System].
struct AccountKey {
    const char* name;
    std::variant<QString AccountSettings::*, qint16 AccountSettings::*, bool AccountSettings::*> field;
    Batch batch;
    const char* missing;
    Presence presence = Presence::Always;
};
const std::vector<AccountKey>& AccountKeys();
QString AccountSection(int number);

// Reads every key from the document, or the first-run values without one.
// Account sections without a server are skipped and left in the file.
void ReadSettingsKeys(AppState& state, const ProfileDocument* doc);

// Reads one account's section; nothing when it holds no server.
std::optional<AccountSettings> ReadAccountSection(const ProfileDocument& doc, int number);
// Writes the account's keys of the batch into its section; for the first
// account only those [System] does not hold in SettingsKeys.
void WriteAccountSection(ProfileDocument& doc, const AccountSettings& account, Batch batch);

// The key's value as the file holds it.
QString SettingText(const AppState& state, const SettingsKey& key);

}  // namespace velmio
