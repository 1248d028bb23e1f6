#pragma once

// Trees and helpers shared by the window and model tests.

#include "common/TempTree.h"

#include <QAbstractItemModel>
#include <QLoggingCategory>
#include <QString>

#include <atomic>
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

// Counts the warnings QAbstractItemModelTester reports while it lives.
class ModelTesterWarnings {
public:
    ModelTesterWarnings() : previous_(qInstallMessageHandler(&Handler)) { Count() = 0; }
    ~ModelTesterWarnings() { qInstallMessageHandler(previous_); }
    ModelTesterWarnings(const ModelTesterWarnings&) = delete;
    ModelTesterWarnings& operator=(const ModelTesterWarnings&) = delete;
    int Value() const { return Count().load(); }

private:
    static std::atomic<int>& Count() {
        static std::atomic<int> count{0};
        return count;
    }
    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type != QtDebugMsg &&
            QString::fromLatin1(context.category ? context.category : "") == "qt.modeltest") {
            ++Count();
            fprintf(stderr, "modeltest: %s\n", qPrintable(message));
        }
    }
    QtMessageHandler previous_;
};

inline QString Text(const QAbstractItemModel& model, int row, int column, const QModelIndex& parent = {}) {
    return model.data(model.index(row, column, parent)).toString();
}

} // namespace quorvex::testing
