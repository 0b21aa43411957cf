#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QPoint>
#include <QPointer>

#include <memory>

class QDBusAbstractAdaptor;

// Reads where the tray host says the icon was clicked. A status-notifier host passes that
// point with the item's Activate(x, y) call, in the desktop's global coordinates, but Qt's
// tray drops it. This object takes the item's path over on the connection Qt's tray icon
// registered it on, notes the point of each activation and hands every call, property read
// and signal on to Qt's own item unchanged.
class TrayActivation : public QDBusVirtualObject {
    Q_OBJECT

public:
    // Over the item of this process's first tray icon, once it is shown; nullptr where the
    // icon is not a status-notifier item (an X11 tray) or the item cannot be found.
    static std::unique_ptr<TrayActivation> attach();
    ~TrayActivation() override;

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

signals:
    // Emitted before the activation reaches Qt's tray icon. Hosts that do not know the point
    // send (0, 0), which is not passed on.
    void activatedAt(QPoint point);

private slots:
    void relaySignal();
    void relayStatus(const QString &status);

private:
    TrayActivation(QDBusConnection connection, QObject *item, QDBusAbstractAdaptor *adaptor);
    bool answerProperties(const QDBusMessage &message);
    bool invoke(const QDBusMessage &message);
    void sendSignal(const QString &name, const QVariantList &arguments);

    QDBusConnection m_connection;
    QPointer<QObject> m_item;
    QPointer<QDBusAbstractAdaptor> m_adaptor;
};
