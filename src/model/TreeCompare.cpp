#include "model/TreeCompare.h"

#include "model/PackedFiles.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quorvex {
namespace {

// A directory's own files by name, with what each counts.
struct TFileFigure {
    std::string Name;
    std::int64_t Size = 0;
    std::int64_t Files = 0;
};

std::vector<TFileFigure> FilesOf(const TDirNode& dir, TSizeKind kind) {
    std::vector<TFileFigure> files;
    dir.ForEachFile([&](const TPackedFile& file) {
        // A name counted at another adds nothing to the totals, so it adds nothing to a change.
        const bool counted = (file.Attributes & kCountedAtAnotherName) == 0;
        files.push_back({std::string(file.Name),
                         counted ? (kind == TSizeKind::Allocated ? file.AllocatedSize : file.Size) : 0,
                         counted ? 1 : 0});
    });
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    return files;
}

std::vector<const TDirNode*> SubdirectoriesOf(const TDirNode& dir) {
    std::vector<const TDirNode*> dirs;
    const TChildrenLock lock(&dir);
    for (const auto& child : lock.Children()) {
        if (const auto* sub = dynamic_cast<const TDirNode*>(child.get()))
            dirs.push_back(sub);
    }
    std::sort(dirs.begin(), dirs.end(), [](const auto* a, const auto* b) { return a->Name() < b->Name(); });
    return dirs;
}

std::string JoinPath(const std::string& dir, std::string_view name) {
    std::string path = dir;
    if (!path.ends_with('/'))
        path += '/';
    path += name;
    return path;
}

// Identities tell folders apart only on one file system; trees of two (another disk, or a file from
// elsewhere that does not say) compare by path alone.
class TFolderPairer {
public:
    TFolderPairer(const TDirNode& oldRoot, const TDirNode& newRoot)
        : identitiesCount_(DeviceOf(oldRoot) != 0 && DeviceOf(oldRoot) == DeviceOf(newRoot)) {
        pending_.push_back({&oldRoot, &newRoot, 0, false});
    }

    TFolderPairing Run() {
        for (;;) {
            while (!pending_.empty()) {
                const TFolderPair pair = pending_.back();
                pending_.pop_back();
                PairChildren(pair);
                result_.Pairs.push_back(pair);
            }
            // A folder gone from one place and new at another is moved; its contents are paired in
            // turn, which may find further moves.
            if (!PairMoves())
                break;
        }
        return std::move(result_);
    }

private:
    static std::uint64_t DeviceOf(const TDirNode& root) {
        const auto* rootDir = dynamic_cast<const TRootDirNode*>(&root);
        return rootDir != nullptr ? rootDir->Device() : 0;
    }

    bool SameFolder(const TDirNode& old, const TDirNode& now) const {
        return !identitiesCount_ || old.Identity() == 0 || now.Identity() == 0 ||
               old.Identity() == now.Identity();
    }

    void PairChildren(const TFolderPair& pair) {
        const std::vector<const TDirNode*> olds = SubdirectoriesOf(*pair.Old);
        const std::vector<const TDirNode*> news = SubdirectoriesOf(*pair.New);
        const int depth = pair.Depth + 1;
        auto o = olds.begin();
        auto n = news.begin();
        while (o != olds.end() || n != news.end()) {
            const int order = o == olds.end() ? 1 : n == news.end() ? -1 : (*o)->Name().compare((*n)->Name());
            if (order < 0) {
                result_.Gone.push_back({*o, depth});
                ++o;
            } else if (order > 0) {
                result_.New.push_back({*n, depth});
                ++n;
            } else {
                // The same name on another folder: the old one was removed (or moved away) and
                // this one made since.
                if (SameFolder(**o, **n)) {
                    pending_.push_back({*o, *n, depth, false});
                } else {
                    result_.Gone.push_back({*o, depth});
                    result_.New.push_back({*n, depth});
                }
                ++o;
                ++n;
            }
        }
    }

    // Pairs gone and new folders of one identity into moves; false when there were none.
    bool PairMoves() {
        if (!identitiesCount_)
            return false;
        std::vector<TFolderSide>& gone = result_.Gone;
        std::unordered_map<std::uint64_t, std::size_t> goneByIdentity;
        for (std::size_t i = 0; i < gone.size(); ++i) {
            if (const std::uint64_t id = gone[i].Dir->Identity(); id != 0)
                goneByIdentity.emplace(id, i);
        }
        if (goneByIdentity.empty())
            return false;
        std::vector<bool> goneMoved(gone.size());
        std::vector<TFolderSide> stillNew;
        for (const TFolderSide& side : result_.New) {
            const std::uint64_t id = side.Dir->Identity();
            const auto found = id != 0 ? goneByIdentity.find(id) : goneByIdentity.end();
            if (found == goneByIdentity.end() || goneMoved[found->second]) {
                stillNew.push_back(side);
                continue;
            }
            goneMoved[found->second] = true;
            const TFolderSide& old = gone[found->second];
            pending_.push_back({old.Dir, side.Dir, side.Depth, true});
        }
        result_.New = std::move(stillNew);
        std::vector<TFolderSide> stillGone;
        for (std::size_t i = 0; i < gone.size(); ++i) {
            if (!goneMoved[i])
                stillGone.push_back(gone[i]);
        }
        gone = std::move(stillGone);
        return !pending_.empty();
    }

    bool identitiesCount_;
    std::vector<TFolderPair> pending_;
    TFolderPairing result_;
};

class TComparer {
public:
    explicit TComparer(const TCompareOptions& options) : options_(options) {}

