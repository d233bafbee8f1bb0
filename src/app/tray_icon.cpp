#include "app/tray_icon.h"

#include <QIcon>
#include <QSystemTrayIcon>

#include "platform/cp932.h"

namespace velmio {

TrayIcon::TrayIcon(QObject* parent) : QObject(parent), icon_(new QSystemTrayIcon(this)) {
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        // The second press of a double click is a press of the left button too.
        if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
            emit trayMessage(kLeftDown);
        if (r == QSystemTrayIcon::Context) emit trayMessage(kRightDown);
    });
    hostPresent_ = QSystemTrayIcon::isSystemTrayAvailable();
    hostPoll_.setInterval(kHostPollMs);
    connect(&hostPoll_, &QTimer::timeout, this, &TrayIcon::CheckHost);
    hostPoll_.start();
}

void TrayIcon::CheckHost() {
    const bool present = QSystemTrayIcon::isSystemTrayAvailable();
    if (present == hostPresent_) return;
    hostPresent_ = present;
    // A host that came later gets the icon only when it is added again.
    if (present && shown_) {
        icon_->hide();
        icon_->show();
    }
    emit hostPresenceChanged(present);
}

QString TrayIcon::TipText(const QString& suffix) {
    // The summary keeps its old limit; the lines of several accounts follow it whole.
    const qsizetype lineEnd = suffix.indexOf(QLatin1Char('\n'));
    const QString summary = lineEnd < 0 ? suffix : suffix.left(lineEnd);
    const QString tip = DecodeCp932(CutCp932(EncodeCp932(QStringLiteral("MailChecker Velmio") + summary), kTipBytes));
    return lineEnd < 0 ? tip : tip + suffix.mid(lineEnd);
}

void TrayIcon::UpdateTrayIcon(const QString& suffix, qint16 selector) {
    letter_ = selector > 0;
    icon_->setIcon(QIcon(letter_ ? QStringLiteral(":/icons/postbox_letter.svg")
                                 : QStringLiteral(":/icons/postbox.svg")));
    icon_->setToolTip(TipText(suffix));
    if (suffix.isEmpty()) {
        shown_ = true;
        icon_->show();
    }
}

void TrayIcon::Remove() {
    shown_ = false;
    hostPoll_.stop();
    icon_->hide();
}

QString TrayIcon::tip() const { return icon_->toolTip(); }

}  // namespace velmio
