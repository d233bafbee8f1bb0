#include "mail/mail_check.h"

#include "core/app_state.h"
#include "mail/mail_shell.h"
#include "platform/clock.h"

namespace velmio {

MailCheck::MailCheck(AppState& state, MailShell& shell, Clock& clock, QObject* parent)
    : QObject(parent), state_(state), shell_(shell), clock_(clock) {}

MailCheck::~MailCheck() = default;

void MailCheck::ExecuteMailCheck() {
    popState_ = 0;
    shell_.SayText(QStringLiteral("ちょっと待ってね…"));
}

}  // namespace velmio
