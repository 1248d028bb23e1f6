#include "ui/FileViews.h"

#include "diag/QxLogger.h"
#include "i18n/TranslatedText.h"
#include "i18n/TranslationMarkers.h"
#include "model/FileKinds.h"
#include "model/FileSystemNode.h"
#include "model/PackedFiles.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "support/PathText.h"
#include "ui/SlicedFileWalk.h"

#include <QAction>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QRadioButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <set>

namespace quorvex {
namespace {

constexpr int kShareWidth = 90;
constexpr int kDockWidth = 420;

// A dock takes the width its content asks for: enough for a kind's name and its three figures.
class TStatsView : public QTreeView {
public:
    using QTreeView::QTreeView;
    QSize sizeHint() const override { return {kDockWidth, QTreeView::sizeHint().height()}; }
};

QTreeView* MakeStatsView(TFileStatsModel* model, const std::function<TQxBarChartPainter*()>& painter,
                         QWidget* parent) {
    auto* view = new TStatsView(parent);
    view->setModel(model);
    view->setItemDelegate(new TShareBarDelegate(painter, view));
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setExpandsOnDoubleClick(false);
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(TFileStatsModel::colName, QHeaderView::Stretch);
    header->setSectionResizeMode(TFileStatsModel::colFiles, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(TFileStatsModel::colSize, QHeaderView::ResizeToContents);
    header->resizeSection(TFileStatsModel::colShare, kShareWidth);
    return view;
}

// New rows in place of the old; the rows the user had opened stay open, and `open` besides.
void ReplaceRows(QTreeView* view, TFileStatsModel* model, std::vector<TStatsRow> rows,
                 const QString& open = {}) {
    std::set<QString> expanded;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex at = model->index(row, 0);
        if (view->isExpanded(at))
            expanded.insert(model->RowAt(at)->Label);
    }
    if (!open.isEmpty())
        expanded.insert(open);
    model->SetRows(std::move(rows));
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex at = model->index(row, 0);
        if (expanded.count(model->RowAt(at)->Label) != 0)
            view->expand(at);
    }
}

QDockWidget* MakeDock(QMainWindow& window, const char* name, const char* title, QWidget* content) {
    auto* dock = new QDockWidget(QString::fromUtf8(title), &window);
    dock->setObjectName(QString::fromLatin1(name));
    dock->setWidget(content);
    window.addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
    return dock;
}

std::string PathOf(const TDirNode& dir, const std::string& name) {
    std::string path = GetFullPath(&dir);
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + name;
}

} // namespace

