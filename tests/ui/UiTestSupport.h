#pragma once

// Trees and helpers shared by the window and model tests.

#include "common/DialogDriver.h"
#include "common/TempTree.h"
#include "model/RootNodes.h"
#include "scan/DirScanner.h"
#include "support/PosixDir.h"
#include "ui/NodeTreeModel.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
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

// A finished scan of `path`.
inline std::unique_ptr<TRootDirNode> ScanNow(const std::string& path, std::int64_t threshold,
                                             TFileSystemApi* fs = nullptr) {
    auto root = std::make_unique<TRootDirNode>();
    root->SetName(path);
    TDirScanner(root.get(), fs).Scan(path, threshold);
    return root;
}

// Fails to open every directory named "locked", as an unreadable one would for an ordinary user.
class LockedDirFileSystem : public TFileSystemApi {
public:
    int OpenDirectory(int parentFd, const char* name) override {
        return std::strcmp(name, "locked") == 0 ? -EACCES : TFileSystemApi::OpenDirectory(parentFd, name);
    }
};

// A model under QAbstractItemModelTester, which aborts the run at the first inconsistency it sees.
class CheckedModel : public TNodeTreeModel {
    QAbstractItemModelTester tester_{this, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

// The group of small files among `dir`'s children, or null.
inline const TFileSystemNode* FileGroupIn(const TGroupNode* dir) {
    TChildrenLock guard(dir);
    for (const auto& child : guard.Children()) {
        if (child->GetNodeType() == ntFileGroup)
            return child.get();
    }
    return nullptr;
}

inline QString Text(const QAbstractItemModel& model, int row, int column, const QModelIndex& parent = {}) {
    return model.data(model.index(row, column, parent)).toString();
}

// Waits for the next modal message box, hands it to `check` and answers it with `answer`
// (QMessageBox::NoButton closes it as the window's close button would).
class BoxAnswerer : public WhileShown<QMessageBox> {
public:
    BoxAnswerer(QMessageBox::StandardButton answer, std::function<void(const QMessageBox&)> check)
        : WhileShown<QMessageBox>([answer, check](QMessageBox& box) {
              check(box);
              if (answer == QMessageBox::NoButton)
                  box.reject();
              else
                  box.button(answer)->click();
          }) {}
};

// What the platform delivers for a double click; QTest::mouseDClick sends the double-click event alone.
inline void DoubleClick(QWidget* widget, QPoint at) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QTest::mousePress(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

} // namespace quorvex::testing
