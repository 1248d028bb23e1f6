// A file manager on the session bus that only records what it is asked to show: each call appends a
// line "Method uri..." to the file named by the first argument. "<file>.ready" appears once the
// service name is owned.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    explicit FakeFileManager(QString logPath) : logPath_(std::move(logPath)) {}

public slots:
    void ShowItems(const QStringList& uris, const QString&) { Record(QStringLiteral("ShowItems"), uris); }
    void ShowFolders(const QStringList& uris, const QString&) { Record(QStringLiteral("ShowFolders"), uris); }

private:
    // Written whole before the reply goes out, so the caller reads a complete log once its call returns.
    void Record(const QString& method, const QStringList& uris) {
        log_ += (QStringList{method} + uris).join(QLatin1Char(' ')).toUtf8() + '\n';
        QSaveFile file(logPath_);
        if (!file.open(QIODevice::WriteOnly) || file.write(log_) != log_.size() || !file.commit())
            std::fprintf(stderr, "fake_file_manager: cannot write %s\n", qPrintable(logPath_));
    }

    QString logPath_;
    QByteArray log_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fake_file_manager LOG\n");
        return 2;
    }
    FakeFileManager manager(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.FileManager1"))) {
        std::fprintf(stderr, "fake_file_manager: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    QSaveFile ready(QString::fromLocal8Bit(argv[1]) + QStringLiteral(".ready"));
    if (!ready.open(QIODevice::WriteOnly) || !ready.commit())
        return 1;
    return app.exec();
}

#include "FakeFileManager.moc"