TFileViews::TFileViews(QMainWindow& window, QMenu* viewMenu, TFileViewsHooks hooks)
    : QObject(&window), hooks_(std::move(hooks)), typesModel_(new TFileStatsModel(this)),
      agesModel_(new TFileStatsModel(this)), wholeWalk_(new TSlicedFileWalk(this)),
      folderWalk_(new TSlicedFileWalk(this)), listWalk_(new TSlicedFileWalk(this)),
      years_(std::time(nullptr)) {
    // File types: the kinds above, the files of the type double-clicked below.
    auto* splitter = new QSplitter(Qt::Vertical);
    typesView_ = MakeStatsView(typesModel_, hooks_.BarPainter, splitter);
    typesView_->setObjectName(QStringLiteral("FileTypesView"));
    auto* listPane = new QWidget(splitter);
    auto* listLayout = new QVBoxLayout(listPane);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listCaption_ = new QLabel(listPane);
    listCaption_->setWordWrap(true);
    fileList_ = new QTreeWidget(listPane);
    fileList_->setObjectName(QStringLiteral("FileTypeFiles"));
    fileList_->setColumnCount(2);
    fileList_->setRootIsDecorated(false);
    fileList_->setUniformRowHeights(true);
    fileList_->setTextElideMode(Qt::ElideMiddle);
    fileList_->header()->setStretchLastSection(false);
    fileList_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    fileList_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    listLayout->addWidget(listCaption_);
    listLayout->addWidget(fileList_, 1);
    listPane->hide(); // until a type is double-clicked
    typesDock_ = MakeDock(window, "FileTypesDock", N_("File types"), splitter);

    // File ages: of the whole scan or of the tree's selected folder.
    auto* agesPane = new QWidget;
    auto* agesLayout = new QVBoxLayout(agesPane);
    agesLayout->setContentsMargins(0, 0, 0, 0);
    auto* scopeRow = new QHBoxLayout;
    wholeScope_ = new QRadioButton(QString::fromUtf8(N_("Whole scan")), agesPane);
    wholeScope_->setChecked(true);
    folderScope_ = new QRadioButton(QString::fromUtf8(N_("Selected folder")), agesPane);
    folderScope_->setObjectName(QStringLiteral("FileAgesFolderScope"));
    scopeRow->addWidget(wholeScope_);
    scopeRow->addWidget(folderScope_);
    scopeRow->addStretch(1);
    folderCaption_ = new QLabel(agesPane);
    folderCaption_->hide();
    agesView_ = MakeStatsView(agesModel_, hooks_.BarPainter, agesPane);
    agesView_->setObjectName(QStringLiteral("FileAgesView"));
    agesLayout->addLayout(scopeRow);
    agesLayout->addWidget(folderCaption_);
    agesLayout->addWidget(agesView_, 1);
    agesDock_ = MakeDock(window, "FileAgesDock", N_("File ages"), agesPane);
    window.tabifyDockWidget(typesDock_, agesDock_);

    QAction* showTypes = typesDock_->toggleViewAction();
    showTypes->setObjectName(QStringLiteral("ActShowFileTypes"));
    showTypes->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    QAction* showAges = agesDock_->toggleViewAction();
    showAges->setObjectName(QStringLiteral("ActShowFileAges"));
    showAges->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    viewMenu->addAction(showTypes);
    viewMenu->addAction(showAges);

    for (QDockWidget* dock : {typesDock_, agesDock_}) {
        connect(dock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
            if (visible && stale_)
                Refill();
        });
    }
    connect(typesView_, &QAbstractItemView::doubleClicked, this, &TFileViews::ListFilesOf);
    connect(fileList_, &QTreeWidget::currentItemChanged, this,
            [this](const QTreeWidgetItem* item) { RevealListed(item); });
    connect(wholeScope_, &QRadioButton::toggled, this, [this] {
        folder_ = nullptr;
        folderWalk_->Cancel();
        UpdateFolderCaption();
        if (folderScope_->isChecked())
            StartFolderCount();
        else
            ShowAges();
    });
    restart_.setSingleShot(true);
    restart_.setInterval(0);
    connect(&restart_, &QTimer::timeout, this, &TFileViews::Refill);
    SizesChanged();
    Retranslate();
}

TFileViews::~TFileViews() = default;

bool TFileViews::IsFilling() const {
    return wholeWalk_->IsRunning() || folderWalk_->IsRunning() || listWalk_->IsRunning() ||
           restart_.isActive();
}

bool TFileViews::AnyShown() const {
    return !typesDock_->isHidden() || !agesDock_->isHidden();
}

const TFileKinds& TFileViews::Kinds() {
    if (kinds_ == nullptr)
        kinds_ = std::make_unique<TFileKinds>();
    return *kinds_;
}

void TFileViews::TreeChanging() {
    wholeWalk_->Cancel();
    folderWalk_->Cancel();
    listWalk_->Cancel();
    listing_.clear();
    listedFiles_.clear();
    fileList_->clear();
    folder_ = nullptr;
    restart_.start();
}

void TFileViews::TreeGrew() {
    if (!AnyShown()) {
        stale_ = true;
        return;
    }
    if (wholeWalk_->IsRunning() || std::chrono::steady_clock::now() - lastWholeStart_ < kScanRefreshPace)
        return;
    // The listed files wait for the scan's end: a list that changed under the pointer every two
    // seconds could not be read.
    StartWholeCount();
    if (folderScope_->isChecked())
        StartFolderCount();
}