    std::vector<TTreeChange> Run(const TDirNode& oldRoot, const TDirNode& newRoot) {
        const TFolderPairing pairing = PairFolders(oldRoot, newRoot);
        for (const TFolderPair& pair : pairing.Pairs)
            ComparePair(pair);
        for (const TFolderSide& side : pairing.Gone)
            Add(TChangeState::Gone, side, -side.Dir->GetSize(options_.Kind), -side.Dir->GetFileCount());
        for (const TFolderSide& side : pairing.New)
            Add(TChangeState::New, side, side.Dir->GetSize(options_.Kind), side.Dir->GetFileCount());
        std::sort(changes_.begin(), changes_.end(), [](const TTreeChange& a, const TTreeChange& b) {
            const auto sa = std::abs(a.DeltaSize), sb = std::abs(b.DeltaSize);
            if (sa != sb)
                return sa > sb;
            const auto fa = std::abs(a.DeltaFiles), fb = std::abs(b.DeltaFiles);
            return fa != fb ? fa > fb : a.Path < b.Path;
        });
        return std::move(changes_);
    }

private:
    bool Listed(int depth) const { return options_.MaxDepth < 0 || depth <= options_.MaxDepth; }

    void Add(TChangeState state, const TFolderSide& side, std::int64_t size, std::int64_t files) {
        if (!Listed(side.Depth))
            return;
        TTreeChange change;
        change.State = state;
        change.Path = GetFullPath(side.Dir);
        change.DeltaSize = size;
        change.DeltaFiles = files;
        change.Depth = side.Depth;
        change.IsDirectory = true;
        (state == TChangeState::Gone ? change.OldDir : change.NewDir) = side.Dir;
        changes_.push_back(std::move(change));
    }

    static TChangeState Direction(std::int64_t size, std::int64_t files) {
        return size > 0 || (size == 0 && files > 0) ? TChangeState::Grew : TChangeState::Shrank;
    }

    void ComparePair(const TFolderPair& pair) {
        const std::int64_t size = pair.New->GetSize(options_.Kind) - pair.Old->GetSize(options_.Kind);
        const std::int64_t files = std::int64_t{pair.New->GetFileCount()} - pair.Old->GetFileCount();
        if (Listed(pair.Depth) && (pair.Moved || size != 0 || files != 0)) {
            TTreeChange change;
            change.State = pair.Moved ? TChangeState::Moved : Direction(size, files);
            change.Path = GetFullPath(pair.Moved ? pair.Old : pair.New);
            if (pair.Moved)
                change.NewPath = GetFullPath(pair.New);
            change.DeltaSize = size;
            change.DeltaFiles = files;
            change.Depth = pair.Depth;
            change.IsDirectory = true;
            change.OldDir = pair.Old;
            change.NewDir = pair.New;
            changes_.push_back(std::move(change));
        }
        if (Listed(pair.Depth + 1))
            CompareFiles(pair);
    }

    void CompareFiles(const TFolderPair& pair) {
        const std::vector<TFileFigure> olds = FilesOf(*pair.Old, options_.Kind);
        const std::vector<TFileFigure> news = FilesOf(*pair.New, options_.Kind);
        const int depth = pair.Depth + 1;
        // Made on the first change: most folders have none.
        std::string oldPath;
        std::string newPath;
        const auto in = [](std::string& path, const TDirNode* dir) -> const std::string& {
            if (path.empty())
                path = GetFullPath(dir);
            return path;
        };
        auto add = [&](TChangeState state, std::string path, std::int64_t size, std::int64_t files) {
            TTreeChange change;
            change.State = state;
            change.Path = std::move(path);
            change.DeltaSize = size;
            change.DeltaFiles = files;
            change.Depth = depth;
            changes_.push_back(std::move(change));
        };
        auto o = olds.begin();
        auto n = news.begin();
        while (o != olds.end() || n != news.end()) {
            const int order = o == olds.end() ? 1 : n == news.end() ? -1 : o->Name.compare(n->Name);
            if (order < 0) {
                add(TChangeState::Gone, JoinPath(in(oldPath, pair.Old), o->Name), -o->Size, -o->Files);
                ++o;
            } else if (order > 0) {
                add(TChangeState::New, JoinPath(in(newPath, pair.New), n->Name), n->Size, n->Files);
                ++n;
            } else {
                const std::int64_t size = n->Size - o->Size;
                const std::int64_t files = n->Files - o->Files;
                if (size != 0 || files != 0)
                    add(Direction(size, files), JoinPath(in(newPath, pair.New), n->Name), size, files);
                ++o;
                ++n;
            }
        }
    }

    const TCompareOptions& options_;
    std::vector<TTreeChange> changes_;
};

} // namespace

const char* ChangeStateWord(TChangeState state) {
    switch (state) {
    case TChangeState::Grew:
        return "grew";
    case TChangeState::Shrank:
        return "shrank";
    case TChangeState::New:
        return "new";
    case TChangeState::Gone:
        return "gone";
    case TChangeState::Moved:
        return "moved";
    }
    return "";
}

TFolderPairing PairFolders(const TDirNode& oldRoot, const TDirNode& newRoot) {
    return TFolderPairer(oldRoot, newRoot).Run();
}

std::vector<TTreeChange> CompareTrees(const TDirNode& oldRoot, const TDirNode& newRoot,
                                      const TCompareOptions& options) {
    return TComparer(options).Run(oldRoot, newRoot);
}

} // namespace quorvex
