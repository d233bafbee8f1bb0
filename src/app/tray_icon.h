#pragma once

#include <QObject>
#include <QString>

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
    QSystemTrayIcon* icon() const { return icon_; }

    // Tip text as the notification area may hold it: 63 bytes of code page 932.
    static QString TipText(const QString& suffix);

signals:
    void trayMessage(int message);

private:
    QSystemTrayIcon* icon_;
    bool letter_ = false;
};

}  // namespace velmio
