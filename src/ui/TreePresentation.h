#pragma once

#include <QElapsedTimer>

#include <memory>
#include <string>
#include <vector>

namespace quorvex {

class TFileSystemNode;
class TNodeTreeView;
class TQxBarChartPainter;
class TRootNode;
class TSettings;
enum class TSizeKind : std::uint8_t;

// How the window's view presents the scan: as the tree, or as the flat list of the items above a
// thousandth of the total, each presentation with its own column widths; and the bars in its rows.
class TTreePresentation {
public:
    explicit TTreePresentation(TNodeTreeView* view);
    ~TTreePresentation();
    TTreePresentation(const TTreePresentation&) = delete;
    TTreePresentation& operator=(const TTreePresentation&) = delete;

    bool IsFlat() const { return flat_; }
    // The saved state; the columns take the widths of the presentation it names.
    void Restore(bool flat, std::string treeWidths, std::string flatWidths);
    // The tree presentation's column widths as they are to be saved, the shown one's read from the view.
    const std::string& TreeWidthsToSave();

    void ShowTree();
    void ShowFlat(TRootNode* root, TSizeKind kind);
    // The view shows the tree as it is now; a flat list is made only when there is none.
    void Rebuild(TRootNode* root, TSizeKind kind);
    // The flat list is made anew at the next rebuild; it must go before any node it holds is destroyed.
    void Discard() { flatList_.clear(); }
    // At a scan's refresh tick: the tree's rows follow every tick, while the flat list, which reads
    // every file's record, is built again at most every two seconds.
    void DiscardWhileGrowing() {
        if (!flat_ || !built_.isValid() || built_.hasExpired(kFlatRebuildPauseMs))
            Discard();
    }
    const std::vector<TFileSystemNode*>& FlatList() const { return flatList_; }

    // The bar painters the settings name.
    void ApplyBars(const TSettings& settings);
    // The configured painter of the shares of the whole, for other views that draw shares alike.
    TQxBarChartPainter* BarPainter() const { return barPainter_.get(); }

private:
    static std::vector<TFileSystemNode*> BuildFlatList(TRootNode* root, TSizeKind kind);

    TNodeTreeView* const view_;
    std::vector<TFileSystemNode*> flatList_;
    static constexpr qint64 kFlatRebuildPauseMs = 2000;
    QElapsedTimer built_; // since the flat list was last built
    bool flat_ = false;
    std::string treeWidths_;
    std::string flatWidths_;
    std::unique_ptr<TQxBarChartPainter> barPainter_;
    std::unique_ptr<TQxBarChartPainter> childBarPainter_;
};

} // namespace quorvex
