// Another program that holds the utility's session bus name, for the single-instance test.
// With --answer it also takes the utility's request to show, as a deliberate impostor would;
// every request it takes is printed on standard output.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>

#include <cstdio>
#include <cstring>

class Impostor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.TesselMenu")

public slots:
    Q_SCRIPTABLE void show() {
        std::puts("show");
        std::fflush(stdout);
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Impostor impostor;
    if (argc > 1 && std::strcmp(argv[1], "--answer") == 0)
        bus.registerObject(QStringLiteral("/"), &impostor, QDBusConnection::ExportScriptableSlots);
    if (!bus.registerService(QStringLiteral("io.github.TesselMenu")))
        return 1;
    return QCoreApplication::exec();
}

#include "bus_impostor.moc"
