#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QSystemTrayIcon;

namespace velmio {

// The icon in the notification area. Mouse events arrive as the stored
// message numbers: 513 left button down, 516 right button down.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int kLeftDown = 513;
    static constexpr int kRightDown = 516;
    static constexpr int kTipBytes = 63;

    explicit TrayIcon(QObject* parent = nullptr);

    // Adds the icon (empty suffix) or updates it; the letter icon shows while
    // the selector is positive.
    void UpdateTrayIcon(const QString& suffix, qint16 selector);
    void Remove();

    QString tip() const;
    bool letterShown() const { return letter_; }
    // A notification area is there to hold the icon (vanilla GNOME has none).
    bool hostPresent() const { return hostPresent_; }
    QSystemTrayIcon* icon() const { return icon_; }

    // Tip text as the notification area may hold it: 63 bytes of code page 932.
    static QString TipText(const QString& suffix);

    static constexpr int kHostPollMs = 2000;

signals:
    void trayMessage(int message);
    // The notification area came or went.
    void hostPresenceChanged(bool present);

private:
    void CheckHost();

    QSystemTrayIcon* icon_;
    bool letter_ = false;
    bool shown_ = false;  // the icon is meant to be in the tray
    bool hostPresent_ = false;
    // Qt tells nobody when a tray host comes or goes, so it is asked now and then.
    QTimer hostPoll_;
};

}  // namespace velmio