void TFileViews::Refill() {
    restart_.stop();
    if (!AnyShown()) {
        stale_ = true;
        return;
    }
    stale_ = false;
    StartWholeCount();
    if (folderScope_->isChecked()) {
        folder_ = nullptr;
        StartFolderCount();
    }
    if (listed_)
        StartListing();
}

const TGroupNode* TFileViews::SelectedFolder() const {
    const TFileSystemNode* node = hooks_.Current();
    while (node != nullptr && (node->GetNodeType() == ntFile || node->GetNodeType() == ntFileGroup))
        node = node->Parent();
    if (node == nullptr)
        node = hooks_.Root();
    return dynamic_cast<const TGroupNode*>(node);
}

void TFileViews::CurrentChanged() {
    if (folderScope_->isChecked() && AnyShown() && SelectedFolder() != folder_)
        StartFolderCount();
}

void TFileViews::StartWholeCount() {
    lastWholeStart_ = std::chrono::steady_clock::now();
    const TRootNode* root = hooks_.Root();
    if (root == nullptr) {
        wholeWalk_->Cancel();
        types_ = {};
        ages_ = {};
        ShowTypes();
        ShowAges();
        return;
    }
    const TFileKinds& kinds = Kinds();
    typesCounting_ = {};
    agesCounting_ = {};
    wholeWalk_->Start(
        root,
        [this, &kinds](const TDirNode& /*dir*/, const TPackedFile& file) {
            typesCounting_.ByExtension[kinds.ExtensionOf(file.Name)].Add(file);
            agesCounting_.Add(years_, file);
        },
        [this] {
            types_ = std::move(typesCounting_);
            ages_ = std::move(agesCounting_);
            ShowTypes();
            ShowAges();
            std::int64_t files = 0;
            for (const auto& [extension, tally] : types_.ByExtension)
                files += tally.Files;
            char line[160];
            std::snprintf(
                line, sizeof line,
                "file views: %lld files counted in %.0f ms (%.0f ms in slices, %.0f ms processor time)",
                static_cast<long long>(files), wholeWalk_->ElapsedSeconds() * 1000,
                wholeWalk_->BusySeconds() * 1000, wholeWalk_->ProcessorSeconds() * 1000);
            ProgramLogger().debug(line);
        });
}

void TFileViews::StartFolderCount() {
    folder_ = SelectedFolder();
    UpdateFolderCaption();
    folderAgesCounting_ = {};
    if (folder_ == nullptr) {
        folderWalk_->Cancel();
        folderAges_ = {};
        ShowAges();
        return;
    }
    folderWalk_->Start(
        folder_, [this](const TDirNode&, const TPackedFile& file) { folderAgesCounting_.Add(years_, file); },
        [this] {
            folderAges_ = std::move(folderAgesCounting_);
            ShowAges();
        });
}

void TFileViews::UpdateFolderCaption() {
    folderCaption_->setVisible(folderScope_->isChecked());
    folderCaption_->setText(folder_ != nullptr ? DecodePath(GetFullPath(folder_)) : QString());
}

void TFileViews::ShowTypes() {
    ReplaceRows(typesView_, typesModel_, TypeRows(Kinds(), types_, hooks_.SizeKind()));
}

void TFileViews::ShowAges() {
    const TAgeTallies& ages = folderScope_->isChecked() ? folderAges_ : ages_;
    ReplaceRows(agesView_, agesModel_, AgeRows(ages, years_.CurrentYear()),
                QString::number(years_.CurrentYear()));
}

void TFileViews::SizesChanged() {
    typesModel_->SetSizes(hooks_.SizeKind(), hooks_.Formatter());
    agesModel_->SetSizes(hooks_.SizeKind(), hooks_.Formatter());
    // The order is by size, and the listed files are the largest ones of the size shown.
    if (!types_.ByExtension.empty())
        ShowTypes();
    if (listed_ && AnyShown())
        StartListing();
}

void TFileViews::Retranslate() {
    typesModel_->Retranslate();
    agesModel_->Retranslate();
    fileList_->setHeaderLabels({Tr("Path"), Tr("Size")});
    if (!types_.ByExtension.empty())
        ShowTypes();
    ShowAges();
    ShowListing();
}

