#pragma once

#include "model/SizeFormat.h"
#include "ui/FileStatsModel.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDockWidget;
class QLabel;
class QMainWindow;
class QMenu;
class QRadioButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorvex {

class TDirNode;
class TFileKinds;
class TFileSystemNode;
class TGroupNode;
class TQxBarChartPainter;
class TRootNode;
class TSlicedFileWalk;

// What the file views ask of the window that shows the tree.
struct TFileViewsHooks {
    std::function<TRootNode*()> Root;
    // The tree's current row's node, or null.
    std::function<TFileSystemNode*()> Current;
    std::function<TSizeKind()> SizeKind;
    std::function<TSizeFormatter()> Formatter;
    std::function<TQxBarChartPainter*()> BarPainter;
    // Makes `node` the tree's only selected and current row.
    std::function<void(TFileSystemNode* node)> Reveal;
};

// The docks beside the tree that tell what fills the scan: the file types (kinds, each expanding to
// its extensions, and the largest files of a type, which reveal themselves in the tree) and the file
// ages (years, this year's months), of the whole scan or of the selected folder. They count the
// directories' file records in slices on the window's thread, only while a dock is shown, and at a
// calm pace while a scan runs.
class TFileViews : public QObject {
public:
    // Most files listed for one type: more rows would cost more than anyone reads.
    static constexpr std::size_t kListedFilesCap = 5000;

    TFileViews(QMainWindow& window, QMenu* viewMenu, TFileViewsHooks hooks);
    ~TFileViews() override;

    QDockWidget* TypesDock() const { return typesDock_; }
    QDockWidget* AgesDock() const { return agesDock_; }
    TFileStatsModel* TypesModel() const { return typesModel_; }
    TFileStatsModel* AgesModel() const { return agesModel_; }
    QTreeView* TypesView() const { return typesView_; }
    QTreeView* AgesView() const { return agesView_; }
    QTreeWidget* FileList() const { return fileList_; }
    QRadioButton* FolderScopeButton() const { return folderScope_; }
    // Whether a count is under way.
    bool IsFilling() const;

    // Before a directory leaves the tree or the tree is replaced: nothing of the old nodes is kept,
    // and the views are counted again once the change is done.
    void TreeChanging();
    // A scan's periodic refresh: counted again when the last count is old enough.
    void TreeGrew();
    // Counted again now (a scan ended).
    void Refill();
    void CurrentChanged();
    void SizesChanged();
    void Retranslate();

private:
    static constexpr std::chrono::seconds kScanRefreshPace{2};

    bool AnyShown() const;
    const TFileKinds& Kinds();
    const TGroupNode* SelectedFolder() const;
    void StartWholeCount();
    void StartFolderCount();
    void ShowTypes();
    void ShowAges();
    void ListFilesOf(const QModelIndex& index);
    void StartListing();
    void ShowListing();
    void RevealListed(const QTreeWidgetItem* item);
    void UpdateFolderCaption();

    TFileViewsHooks hooks_;
    std::unique_ptr<TFileKinds> kinds_;
    QDockWidget* typesDock_;
    QDockWidget* agesDock_;
    TFileStatsModel* typesModel_;
    TFileStatsModel* agesModel_;
    QTreeView* typesView_;
    QTreeView* agesView_;
    QLabel* listCaption_;
    QTreeWidget* fileList_;
    QRadioButton* wholeScope_;
    QRadioButton* folderScope_;
    QLabel* folderCaption_;
    TSlicedFileWalk* wholeWalk_;
    TSlicedFileWalk* folderWalk_;
    TSlicedFileWalk* listWalk_;
    QTimer restart_;

    TLocalYears years_;
    TTypeTallies types_, typesCounting_;
    TAgeTallies ages_, agesCounting_, folderAges_, folderAgesCounting_;
    const TGroupNode* folder_ = nullptr;
    bool stale_ = true;
    std::chrono::steady_clock::time_point lastWholeStart_{};

    // The type listed: a kind (Kind >= 0, no extension) or an extension.
    struct TListedType {
        int Kind = -1;
        std::string Extension;
        QString Label;
    };
    struct TListedFile {
        std::int64_t Size = 0;
        const TDirNode* Dir = nullptr;
        std::string Name;
    };
    std::optional<TListedType> listed_;
    std::vector<TListedFile> listedFiles_, listing_;
    std::int64_t listingMatches_ = 0;
    std::int64_t listedMatches_ = 0;
};

} // namespace quorvex
