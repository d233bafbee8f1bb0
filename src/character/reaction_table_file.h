#pragma once

#include "core/reaction_table.h"

namespace velmio {

struct AppState;
class ProfileDocument;

// Reads velmio.tbl beside the program into the state's reaction table; a
// missing file leaves every kind without variants.
void LoadReactionTable(AppState& state);

// The reaction table a profile document describes.
ReactionTable ReadReactionTable(const ProfileDocument& doc);

}  // namespace velmio
