#pragma once

#include <QString>

namespace velmio {

// A session without XDG_RUNTIME_DIR (su, ssh, a bare X server) gets the
// folder Qt would fall back to, made private to the user, before Qt
// complains about it on the console. Returns the folder now in use, or
// nothing when there is none that is safely the user's.
QString ProvideRuntimeDir();

}  // namespace velmio
