#pragma once

// The internals shared by the source files of TNodeTreeModel; nothing else includes this.

#include "support/PathText.h"
#include "ui/NodeTreeModel.h"

#include <QFile>
#include <QString>

#include <string>
#include <vector>

namespace quorvex {

struct TNodeTreeModel::TRowList {
    TFileSystemNode* node = nullptr; // the node whose children these are; null for the top level
    TRowList* parent = nullptr;      // the list holding `node`'s own row
    int row = 0;                     // `node`'s row within `parent`
    std::vector<TFileSystemNode*> rows;
    int consumed = 0;             // entries of the node's child list already taken over
    bool groupPublished = false;  // the directory's file group is among the rows
    bool ghostsPublished = false; // the items gone from the directory since the compared scan
    bool unsortedTail = true;     // rows were appended since the last sort
    int sortedColumn = -1;
    Qt::SortOrder sortedOrder = Qt::AscendingOrder;
};

namespace tree_model_detail {

// Marks the time our own change signals are being delivered; see fetchMore.
class SignalScope {
public:
    explicit SignalScope(int& depth) : depth_(depth) { ++depth_; }
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;
    ~SignalScope() { --depth_; }

private:
    int& depth_;
};

} // namespace tree_model_detail
} // namespace quorvex
