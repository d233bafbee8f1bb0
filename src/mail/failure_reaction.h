#pragma once

#include <QString>

#include "mail/auth/credential_source.h"
#include "mail/session_outcome.h"

namespace velmio {

// How she reacts to a check that failed: her picture and line, the log
// entry (none: nothing logged), and the text of a message box shown first
// (none: no box).
struct FailureReaction {
    int picture = 4;
    QString line;
    QString logEntry;
    QString box;
};

// The reaction to each way a session can fail; Finished is no failure.
FailureReaction FailureReactionTo(const SessionOutcome& outcome);

// A short word for the tray tip of an account that failed.
QString FailureWord(const SessionOutcome& outcome);

// Failures that come before any session.
FailureReaction KeyringFailure(const QString& reason);
FailureReaction NoPassword();
// A source's answer that gives no credential; kind as CredentialKind.
FailureReaction CredentialFailure(const CredentialAnswer& answer, qint16 kind);

}  // namespace velmio
