#include "shell/UserFolders.h"

#include "diag/QxProfiler.h"
#include "shell/IconRegistry.h"
#include "support/MountTable.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>

namespace quorvex {

// What the special-folder thread and its target share; whichever goes first detaches the other.
struct TSpecialFolderShared {
    std::mutex mutex;
    TShellFolderList* target = nullptr;
    std::optional<std::vector<TShellFolder>> result; // set by the thread, taken by DeliverFolders
};

namespace {

constexpr std::int32_t kFolderTimer = 240;

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

QStringList DriveIconNames(TDriveKind kind) {
    switch (kind) {
    case TDriveKind::Removable:
        return {QStringLiteral("drive-removable-media"), QStringLiteral("drive-harddisk")};
    case TDriveKind::Optical:
        return {QStringLiteral("drive-optical"), QStringLiteral("media-optical")};
    case TDriveKind::Remote:
        return {QStringLiteral("folder-remote"), QStringLiteral("network-server")};
    case TDriveKind::RamDisk:
        return {QStringLiteral("media-flash"), QStringLiteral("drive-harddisk")};
    default:
        return {QStringLiteral("drive-harddisk")};
    }
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Resolve(std::vector<TShellFolder>& folders) {
    const std::string home = WithoutTrailingSlash(QFile::encodeName(QDir::homePath()).toStdString());
    for (TShellFolder& folder : folders) {
        if (folder.Location < 0)
            continue;
        const auto location = static_cast<QStandardPaths::StandardLocation>(folder.Location);
        const std::string path =
            WithoutTrailingSlash(QFile::encodeName(QStandardPaths::writableLocation(location)).toStdString());
        // An unset user folder answers home itself, which must keep the home icon.
        const bool isHome = location == QStandardPaths::HomeLocation;
        if (path.empty() || (!isHome && path == home) || !IsDirectory(path))
            continue;
        folder.Path = path;
    }
}

} // namespace

TShellFolderList::TShellFolderList(QObject* parent) : QObject(parent) {
    closedFolder_ = IconRegistry().IndexOf({{QStringLiteral("folder")}, QStyle::SP_DirClosedIcon});
    openFolder_ = IconRegistry().IndexOf({{QStringLiteral("folder-open")}, QStyle::SP_DirOpenIcon});
}

TShellFolderList::~TShellFolderList() {
    if (thread_) {
        const std::lock_guard lock(thread_->mutex);
        thread_->target = nullptr;
    }
}

int TShellFolderList::IndexOfPath(const std::string& path) const {
    const std::string wanted = WithoutTrailingSlash(path);
    for (const TShellFolder& folder : folders_)
        if (!folder.Path.empty() && folder.Path == wanted)
            return folder.ImageIndex;
    return -1;
}

void TShellFolderList::AssignAndNotify(std::vector<TShellFolder> folders) {
    for (TShellFolder& folder : folders) {
        folder.Path = WithoutTrailingSlash(folder.Path);
        folder.ImageIndex =
            folder.Path.empty() ? -1 : IconRegistry().IndexOf({folder.IconNames, QStyle::SP_DirIcon});
    }
    folders_ = std::move(folders);
    thread_.reset();
    emit Changed();
}

std::vector<TShellFolder> StartFolders(const std::vector<TMountEntry>& mountTable) {
    std::vector<TShellFolder> folders;
    for (const TMountEntry& drive : mountTable)
        if (drive.Kind != TDriveKind::Unknown)
            folders.push_back({-1, drive.MountPoint, DriveIconNames(drive.Kind), -1});
    const std::pair<QStandardPaths::StandardLocation, const char*> kUserFolders[] = {
        {QStandardPaths::HomeLocation, "user-home"},
        {QStandardPaths::DesktopLocation, "user-desktop"},
        {QStandardPaths::DocumentsLocation, "folder-documents"},
        {QStandardPaths::DownloadLocation, "folder-download"},
        {QStandardPaths::MusicLocation, "folder-music"},
        {QStandardPaths::PicturesLocation, "folder-pictures"},
        {QStandardPaths::MoviesLocation, "folder-videos"},
        {QStandardPaths::TemplatesLocation, "folder-templates"},
        {QStandardPaths::PublicShareLocation, "folder-publicshare"},
    };
    for (const auto& [location, icon] : kUserFolders)
        folders.push_back({location, {}, {QString::fromLatin1(icon), QStringLiteral("folder")}, -1});
    return folders;
}

void TShellFolderList::DeliverFolders() {
    std::optional<std::vector<TShellFolder>> folders;
    if (thread_ != nullptr) {
        const std::lock_guard lock(thread_->mutex);
        folders.swap(thread_->result);
    }
    if (folders)
        AssignAndNotify(std::move(*folders));
}

void StartSpecialFolderThread(TShellFolderList& target, std::vector<TShellFolder> folders) {
    auto shared = std::make_shared<TSpecialFolderShared>();
    shared->target = &target;
    target.thread_ = shared;
    std::thread([shared, folders = std::move(folders)]() mutable {
        StartTimer(kFolderTimer);
        Resolve(folders);
        LogElapsed(kFolderTimer, "TShellSpecialFolderThread");
        // Posted under the lock, so the target cannot go away half-way; a target destroyed before the
        // call runs takes the queued call with it. The result travels under the lock and the call goes
        // by name, so the hand-over is visible to the thread sanitizer, not hidden in Qt's event queue.
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(folders);
        if (TShellFolderList* list = shared->target)
            QMetaObject::invokeMethod(list, "DeliverFolders", Qt::QueuedConnection);
    }).detach();
}

} // namespace quorvex
