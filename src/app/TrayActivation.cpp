#include "app/TrayActivation.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMetaClassInfo>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QVariantMap>

#include <array>

namespace {

const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// Qt puts each tray icon's item on a connection of its own, named after the process and the
// icon's number.
constexpr int iconsTried = 4;

QDBusAbstractAdaptor *itemAdaptor(QObject &item) {
    for (auto *adaptor : item.findChildren<QDBusAbstractAdaptor *>(Qt::FindDirectChildrenOnly)) {
        const QMetaObject *meta = adaptor->metaObject();
        const int info = meta->indexOfClassInfo("D-Bus Interface");
        if (info >= 0 && QLatin1String(meta->classInfo(info).value()) == itemInterface)
            return adaptor;
    }
    return nullptr;
}

} // namespace

std::unique_ptr<TrayActivation> TrayActivation::attach() {
    const qint64 pid = QCoreApplication::applicationPid();
    for (int icon = 1; icon <= iconsTried; ++icon) {
        QDBusConnection connection(
            QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(pid).arg(icon));
        if (!connection.isConnected())
            continue;
        QObject *item = connection.objectRegisteredAt(itemPath);
        QDBusAbstractAdaptor *adaptor = item ? itemAdaptor(*item) : nullptr;
        if (!adaptor)
            continue;
        std::unique_ptr<TrayActivation> relay(new TrayActivation(connection, item, adaptor));
        connection.unregisterObject(itemPath);
        if (connection.registerVirtualObject(itemPath, relay.get()))
            return relay;
        connection.registerObject(itemPath, item);
        return nullptr;
    }
    return nullptr;
}

TrayActivation::TrayActivation(QDBusConnection connection, QObject *item,
                               QDBusAbstractAdaptor *adaptor)
    : m_connection(std::move(connection)), m_item(item), m_adaptor(adaptor) {
    // The item's change signals go out from its own path, as Qt would send them.
    const QMetaObject *meta = adaptor->metaObject();
    const QMetaMethod plain = metaObject()->method(metaObject()->indexOfSlot("relaySignal()"));
    const QMetaMethod status =
        metaObject()->method(metaObject()->indexOfSlot("relayStatus(QString)"));
    for (int index = meta->methodOffset(); index < meta->methodCount(); ++index) {
        const QMetaMethod method = meta->method(index);
        if (method.methodType() != QMetaMethod::Signal)
            continue;
        if (method.parameterCount() == 0)
            connect(adaptor, method, this, plain);
        else if (method.parameterCount() == 1 && method.parameterType(0) == QMetaType::QString)
            connect(adaptor, method, this, status);
    }
}

TrayActivation::~TrayActivation() {
    // Qt's item gets its path back, so its own clean-up finds it where it left it.
    if (m_connection.objectRegisteredAt(itemPath) == this) {
        m_connection.unregisterObject(itemPath);
        if (m_item)
            m_connection.registerObject(itemPath, m_item);
    }
}

QString TrayActivation::introspect(const QString &) const {
    if (!m_adaptor)
        return {};
    const QMetaObject *meta = m_adaptor->metaObject();
    const int info = meta->indexOfClassInfo("D-Bus Introspection");
    return info >= 0 ? QString::fromUtf8(meta->classInfo(info).value()) : QString();
}

bool TrayActivation::handleMessage(const QDBusMessage &message, const QDBusConnection &) {
    if (!m_adaptor || message.type() != QDBusMessage::MethodCallMessage)
        return false;
    if (message.interface() == propertiesInterface)
        return answerProperties(message);
    if (!message.interface().isEmpty() && message.interface() != itemInterface)
        return false;
    const QVariantList arguments = message.arguments();
    if (message.member() == QLatin1String("Activate") && arguments.size() == 2) {
        const QPoint point(arguments[0].toInt(), arguments[1].toInt());
        if (!point.isNull())
            emit activatedAt(point);
    }
    return invoke(message);
}

bool TrayActivation::answerProperties(const QDBusMessage &message) {
    const QVariantList arguments = message.arguments();
    const QMetaObject *meta = m_adaptor->metaObject();
    if (message.member() == QLatin1String("GetAll")) {
        QVariantMap all;
        for (int index = meta->propertyOffset(); index < meta->propertyCount(); ++index) {
            const QMetaProperty property = meta->property(index);
            all.insert(QLatin1String(property.name()), property.read(m_adaptor));
        }
        m_connection.send(message.createReply(QVariant::fromValue(all)));
        return true;
    }
    if (message.member() == QLatin1String("Get") && arguments.size() == 2) {
        const int index = meta->indexOfProperty(arguments[1].toString().toLatin1().constData());
        if (index < meta->propertyOffset()) {
            m_connection.send(message.createErrorReply(
                QDBusError::UnknownProperty,
                QStringLiteral("No property %1").arg(arguments[1].toString())));
            return true;
        }
        const QVariant value = meta->property(index).read(m_adaptor);
        m_connection.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
        return true;
    }
    m_connection.send(message.createErrorReply(
        QDBusError::PropertyReadOnly, QStringLiteral("The item's properties are read-only")));
    return true;
}

bool TrayActivation::invoke(const QDBusMessage &message) {
    QVariantList arguments = message.arguments();
    const QMetaObject *meta = m_adaptor->metaObject();
    for (int index = meta->methodOffset(); index < meta->methodCount(); ++index) {
        const QMetaMethod method = meta->method(index);
        if (method.methodType() != QMetaMethod::Slot ||
            method.name() != message.member().toUtf8() ||
            method.parameterCount() != arguments.size() || arguments.size() > 4)
            continue;
        // The type names must outlive the call: QGenericArgument keeps only their pointers.
        std::array<QByteArray, 4> types;
        std::array<QGenericArgument, 4> passed;
        for (int i = 0; i < arguments.size(); ++i) {
            if (!arguments[i].convert(method.parameterMetaType(i)))
                return false;
            types[size_t(i)] = method.parameterTypeName(i);
            passed[size_t(i)] =
                QGenericArgument(types[size_t(i)].constData(), arguments[i].constData());
        }
        method.invoke(m_adaptor, Qt::DirectConnection, passed[0], passed[1], passed[2], passed[3]);
        if (message.isReplyRequired())
            m_connection.send(message.createReply());
        return true;
    }
    return false;
}

void TrayActivation::relaySignal() {
    sendSignal(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name()), {});
}

void TrayActivation::relayStatus(const QString &status) {
    sendSignal(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name()),
               {status});
}

void TrayActivation::sendSignal(const QString &name, const QVariantList &arguments) {
    QDBusMessage signal = QDBusMessage::createSignal(itemPath, itemInterface, name);
    signal.setArguments(arguments);
    m_connection.send(signal);
}
