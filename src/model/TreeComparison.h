#pragma once

#include "model/RootNodes.h"
#include "model/TreeCompare.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quorvex {

enum class TRowChange : std::uint8_t { Unchanged, Grew, Shrank, New, Gone, Moved };

struct TNodeChange {
    TRowChange State = TRowChange::Unchanged;
    std::int64_t DeltaSize = 0;
    std::int64_t DeltaFiles = 0;
};

// The tree shown set against an earlier scan of it, answered per node as the rows ask: what each row
// changed by, and which items of the earlier tree are gone from each folder ("ghosts": nodes of the
// earlier tree, which this object owns). Folders are matched as CompareTrees matches them; files by
// name through the records.
//
// The answers hold pointers into the current tree: before it changes call Forget, and Recompute once
// it has settled. Per folder the files are looked at only when a row of that folder asks, so a sort
// of a large folder costs a hash lookup a row.
class TTreeComparison {
public:
    TTreeComparison(std::unique_ptr<TRootNode> earlier, const TRootNode& current, TSizeKind kind);
    ~TTreeComparison();
    TTreeComparison(const TTreeComparison&) = delete;
    TTreeComparison& operator=(const TTreeComparison&) = delete;

    const TRootNode& Earlier() const { return *earlier_; }
    const TRootNode& Current() const { return current_; }

    void Forget();
    void Recompute();
    void SetSizeKind(TSizeKind kind);

    // For a node of the current tree or a ghost; Unchanged for anything else.
    TNodeChange ChangeOf(const TFileSystemNode* node) const;
    bool IsGhost(const TFileSystemNode* node) const { return ghostPlace_.count(node) != 0; }
    // The current folder a ghost is shown in.
    const TDirNode* GhostPlace(const TFileSystemNode* ghost) const;
    // The ghosts shown in `dir`, folders first; made on the first call for a folder.
    const std::vector<TFileSystemNode*>& GhostsIn(const TDirNode* dir) const;
    // The earlier full path of a moved folder; empty for any other node.
    std::string MovedFrom(const TFileSystemNode* node) const;

private:
    struct TFigure {
        std::int64_t Size = 0;
        std::int64_t Files = 0;
    };
    // What a current folder's rows need of its files, made on first use.
    struct TFolderFiles {
        std::unordered_map<std::string, TFigure> EarlierByName;
        TFigure GroupDelta; // of the files the folder's file group holds
    };

    const TFolderFiles* FilesOf(const TDirNode* dir) const;
    TNodeChange FileChange(const TFileSystemNode* file) const;

    std::unique_ptr<TRootNode> earlier_;
    const TRootNode& current_;
    TSizeKind kind_;
    TFolderPairing pairing_;
    std::unordered_map<const TDirNode*, const TFolderPair*> pairOfCurrent_;
    std::unordered_map<const TDirNode*, const TDirNode*> currentOfEarlier_;
    mutable std::unordered_map<const TFileSystemNode*, const TDirNode*> ghostPlace_;
    mutable std::unordered_map<const TDirNode*, std::vector<TFileSystemNode*>> ghosts_;
    mutable std::unordered_set<const TDirNode*> ghostsMade_; // ghost files made, folder ghosts at once
    mutable std::unordered_map<const TDirNode*, TFolderFiles> files_;
    const std::vector<TFileSystemNode*> none_;
};

} // namespace quorvex
