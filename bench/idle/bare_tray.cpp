// The yardstick for the tray utility's resident memory: the least a Qt tray program can be.
// A tray icon whose left click toggles a frameless popup drawing the panel's Chinese labels,
// no timers, no tool runs, nothing else.
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QWidget popup(nullptr, Qt::Popup | Qt::FramelessWindowHint);
    popup.setWindowTitle(QStringLiteral("bare tray popup"));
    popup.setFixedWidth(300);
    auto *layout = new QVBoxLayout(&popup);
    for (const char *text :
         {"DEDAVIZUV", "今日用量", "本周合计", "暂无数据", "下次同步：01:00:00", "同步到 GitHub",
          "每日自动同步到 GitHub", "设置...", "查看热力图", "退出"})
        layout->addWidget(new QLabel(QString::fromUtf8(text)));

    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(0x0d, 0x52, 0x9e));
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.setToolTip(QStringLiteral("热图"));
    QObject::connect(&tray, &QSystemTrayIcon::activated,
                     [&popup](QSystemTrayIcon::ActivationReason reason) {
                         if (reason != QSystemTrayIcon::Trigger)
                             return;
                         if (popup.isVisible()) {
                             popup.hide();
                         } else {
                             popup.move(QCursor::pos());
                             popup.show();
                         }
                     });
    tray.show();
    return QApplication::exec();
}
