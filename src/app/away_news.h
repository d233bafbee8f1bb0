#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include "mail/announced_mail.h"

namespace velmio {

class DesktopNotification;

// What she had to tell while put away: sent to the desktop's notifications
// with buttons that act on it, and said again when she comes back.
class AwayNews : public QObject {
    Q_OBJECT
public:
    // The keys of the notification's actions, as a notification service
    // gives them back.
    static constexpr const char* kView = "view";
    static constexpr const char* kMailer = "mailer";
    static constexpr const char* kMarkRead = "mark-read";

    explicit AwayNews(QObject* parent = nullptr);

    // line: what she said; lines: who wrote, and what failed. The mailer
    // button goes along when one is set, the mark-read one when there are
    // messages to mark.
    void Tell(const QString& line, const QStringList& lines, const QList<AnnouncedMail>& announced, bool mailerSet,
              const QString& iconPath);
    // Her line, then the others, once; nothing when there was no news.
    QStringList Take();
    void Forget();

signals:
    void ViewAsked();
    void MailerAsked();
    void MarkReadAsked(const QList<AnnouncedMail>& announced);

private:
    void Invoked(const QString& key);

    DesktopNotification* notification_;
    QStringList news_;
    QList<AnnouncedMail> announced_;
};

}  // namespace velmio
