#pragma once

namespace velmio {

struct AppState;

// Reads velmio.tbl beside the program into the state's reaction table; a
// missing file leaves every kind without variants.
void LoadReactionTable(AppState& state);

}  // namespace velmio
