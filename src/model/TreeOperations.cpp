#include "model/TreeOperations.h"

#include "i18n/Translation.h"
#include "model/HardLinkSet.h"
#include "model/RootNodes.h"
#include "support/PathText.h"
#include "support/Utilities.h"

#include <stdexcept>
#include <typeinfo>
#include <unordered_set>
#include <vector>

namespace quorvex {

std::string GetFullPath(const TFileSystemNode* node) {
    std::vector<const std::string*> parts{&node->Name()};
    for (const TGroupNode* p = node->Parent(); p != nullptr && p->GetNodeType() != ntFixedDrives;
         p = p->Parent()) {
        if (p->GetNodeType() != ntFileGroup)
            parts.push_back(&p->Name());
    }
    std::string path = *parts.back();
    for (auto it = parts.rbegin() + 1; it != parts.rend(); ++it)
        path = JoinPath(path, **it);
    return path;
}

TRootNode* GetRoot(const TFileSystemNode* node) {
    const TFileSystemNode* top = node;
    while (top->Parent() != nullptr)
        top = top->Parent();
    if (auto* root = dynamic_cast<const TRootNode*>(top))
        return const_cast<TRootNode*>(root);
    throw std::logic_error(
        Substitute(TranslateText("The root element has an invalid type: %s"), typeid(*top).name()));
}

TDirNode* AddDirNode(TGroupNode* group, std::string name, std::uint16_t attributes) {
    auto dir = std::make_unique<TDirNode>();
    dir->SetName(std::move(name));
    dir->SetAttributes(attributes);
    return static_cast<TDirNode*>(group->AddChild(std::move(dir)));
}

void RemoveFromParent(TFileSystemNode* node) {
    TGroupNode* parent = node->Parent();
    if (parent == nullptr)
        return;
    // The other names of a file counted below stay uncounted: the folders' totals never had them.
    if (const auto* group = dynamic_cast<const TGroupNode*>(node))
        ForgetCountedHardLinks(group, false);
    if (node->GetNodeType() == ntFile) {
        TGroupNode* owner = parent->GetNodeType() == ntFileGroup ? parent->Parent() : parent;
        if (auto* dir = dynamic_cast<TDirNode*>(owner))
            dir->ForgetFile(node->Name());
    }
    parent->RemoveChild(node);
    RecalculateUpward(parent);
}

void RecalculateUpward(TFileSystemNode* node) {
    for (auto* group = dynamic_cast<TGroupNode*>(node); group != nullptr; group = group->Parent())
        group->Recalculate();
}

bool WasNotScanned(const TFileSystemNode* node) {
    const auto* dir = dynamic_cast<const TDirNode*>(node);
    return dir != nullptr && dir->ErrorCode() == 0 && !dir->IsScanning() && dir->HasFlag(nfIncomplete) &&
           dir->HasFlag(nfEmpty);
}

int ChildCount(const TGroupNode* group) {
    TChildrenLock guard(group);
    return guard.Children().Count();
}

bool HasChildren(const TGroupNode* group) {
    return group->ChildCountUnlocked() > 0;
}

TFileSystemNode* ChildAt(const TGroupNode* group, int index) {
    TChildrenLock guard(group); // recursive: free when the caller already holds it
    return guard.Children().Items(index);
}

TFileSystemNode* FindNodeByPath(const TGroupNode* group, const std::string& path) {
    TChildrenLock guard(group);
    for (const auto& child : guard.Children()) {
        auto* childGroup = dynamic_cast<const TGroupNode*>(child.get());
        // A file group adds nothing to its members' paths, so they share the directory's prefix;
        // the group's own path (with its display name) is no prefix of theirs.
        const std::string childPath = GetFullPath(child.get());
        if (childGroup != nullptr && childGroup->GetNodeType() == ntFileGroup) {
            if (childPath == path)
                return child.get();
            if (TFileSystemNode* found = FindNodeByPath(childGroup, path))
                return found;
            continue;
        }
        if (!path.starts_with(childPath))
            continue;
        if (childPath == path)
            return child.get();
        // Descend only at a component boundary: /data/ab is not an ancestor of /data/abc.
        if (childPath.back() != PathDelim && path[childPath.size()] != PathDelim)
            continue;
        return childGroup != nullptr ? FindNodeByPath(childGroup, path) : nullptr;
    }
    return nullptr;
}

TFileSystemNode* FindNextSibling(const TFileSystemNode* node,
                                 const std::function<bool(const TFileSystemNode*)>& matches) {
    const TGroupNode* parent = node->Parent();
    if (parent == nullptr || !HasChildren(parent))
        return nullptr;
    TChildrenLock guard(parent);
    const auto& children = guard.Children();
    for (int i = children.IndexOf(node) + 1; i > 0 && i < children.Count(); ++i) {
        if (matches(children.Items(i)))
            return children.Items(i);
    }
    return nullptr;
}

THardLinkSet* CountedHardLinks(const TFileSystemNode* node) {
    const TFileSystemNode* top = node;
    while (top->Parent() != nullptr)
        top = top->Parent();
    const auto* root = dynamic_cast<const TRootNode*>(top);
    return root != nullptr ? root->HardLinks() : nullptr;
}

void ForgetCountedHardLinks(const TGroupNode* top, bool erase) {
    THardLinkSet* counted = CountedHardLinks(top);
    if (counted == nullptr || counted->Count() == 0)
        return;
    std::unordered_set<const TGroupNode*> owners;
    std::vector<const TGroupNode*> pending{top};
    while (!pending.empty()) {
        const TGroupNode* group = pending.back();
        pending.pop_back();
        owners.insert(group);
        const TChildrenLock guard(group);
        for (const auto& child : guard.Children()) {
            if (child->GetNodeType() != ntFile && child->GetNodeType() != ntFileGroup)
                pending.push_back(static_cast<const TGroupNode*>(child.get()));
        }
    }
    counted->Forget(owners, erase);
}

TFileSystemNode* FileNodeOf(TDirNode* dir, std::string_view name) {
    if (dir->IsScanning())
        return nullptr;
    const auto named = [name](const TGroupNode* group) -> TFileSystemNode* {
        const TChildrenLock guard(group);
        for (const auto& child : guard.Children()) {
            if (child->GetNodeType() == ntFile && child->Name() == name)
                return child.get();
        }
        return nullptr;
    };
    dir->ListFiles();
    if (TFileSystemNode* node = named(dir))
        return node;
    TFileGroupNode* group = dir->FileGroup();
    if (group == nullptr)
        return nullptr;
    group->ListFiles();
    return named(group);
}

void ForEachRecordedFile(const TGroupNode* top,
                         const std::function<void(const TDirNode& dir, const TPackedFile& file)>& visit) {
    std::vector<const TGroupNode*> pending{top};
    while (!pending.empty()) {
        const TGroupNode* group = pending.back();
        pending.pop_back();
        if (const auto* dir = dynamic_cast<const TDirNode*>(group))
            dir->ForEachFile([&](const TPackedFile& file) { visit(*dir, file); });
        const TChildrenLock guard(group);
        for (const auto& child : guard.Children()) {
            // A file group's files are its directory's records.
            if (child->GetNodeType() != ntFile && child->GetNodeType() != ntFileGroup)
                pending.push_back(static_cast<const TGroupNode*>(child.get()));
        }
    }
}

} // namespace quorvex
