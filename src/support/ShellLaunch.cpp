#include "support/ShellLaunch.h"

#include "i18n/Translation.h"

// GIO first: its headers use "signals" as a name, which Qt defines as a keyword.
#include <gio/gio.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>

#include <memory>

namespace quorvex {
namespace {

struct TFreeError {
    void operator()(GError* error) const { g_error_free(error); }
};
using TErrorPtr = std::unique_ptr<GError, TFreeError>;

// A file manager that is not running yet is started by the bus on the first call; waiting longer would
// leave the window frozen for a service that does not answer at all.
constexpr int kFileManagerTimeoutMs = 4000;

TLaunchResult Failure(const GError& error) {
    TLaunchResult result;
    result.Error = error.code;
    result.Message = error.message != nullptr ? error.message : "";
    return result;
}

// g_filename_to_uri percent-encodes every byte outside the URI's unreserved set, so the URI is plain
// ASCII and names the exact bytes whatever their encoding.
bool FileUri(const std::string& path, std::string& uri, TLaunchResult& failure) {
    GError* raw = nullptr;
    gchar* text = g_filename_to_uri(path.c_str(), nullptr, &raw);
    const TErrorPtr error(raw);
    if (text == nullptr) {
        failure = Failure(*error);
        return false;
    }
    uri = text;
    g_free(text);
    return true;
}

std::string ContainingDirectory(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool AskFileManager(const std::string& uri, bool isDirectory) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"),
        isDirectory ? QStringLiteral("ShowFolders") : QStringLiteral("ShowItems"));
    // No startup-notification id: the window is not ours to hand over.
    call << QStringList{QString::fromLatin1(uri.c_str())} << QString();
    return bus.call(call, QDBus::Block, kFileManagerTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

} // namespace

TLaunchResult OpenWithDefaultHandler(const std::string& path) {
    std::string uri;
    TLaunchResult result;
    if (!FileUri(path, uri, result))
        return result;
    GError* raw = nullptr;
    const bool launched = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &raw) != FALSE;
    const TErrorPtr error(raw);
    if (!launched)
        return error != nullptr ? Failure(*error)
                                : TLaunchResult{false, 0, TranslateText("The file could not be opened.")};
    result.Ok = true;
    return result;
}

TLaunchResult ShellExplore(const std::string& path, bool isDirectory) {
    std::string uri;
    TLaunchResult result;
    if (!FileUri(path, uri, result))
        return result;
    if (AskFileManager(uri, isDirectory)) {
        result.Ok = true;
        return result;
    }
    return OpenWithDefaultHandler(isDirectory ? path : ContainingDirectory(path));
}

TShellLauncher DefaultShellLauncher() {
    return {OpenWithDefaultHandler, ShellExplore};
}

} // namespace quorvex
