// The yardstick of bench_memory: the least a Qt program of her kind holds, a
// window with a line of Japanese text and a tray icon, and nothing else.
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Velmioチェック"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("お兄ちゃん、メールが3通来てるよ")));
    window.show();

    QPixmap picture(22, 22);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setBrush(Qt::red);
    painter.drawEllipse(2, 2, 18, 18);
    painter.end();
    QSystemTrayIcon tray{QIcon(picture)};
    tray.setToolTip(QStringLiteral("MailChecker Velmio"));
    tray.show();
    return app.exec();
}
