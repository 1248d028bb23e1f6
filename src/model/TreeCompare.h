#pragma once

#include "model/FileSystemNode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvex {

enum class TChangeState : std::uint8_t { Grew, Shrank, New, Gone, Moved };

// "grew", "shrank", "new", "gone", "moved": the words of the command's output, never translated.
const char* ChangeStateWord(TChangeState state);

// One item that differs between two scans of a tree.
struct TTreeChange {
    TChangeState State = TChangeState::Grew;
    // The full byte path: in the older tree for gone and moved items, in the newer one otherwise.
    std::string Path;
    std::string NewPath; // moved items only
    std::int64_t DeltaSize = 0;
    std::int64_t DeltaFiles = 0;
    int Depth = 0; // levels below the root, which is 0; of the newer place for a moved folder
    bool IsDirectory = false;
    // The folders compared, for a view that marks its rows; null for a file and on the side where
    // the item is not.
    const TDirNode* OldDir = nullptr;
    const TDirNode* NewDir = nullptr;
};

struct TCompareOptions {
    TSizeKind Kind = TSizeKind::Logical;
    int MaxDepth = -1; // changes deeper than this are not listed (their folders' changes include them)
};

// Folders of two trees taken for the same folder, in the order they were matched (the roots first).
// No paths: a pairing holds every folder of a tree, and GetFullPath gives the few that are shown.
struct TFolderPair {
    const TDirNode* Old;
    const TDirNode* New;
    int Depth;
    bool Moved; // found at another path by its identity
};

// A folder of one tree with no partner in the other, topmost only: what lies below it goes with it.
struct TFolderSide {
    const TDirNode* Dir;
    int Depth;
};

struct TFolderPairing {
    std::vector<TFolderPair> Pairs;
    std::vector<TFolderSide> Gone; // in the older tree
    std::vector<TFolderSide> New;  // in the newer tree
};

// Matches the folders of `oldRoot` and `newRoot`: by path while both trees know them as the same
// folder (the same identity, or either's unknown); one gone from a path and one new at another with
// the same device and identity is one moved folder, whose contents are then matched in turn. Both
// trees must stay unchanged meanwhile.
TFolderPairing PairFolders(const TDirNode& oldRoot, const TDirNode& newRoot);

// The changes from `oldRoot` to `newRoot`, largest absolute change in size first. Files compare by
// path, through their records. Folders compare by path while both trees know them as the same folder
// (the same identity, or either's unknown); one gone from a path and one new at another with the same
// device and identity is one moved folder, whose contents are then compared with each other. Both
// trees must stay unchanged meanwhile (finished scans, or files read).
std::vector<TTreeChange> CompareTrees(const TDirNode& oldRoot, const TDirNode& newRoot,
                                      const TCompareOptions& options = {});

} // namespace quorvex