// ---- The files of one type -----------------------------------------------------------------

void TFileViews::ListFilesOf(const QModelIndex& index) {
    const TStatsRow* row = typesModel_->RowAt(index);
    if (row == nullptr)
        return;
    const bool isKind = !index.parent().isValid();
    listed_ = TListedType{isKind ? row->Kind : -1, isKind ? std::string() : row->Extension, row->Label};
    listCaption_->parentWidget()->show();
    StartListing();
}

void TFileViews::StartListing() {
    const TRootNode* root = hooks_.Root();
    listing_.clear();
    listingMatches_ = 0;
    if (root == nullptr || !listed_)
        return;
    listCaption_->setText(Tr("Counting..."));
    const TFileKinds& kinds = Kinds();
    const TSizeKind sizeKind = hooks_.SizeKind();
    const auto smaller = [](const TListedFile& a, const TListedFile& b) { return a.Size > b.Size; };
    listWalk_->Start(
        root,
        [this, &kinds, sizeKind, smaller](const TDirNode& dir, const TPackedFile& file) {
            if ((file.Attributes & kCountedAtAnotherName) != 0)
                return;
            const std::string extension = kinds.ExtensionOf(file.Name);
            const bool match = listed_->Kind >= 0
                                   ? static_cast<int>(kinds.KindOfExtension(extension)) == listed_->Kind
                                   : extension == listed_->Extension;
            if (!match)
                return;
            ++listingMatches_;
            const std::int64_t size = sizeKind == TSizeKind::Allocated ? file.AllocatedSize : file.Size;
            if (listing_.size() == kListedFilesCap) {
                if (size <= listing_.front().Size)
                    return;
                std::pop_heap(listing_.begin(), listing_.end(), smaller);
                listing_.pop_back();
            }
            listing_.push_back({size, &dir, std::string(file.Name)});
            std::push_heap(listing_.begin(), listing_.end(), smaller);
        },
        [this, smaller] {
            std::sort_heap(listing_.begin(), listing_.end(), smaller);
            listedFiles_ = std::move(listing_);
            listedMatches_ = listingMatches_;
            ShowListing();
        });
}

void TFileViews::ShowListing() {
    if (!listed_ || listWalk_->IsRunning())
        return;
    const QSignalBlocker quiet(fileList_);
    fileList_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(listedFiles_.size()));
    const TSizeFormatter formatter = hooks_.Formatter();
    for (std::size_t i = 0; i < listedFiles_.size(); ++i) {
        const TListedFile& file = listedFiles_[i];
        auto* item =
            new QTreeWidgetItem({DecodePath(PathOf(*file.Dir, file.Name)),
                                 QString::fromStdString(formatter(file.Size, LocaleDecimalSeparator()))});
        item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        items.append(item);
    }
    fileList_->addTopLevelItems(items);
    const auto shown = static_cast<std::int64_t>(listedFiles_.size());
    listCaption_->setText(
        shown < listedMatches_
            ? Tr("Largest files of %1: the first %2 of %3")
                  .arg(listed_->Label, QString::fromStdString(FormatCount(shown)),
                       QString::fromStdString(FormatCount(listedMatches_)))
            : Tr("Files of %1, largest first: %2")
                  .arg(listed_->Label, QString::fromStdString(FormatCount(listedMatches_))));
}

void TFileViews::RevealListed(const QTreeWidgetItem* item) {
    if (item == nullptr)
        return;
    const auto at = static_cast<std::size_t>(item->data(0, Qt::UserRole).toULongLong());
    if (at >= listedFiles_.size())
        return;
    const TListedFile& file = listedFiles_[at];
    auto* dir = const_cast<TDirNode*>(file.Dir);
    // A folder still being scanned lists no files yet: the folder stands for it.
    TFileSystemNode* node = FileNodeOf(dir, file.Name);
    hooks_.Reveal(node != nullptr ? node : dir);
}

} // namespace quorvex
