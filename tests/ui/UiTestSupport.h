#pragma once

// Trees and helpers shared by the window and model tests.

#include "common/TempTree.h"

#include <QAbstractItemModel>
#include <QString>

#include <string>

namespace quorvex::testing {

// A tree of `dirs` x `subdirs` directories with files of varied sizes, largest under "big".
inline void MakeWideTree(const TempTree& tree, int dirs, int subdirs) {
    tree.Dir("big");
    tree.File("big/huge.bin", 3 << 20);
    tree.File("big/a.txt", 10);
    tree.File("big/b.txt", 20);
    for (int d = 0; d < dirs; ++d) {
        // Appended rather than "d" + to_string(d): GCC 12 at -O2 warns falsely (-Wrestrict) on that form.
        std::string dir = "d";
        dir += std::to_string(d);
        tree.Dir(dir);
        tree.File(dir + "/f.bin", 1000 * (d + 1));
        for (int s = 0; s < subdirs; ++s) {
            const std::string sub = dir + "/s" + std::to_string(s);
            tree.Dir(sub);
            tree.File(sub + "/g.bin", 100 * (s + 1));
        }
    }
}

inline QString Text(const QAbstractItemModel& model, int row, int column, const QModelIndex& parent = {}) {
    return model.data(model.index(row, column, parent)).toString();
}

} // namespace quorvex::testing
