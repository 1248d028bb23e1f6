#include "model/TreeComparison.h"

#include "model/PackedFiles.h"
#include "model/TreeOperations.h"

#include <unordered_set>

namespace quorvex {
namespace {

TRowChange Direction(std::int64_t size, std::int64_t files) {
    if (size != 0)
        return size > 0 ? TRowChange::Grew : TRowChange::Shrank;
    if (files != 0)
        return files > 0 ? TRowChange::Grew : TRowChange::Shrank;
    return TRowChange::Unchanged;
}

// The folder whose records hold `node`: a file's parent, or the folder above its file group.
const TDirNode* FolderOfFile(const TFileSystemNode* node) {
    const TGroupNode* parent = node->Parent();
    if (parent != nullptr && parent->GetNodeType() == ntFileGroup)
        parent = parent->Parent();
    return dynamic_cast<const TDirNode*>(parent);
}

} // namespace

TTreeComparison::TTreeComparison(std::unique_ptr<TRootNode> earlier, const TRootNode& current, TSizeKind kind)
    : earlier_(std::move(earlier)), current_(current), kind_(kind) {
    Recompute();
}

TTreeComparison::~TTreeComparison() = default;

void TTreeComparison::Forget() {
    pairing_ = {};
    pairOfCurrent_.clear();
    currentOfEarlier_.clear();
    ghostPlace_.clear();
    ghosts_.clear();
    ghostsMade_.clear();
    files_.clear();
}

void TTreeComparison::Recompute() {
    Forget();
    pairing_ = PairFolders(*earlier_, current_);
    pairOfCurrent_.reserve(pairing_.Pairs.size());
    currentOfEarlier_.reserve(pairing_.Pairs.size());
    for (const TFolderPair& pair : pairing_.Pairs) {
        pairOfCurrent_.emplace(pair.New, &pair);
        currentOfEarlier_.emplace(pair.Old, pair.New);
    }
    for (const TFolderSide& side : pairing_.Gone) {
        const auto place = currentOfEarlier_.find(static_cast<const TDirNode*>(side.Dir->Parent()));
        if (place == currentOfEarlier_.end())
            continue;
        // The earlier tree is ours; its nodes are shown, never changed through the row.
        auto* ghost = const_cast<TDirNode*>(side.Dir);
        ghostPlace_.emplace(ghost, place->second);
        ghosts_[place->second].push_back(ghost);
    }
}

void TTreeComparison::SetSizeKind(TSizeKind kind) {
    if (kind == kind_)
        return;
    kind_ = kind;
    files_.clear(); // the figures were of the other size; the ghosts stay
}

const TDirNode* TTreeComparison::GhostPlace(const TFileSystemNode* ghost) const {
    const auto it = ghostPlace_.find(ghost);
    return it == ghostPlace_.end() ? nullptr : it->second;
}

const TTreeComparison::TFolderFiles* TTreeComparison::FilesOf(const TDirNode* dir) const {
    if (const auto it = files_.find(dir); it != files_.end())
        return &it->second;
    const auto pair = pairOfCurrent_.find(dir);
    if (pair == pairOfCurrent_.end())
        return nullptr;
    TFolderFiles& files = files_[dir];
    const auto figure = [this](const TPackedFile& file) {
        // A name counted at another adds nothing to the totals, so it adds nothing to a change.
        if ((file.Attributes & kCountedAtAnotherName) != 0)
            return TFigure{};
        return TFigure{kind_ == TSizeKind::Allocated ? file.AllocatedSize : file.Size, 1};
    };
    pair->second->Old->ForEachFile(
        [&](const TPackedFile& file) { files.EarlierByName.emplace(std::string(file.Name), figure(file)); });
    if (!dir->HasFlag(nfNoFileGroup)) {
        const std::int64_t threshold = current_.GroupThreshold();
        dir->ForEachFile([&](const TPackedFile& file) {
            if (file.Size >= threshold)
                return;
            const TFigure now = figure(file);
            const auto was = files.EarlierByName.find(std::string(file.Name));
            const TFigure before = was == files.EarlierByName.end() ? TFigure{} : was->second;
            files.GroupDelta.Size += now.Size - before.Size;
            files.GroupDelta.Files += now.Files - before.Files;
        });
    }
    return &files;
}

const std::vector<TFileSystemNode*>& TTreeComparison::GhostsIn(const TDirNode* dir) const {
    const TFolderFiles* files = FilesOf(dir);
    if (files == nullptr)
        return none_;
    std::vector<TFileSystemNode*>& ghosts = ghosts_[dir];
    if (!ghostsMade_.insert(dir).second)
        return ghosts;
    std::unordered_set<std::string> current;
    dir->ForEachFile([&](const TPackedFile& file) { current.emplace(file.Name); });
    bool anyGone = false;
    for (const auto& [name, figure] : files->EarlierByName)
        anyGone = anyGone || current.count(name) == 0;
    if (!anyGone)
        return ghosts;
    // Nodes of the earlier folder's files, made from its records: the tree is ours, and unshared.
    auto* earlier = const_cast<TDirNode*>(pairOfCurrent_.at(dir)->Old);
    earlier->ListFiles();
    std::vector<const TGroupNode*> holders{earlier};
    if (TFileGroupNode* group = earlier->FileGroup()) {
        group->ListFiles();
        holders.push_back(group);
    }
    for (const TGroupNode* holder : holders) {
        const TChildrenLock lock(holder);
        for (const auto& child : lock.Children()) {
            if (child->GetNodeType() == ntFile && current.count(child->Name()) == 0) {
                ghosts.push_back(child.get());
                ghostPlace_.emplace(child.get(), dir);
            }
        }
    }
    return ghosts;
}

TNodeChange TTreeComparison::FileChange(const TFileSystemNode* file) const {
    const std::int64_t size = file->GetSize(kind_);
    const std::int64_t count = file->GetFileCount();
    const TDirNode* dir = FolderOfFile(file);
    const TFolderFiles* files = dir != nullptr ? FilesOf(dir) : nullptr;
    if (files == nullptr)
        return {TRowChange::New, size, count};
    const auto was = files->EarlierByName.find(file->Name());
    if (was == files->EarlierByName.end())
        return {TRowChange::New, size, count};
    const std::int64_t deltaSize = size - was->second.Size;
    const std::int64_t deltaFiles = count - was->second.Files;
    return {Direction(deltaSize, deltaFiles), deltaSize, deltaFiles};
}

TNodeChange TTreeComparison::ChangeOf(const TFileSystemNode* node) const {
    if (node == nullptr)
        return {};
    if (IsGhost(node))
        return {TRowChange::Gone, -node->GetSize(kind_), -std::int64_t{node->GetFileCount()}};
    switch (node->GetNodeType()) {
    case ntFile:
        return FileChange(node);
    case ntFileGroup: {
        const auto* dir = dynamic_cast<const TDirNode*>(node->Parent());
        if (const TFolderFiles* files = dir != nullptr ? FilesOf(dir) : nullptr)
            return {Direction(files->GroupDelta.Size, files->GroupDelta.Files), files->GroupDelta.Size,
                    files->GroupDelta.Files};
        return {TRowChange::New, node->GetSize(kind_), node->GetFileCount()};
    }
    default:
        break;
    }
    const auto* dir = dynamic_cast<const TDirNode*>(node);
    if (dir == nullptr)
        return {};
    const auto pair = pairOfCurrent_.find(dir);
    if (pair == pairOfCurrent_.end())
        return {TRowChange::New, dir->GetSize(kind_), dir->GetFileCount()};
    const std::int64_t deltaSize = dir->GetSize(kind_) - pair->second->Old->GetSize(kind_);
    const std::int64_t deltaFiles = std::int64_t{dir->GetFileCount()} - pair->second->Old->GetFileCount();
    return {pair->second->Moved ? TRowChange::Moved : Direction(deltaSize, deltaFiles), deltaSize,
            deltaFiles};
}

std::string TTreeComparison::MovedFrom(const TFileSystemNode* node) const {
    const auto pair = pairOfCurrent_.find(dynamic_cast<const TDirNode*>(node));
    return pair != pairOfCurrent_.end() && pair->second->Moved ? GetFullPath(pair->second->Old)
                                                               : std::string();
}

} // namespace quorvex
