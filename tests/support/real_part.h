#pragma once

#include <QtTest>

// For a test that needs a real part of the test desktop (Dovecot, the X
// server, the sound server, the keyring, the package): without it a
// developer's machine skips the test, but CI (CI=true) starts every part, so
// there its absence is a failure rather than a skip that passes.
#define REQUIRE_REAL_PART(available, what)                                      \
    do {                                                                        \
        if (!(available)) {                                                     \
            if (qgetenv("CI") == "true") QFAIL(what " did not start (CI=true)"); \
            QSKIP("no " what " (scripts/test starts the real parts)");          \
        }                                                                       \
    } while (false)
