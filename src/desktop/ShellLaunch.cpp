#include "desktop/ShellLaunch.h"

#include "desktop/GioPointers.h"
#include "i18n/Translation.h"
#include "support/Version.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>

#include <memory>

namespace quorvex {
namespace {

using TAppInfoPtr = std::unique_ptr<GAppInfo, TUnrefObject>;
using TFileInfoPtr = std::unique_ptr<GFileInfo, TUnrefObject>;
struct TFreeAppList {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using TAppListPtr = std::unique_ptr<GList, TFreeAppList>;

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

// Our package registers the program for folders, so the desktop may name it as their handler: handing
// a folder to it from "Open in file manager" would only open another of our windows.
bool IsOwnEntry(GAppInfo* application) {
    const char* id = g_app_info_get_id(application);
    return id != nullptr && std::string(id) == std::string(kApplicationId) + ".desktop";
}

// The first application of `candidates` that is not this program; null when there is none.
TAppInfoPtr FirstOther(GList* candidates) {
    for (GList* item = candidates; item != nullptr; item = item->next) {
        auto* application = static_cast<GAppInfo*>(item->data);
        if (!IsOwnEntry(application))
            return TAppInfoPtr(G_APP_INFO(g_object_ref(application)));
    }
    return nullptr;
}

// The application the desktop opens `file` with, passing over this program for the next one the
// desktop knows for the type (recommended ones first). Null with `failure` filled when there is none.
TAppInfoPtr HandlerFor(GFile* file, TLaunchResult& failure) {
    GError* raw = nullptr;
    TAppInfoPtr handler(g_file_query_default_handler(file, nullptr, &raw));
    const TErrorPtr error(raw);
    if (handler != nullptr && !IsOwnEntry(handler.get()))
        return handler;
    const TFileInfoPtr info(g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                              G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
    const char* type = info != nullptr ? g_file_info_get_content_type(info.get()) : nullptr;
    if (type != nullptr) {
        for (GList* (*list)(const char*) :
             {g_app_info_get_recommended_for_type, g_app_info_get_all_for_type}) {
            const TAppListPtr candidates(list(type));
            if (TAppInfoPtr other = FirstOther(candidates.get()))
                return other;
        }
    }
    if (error != nullptr)
        failure = Failure(*error);
    else
        failure = {false, 0,
                   TranslateText("No application other than Quorvex is registered to open this item.")};
    return nullptr;
}

} // namespace

TLaunchResult OpenWithDefaultHandler(const std::string& path) {
    std::string uri;
    TLaunchResult result;
    if (!FileUri(path, uri, result))
        return result;
    const TFilePtr file(g_file_new_for_uri(uri.c_str()));
    const TAppInfoPtr handler = HandlerFor(file.get(), result);
    if (handler == nullptr)
        return result;
    GList uris{const_cast<char*>(uri.c_str()), nullptr, nullptr};
    GError* raw = nullptr;
    const bool launched = g_app_info_launch_uris(handler.get(), &uris, nullptr, &raw) != FALSE;
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
