#include "app/away_news.h"

#include <utility>

#include "platform/desktop_notification.h"

namespace velmio {

AwayNews::AwayNews(QObject* parent) : QObject(parent), notification_(new DesktopNotification(this)) {
    connect(notification_, &DesktopNotification::ActionInvoked, this, &AwayNews::Invoked);
}

void AwayNews::Tell(const QString& line, const QStringList& lines, const QList<AnnouncedMail>& announced,
                    bool mailerSet, const QString& iconPath) {
    news_ = line.isEmpty() ? lines : QStringList{line} + lines;
    announced_ = announced;
    QList<DesktopNotification::Action> actions{{kView, QStringLiteral("見る")}};
    if (mailerSet) actions.append({kMailer, QStringLiteral("メールソフトを開く")});
    if (!announced.isEmpty()) actions.append({kMarkRead, QStringLiteral("既読にする")});
    notification_->Show(line, lines.join(QLatin1Char('\n')), iconPath, actions);
}

QStringList AwayNews::Take() { return std::exchange(news_, {}); }

void AwayNews::Forget() {
    news_.clear();
    announced_.clear();
}

void AwayNews::Invoked(const QString& key) {
    if (key == QLatin1String(kView)) {
        emit ViewAsked();
    } else if (key == QLatin1String(kMailer)) {
        emit MailerAsked();
    } else if (key == QLatin1String(kMarkRead) && !announced_.isEmpty()) {
        // Marked once; what she would say again of them is old news.
        const QList<AnnouncedMail> announced = announced_;
        Forget();
        emit MarkReadAsked(announced);
    }
}

}  // namespace velmio
