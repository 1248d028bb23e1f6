#include "shell/ShellIcons.h"

#include "model/TreeOperations.h"
#include "shell/IconRegistry.h"
#include "support/FileAttributes.h"
#include "support/MountTable.h"

#include <limits>
#include <sys/stat.h>

namespace quorvex {

namespace {

// Attribute and flag words of a file-type request: the answer depends on the name and these alone.
constexpr std::uint32_t kNormalFileAttribute = 0x80;
constexpr std::uint32_t kFileTypeIconFlags = 0x4011;

bool IsExistingDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsExpanded(const TFileSystemNode* node) {
    const auto* group = dynamic_cast<const TGroupNode*>(node);
    return group != nullptr && group->HasFlag(nfExpanded);
}

} // namespace

TShellIconsSystem TShellIconsSystem::Live() {
    return {IsExistingDirectory, [] { return ReadMountTable(); }, &quorvex::FileIconNames, true};
}

TShellIcons::TShellIcons(TShellIconsSystem system, QObject* parent)
    : QObject(parent), system_(std::move(system)), images_(TTreeImages::AddTo(IconRegistry())),
      treeFolders_(new TShellFolderList(this)) {
    connect(treeFolders_, &TShellFolderList::Changed, this, &TShellIcons::FoldersChanged);
    iconThread_ = std::make_unique<TShellFileIconThread>(
        system_.FileIconNames, [this](std::int32_t requestId, QStringList names) {
            // This object outlives the thread (joined in the destructor), so it can receive the call.
            const std::lock_guard lock(inboxMutex_);
            inbox_.emplace_back(requestId, std::move(names));
            if (inbox_.size() == 1)
                QMetaObject::invokeMethod(this, "DeliverFileIcons", Qt::QueuedConnection);
        });
    if (system_.ResolveSpecialFolders)
        StartSpecialFolderThread(*treeFolders_, StartFolders(system_.MountTable()));
}

TShellIcons::~TShellIcons() = default;

int TShellIcons::DefaultFileIcon() {
    if (defaultFileIcon_ < 0)
        defaultFileIcon_ = IconRegistry().IndexOf(
            {{QStringLiteral("text-x-generic"), QStringLiteral("unknown")}, QStyle::SP_FileIcon});
    return defaultFileIcon_;
}

int TShellIcons::GetFileIconIndex(const std::string& path) {
    const int taken = results_.Take(path);
    if (taken != -2)
        return taken;
    TSHGetFileInfoProperties request =
        TSHGetFileInfoProperties::Make(path, kNormalFileAttribute, kFileTypeIconFlags);
    TSHGetFileInfoProperties copy = request;
    copy.Created = NowDays();
    results_.Add(std::move(copy));
    iconThread_->Enqueue(std::move(request));
    return -1;
}

void TShellIcons::DeliverFileIcons() {
    std::vector<std::pair<std::int32_t, QStringList>> answers;
    {
        const std::lock_guard lock(inboxMutex_);
        answers.swap(inbox_);
    }
    for (const auto& [requestId, names] : answers)
        OnFileIconResult(requestId, names);
}

void TShellIcons::OnFileIconResult(std::int32_t requestId, const QStringList& iconNames) {
    const int index = iconNames.isEmpty() ? -1 : IconRegistry().IndexOf({iconNames, QStyle::SP_FileIcon});
    results_.SetResult(requestId, index);
    emit FileIconArrived();
}

TRowImage TShellIcons::NameImage(const TFileSystemNode* node) {
    TRowImage image;
    if (node == nullptr)
        return image;
    image.Ghosted = node->IsHidden();
    const TNodeType type = node->GetNodeType();
    if (type == ntFileGroup)
        image.Overlay = images_.FileGroupOverlay;
    else if (const auto* dir = dynamic_cast<const TDirNode*>(node);
             dir != nullptr && dir->HasFlag(nfIncomplete))
        image.Overlay = images_.IncompleteOverlay;
    if (type == ntFixedDrives) {
        image.Index = images_.LocalDrives;
        return image;
    }
    const bool expanded = IsExpanded(node);
    const int closed = treeFolders_->ClosedFolderIndex();
    const int open = treeFolders_->OpenFolderIndex();
    if (const int cached = node->ImageIndex(); cached >= 0) {
        // A plain folder follows its row's state; a special folder keeps its own icon.
        const bool generic = type == ntDirectory && (cached == closed || cached == open);
        image.Index = generic ? (expanded ? open : closed) : cached;
        return image;
    }
    int result = -1;
    if (type == ntDrive || type == ntDirectory) {
        const std::string path = GetFullPath(node);
        if (!system_.IsDirectory(path)) {
            // Not on this disk (a scan read from a file, a folder gone since the earlier scan a
            // comparison shows): still drawn as a folder, but nothing stored, so it is looked at again.
            image.Index = expanded ? open : closed;
            return image;
        }
        result = treeFolders_->IndexOfPath(path);
        if (result < 0)
            result = expanded ? open : closed;
    } else {
        result = GetFileIconIndex(GetFullPath(node));
    }
    if (result >= 0) {
        if (result <= std::numeric_limits<std::int16_t>::max())
            const_cast<TFileSystemNode*>(node)->SetImageIndex(static_cast<std::int16_t>(result));
        image.Index = result;
    } else {
        // Nothing stored: the node asks again at its next paint.
        image.Index = DefaultFileIcon();
    }
    return image;
}

QIcon TShellIcons::IconFor(const TFileSystemNode* node, int column, int animationFrame) {
    if (node == nullptr)
        return {};
    if (column == 0) {
        const TRowImage image = NameImage(node);
        return IconRegistry().Composite(image.Index, image.Ghosted, image.Overlay);
    }
    if (column == 1) {
        const auto* group = dynamic_cast<const TGroupNode*>(node);
        if (group != nullptr && group->IsScanning())
            return IconRegistry().Icon(images_.Animation[((animationFrame % TTreeImages::kAnimationFrames) +
                                                          TTreeImages::kAnimationFrames) %
                                                         TTreeImages::kAnimationFrames]);
    }
    return {};
}

} // namespace quorvex
