#pragma once

#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"

#include <string>

namespace quorvex::testing {

// The direct child of `group` called `name`, or null.
inline TFileSystemNode* Child(const TGroupNode* group, const std::string& name) {
    TChildrenLock guard(group);
    for (const auto& c : guard.Children()) {
        if (c->Name() == name)
            return c.get();
    }
    return nullptr;
}

} // namespace quorvex::testing
