#pragma once

#include <QObject>

namespace velmio {

struct AppState;
class Clock;
class MailShell;

// One POP3 mail check at a time, driven by socket events.
class MailCheck : public QObject {
    Q_OBJECT
public:
    MailCheck(AppState& state, MailShell& shell, Clock& clock, QObject* parent = nullptr);
    ~MailCheck() override;

    // Starts a check; a running one is abandoned first.
    void ExecuteMailCheck();
    qint16 PopState() const { return popState_; }

private:
    AppState& state_;
    MailShell& shell_;
    Clock& clock_;
    qint16 popState_ = 0;
};

}  // namespace velmio
