#pragma once

#include "model/FileSystemNode.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quorvex {

class THardLinkSet;
class TRootNode;

// Operations over a tree of nodes: finding, paths, totals upkeep. Paths are byte strings joined
// with "/".
std::string GetFullPath(const TFileSystemNode* node);
// Raises std::logic_error when the topmost node is not a root.
TRootNode* GetRoot(const TFileSystemNode* node);
TDirNode* AddDirNode(TGroupNode* group, std::string name, std::uint16_t attributes);
// Destroys the node and recalculates its ancestors.
void RemoveFromParent(TFileSystemNode* node);
void RecalculateUpward(TFileSystemNode* node);
int ChildCount(const TGroupNode* group);
bool HasChildren(const TGroupNode* group);
// A directory a stopped walk never read (it was found, but not entered, or entered and left before
// its first entry): its totals are unknown, not zero. Every directory starts out empty and marked
// so until its first entry is read, and only a stop leaves it incomplete without an error.
bool WasNotScanned(const TFileSystemNode* node);
// No lock of its own: hold a TChildrenLock while a scan may change the list.
TFileSystemNode* ChildAt(const TGroupNode* group, int index);
// The node whose full path equals `path`, descending only through whole path components.
TFileSystemNode* FindNodeByPath(const TGroupNode* group, const std::string& path);
// The first later sibling that passes `matches`.
TFileSystemNode* FindNextSibling(const TFileSystemNode* node,
                                 const std::function<bool(const TFileSystemNode*)>& matches);
// The set of the topmost root above `node`, or null: a tree that counts every name keeps none.
THardLinkSet* CountedHardLinks(const TFileSystemNode* node);
// Drops from the tree's set what the directories of the subtree at `top` counted: erased before a
// walk counts them again, else kept as counted by a name gone (the subtree is being removed).
void ForgetCountedHardLinks(const TGroupNode* top, bool erase);
// Calls visit(dir, file) for every file recorded in `top` and the directories below it, a directory's
// records under its lock (visit must take no node lock). Safe while a scan adds to the tree; a
// directory must not be removed meanwhile, which only the window's thread does (deletion, rescans).
// The node of the file `name` recorded in `dir` (a row the tree can select), making the nodes of the
// directory's files, or of its file group's, when they are not nodes yet. Null when no such file is
// recorded, or while `dir` is being scanned, as its files are listed only once its walk has ended.
TFileSystemNode* FileNodeOf(TDirNode* dir, std::string_view name);
void ForEachRecordedFile(const TGroupNode* top,
                         const std::function<void(const TDirNode& dir, const TPackedFile& file)>& visit);

} // namespace quorvex
