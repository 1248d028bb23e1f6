// "Local Drives" in the JSON interchange format: the format holds one tree whose names are single
// path components, so the drives are placed at their mount points below one root "/".

#include "export/NcduExport.h"

#include "model/FileSystemNode.h"
#include "support/Utilities.h"

#include <map>
#include <memory>
#include <set>

namespace quorvex {
namespace {

using TDriveMap = std::map<std::string, const TDirNode*>;

// The first components below `path` of the mount points deeper than it.
std::set<std::string> ComponentsTowardsDrives(const std::string& path, const TDriveMap& drives) {
    const std::string prefix = path == "/" ? path : path + "/";
    std::set<std::string> components;
    for (auto it = drives.lower_bound(prefix); it != drives.end(); ++it) {
        const std::string& point = it->first;
        if (point.compare(0, prefix.size(), prefix) != 0)
            break;
        if (point.size() > prefix.size())
            components.insert(point.substr(prefix.size(), point.find('/', prefix.size()) - prefix.size()));
    }
    return components;
}

bool DriveBelow(const std::string& path, const TDriveMap& drives) {
    return !ComponentsTowardsDrives(path, drives).empty();
}

// A directory of the merged tree to be written: a node of a drive, a drive itself in place of its
// mount point, or none for a path that only leads to a drive.
struct TPlace {
    std::string name;
    std::string path;
    const TDirNode* node = nullptr;
    bool excluded = false; // another file system that no drive of the list covers
};

struct TOpenPlace {
    std::string path;
    std::unique_ptr<TChildrenLock> lock; // the node's child list stays as written meanwhile
    std::vector<TPlace> children;
    std::size_t next = 0;
};

TOpenPlace Open(const TPlace& place, const TDriveMap& drives) {
    TOpenPlace open{place.path, nullptr, {}, 0};
    std::set<std::string> written;
    if (place.node != nullptr) {
        open.lock = std::make_unique<TChildrenLock>(place.node);
        for (const auto& child : open.lock->Children()) {
            const auto* dir = dynamic_cast<const TDirNode*>(child.get());
            if (dir == nullptr || child->GetNodeType() == ntFileGroup)
                continue;
            TPlace next{child->Name(), JoinPath(place.path, child->Name()), dir};
            if (const auto drive = drives.find(next.path); drive != drives.end())
                next.node = drive->second;
            else if ((dir->Attributes() & faReparsePoint) != 0 && DriveBelow(next.path, drives))
                next.node = nullptr; // not entered, but a drive lies below it
            else if ((dir->Attributes() & faReparsePoint) != 0)
                next.excluded = true;
            written.insert(next.name);
            open.children.push_back(std::move(next));
        }
    }
    for (const std::string& component : ComponentsTowardsDrives(place.path, drives)) {
        if (written.count(component) != 0)
            continue;
        TPlace next{component, JoinPath(place.path, component), nullptr};
        if (const auto drive = drives.find(next.path); drive != drives.end())
            next.node = drive->second;
        open.children.push_back(std::move(next));
    }
    return open;
}

} // namespace

void TNcduExport::WriteDrives(const TGroupNode* drivesNode, std::ostream& stream) {
    TDriveMap drives;
    {
        const TChildrenLock guard(drivesNode);
        for (const auto& child : guard.Children()) {
            if (const auto* drive = dynamic_cast<const TDirNode*>(child.get()))
                drives.emplace(ExcludeTrailingPathDelimiter(child->Name()), drive);
        }
    }
    const auto top = drives.find("/");
    const TPlace root{"/", "/", top != drives.end() ? top->second : nullptr};
    std::vector<TOpenPlace> stack;
    OpenDirectory(root.node, root.name, stream);
    stack.push_back(Open(root, drives));
    while (!stack.empty()) {
        TOpenPlace& open = stack.back();
        if (open.next == open.children.size()) {
            stack.pop_back();
            CloseDirectory(stream);
            continue;
        }
        const TPlace& place = open.children[open.next++];
        WriteText(stream, ",\n");
        if (place.excluded) {
            WriteText(stream, "{\"name\":" + JsonString(place.name) + ",\"excluded\":\"otherfs\"}");
            continue;
        }
        OpenDirectory(place.node, place.name, stream);
        TOpenPlace child = Open(place, drives);
        stack.push_back(std::move(child));
    }
}

} // namespace quorvex
