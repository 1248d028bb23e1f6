#include "ui/FileStatsModel.h"

#include "i18n/TranslatedText.h"
#include "model/FileKinds.h"
#include "model/FileSystemNode.h"
#include "model/PackedFiles.h"
#include "paint/PercentCell.h"
#include "paint/QxBarChartPainter.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

namespace quorvex {

void TFileTally::Add(const TPackedFile& file) {
    if ((file.Attributes & kCountedAtAnotherName) != 0)
        return;
    ++Files;
    Size += file.Size;
    Allocated += file.AllocatedSize;
}

void TFileTally::Add(const TFileTally& other) {
    Files += other.Files;
    Size += other.Size;
    Allocated += other.Allocated;
}

std::int64_t TFileTally::SizeOf(TSizeKind kind) const {
    return kind == TSizeKind::Allocated ? Allocated : Size;
}

// ---- Model ---------------------------------------------------------------------------------

TFileStatsModel::TFileStatsModel(QObject* parent)
    : QAbstractItemModel(parent), kind_(TSizeKind::Logical), formatter_(FormatSizeTruncated) {}

void TFileStatsModel::SetRows(std::vector<TStatsRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    total_ = 0;
    for (const TStatsRow& row : rows_)
        total_ += row.Tally.SizeOf(kind_);
    endResetModel();
}

void TFileStatsModel::SetSizes(TSizeKind kind, TSizeFormatter formatter) {
    kind_ = kind;
    if (formatter != nullptr)
        formatter_ = formatter;
    total_ = 0;
    for (const TStatsRow& row : rows_)
        total_ += row.Tally.SizeOf(kind_);
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
}

void TFileStatsModel::Retranslate() {
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

const TStatsRow* TFileStatsModel::RowAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return nullptr;
    const auto parentRow = static_cast<std::size_t>(index.internalId());
    if (parentRow == 0)
        return &rows_[static_cast<std::size_t>(index.row())];
    return &rows_[parentRow - 1].Children[static_cast<std::size_t>(index.row())];
}

// A top row's internal id is 0, a child's its parent's row plus one.
QModelIndex TFileStatsModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= kColumnCount || row >= rowCount(parent))
        return {};
    return createIndex(row, column, parent.isValid() ? static_cast<quintptr>(parent.row()) + 1 : 0);
}

QModelIndex TFileStatsModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr(0));
}

int TFileStatsModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return static_cast<int>(rows_.size());
    if (parent.column() != 0 || parent.internalId() != 0)
        return 0;
    return static_cast<int>(rows_[static_cast<std::size_t>(parent.row())].Children.size());
}

int TFileStatsModel::columnCount(const QModelIndex& /*parent*/) const {
    return kColumnCount;
}

QVariant TFileStatsModel::data(const QModelIndex& index, int role) const {
    const TStatsRow* row = RowAt(index);
    if (row == nullptr)
        return {};
    const double share =
        total_ > 0 ? static_cast<double>(row->Tally.SizeOf(kind_)) / static_cast<double>(total_) : 0.0;
    if (role == ShareRole)
        return share;
    if (role == Qt::DecorationRole && index.column() == colName && row->Swatch.isValid())
        return row->Swatch;
    if (role == Qt::TextAlignmentRole && index.column() != colName)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case colName:
        return row->Label;
    case colFiles:
        return QString::fromStdString(FormatCount(row->Tally.Files));
    case colSize:
        return QString::fromStdString(formatter_(row->Tally.SizeOf(kind_), LocaleDecimalSeparator()));
    default:
        return FormatPercentText(share, QLocale());
    }
}

QVariant TFileStatsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case colName:
        return Tr("Name");
    case colFiles:
        return Tr("Files");
    case colSize:
        return Tr("Size");
    default:
        return Tr("Share");
    }
}

// ---- Share bars ----------------------------------------------------------------------------

TShareBarDelegate::TShareBarDelegate(std::function<TQxBarChartPainter*()> painter, QObject* parent)
    : TBarCellDelegate(parent), painter_(std::move(painter)) {}

void TShareBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    if (index.column() != TFileStatsModel::colShare) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QStyleOptionViewItem opt = PaintCellBackground(painter, option, index);
    TQxBarChartPainter* bars = painter_ ? painter_() : nullptr;
    if (bars == nullptr)
        return;
    const double share = index.data(TFileStatsModel::ShareRole).toDouble();
    const QString text = index.data(Qt::DisplayRole).toString();
    const QRect rect = option.rect.adjusted(1, 1, -1, -1);
    painter->save();
    painter->setFont(opt.font);
    if ((option.state & QStyle::State_Selected) != 0)
        bars->PaintSelected(*painter, rect, text, share);
    else
        bars->Paint(*painter, rect, text, share);
    painter->restore();
}

// ---- Years ---------------------------------------------------------------------------------

void TAgeTallies::Add(const TLocalYears& years, const TPackedFile& file) {
    if (file.ModifyTime == 0) {
        Unknown.Add(file);
        return;
    }
    const int year = years.Year(file.ModifyTime);
    const auto recent = static_cast<std::size_t>(year - TLocalYears::kFirstYear);
    if (year < TLocalYears::kFirstYear || year > years.CurrentYear()) {
        Others[year].Add(file);
    } else {
        if (Recent.size() <= recent)
            Recent.resize(static_cast<std::size_t>(years.CurrentYear() - TLocalYears::kFirstYear) + 1);
        Recent[recent].Add(file);
    }
    if (year == years.CurrentYear())
        ByMonth[static_cast<std::size_t>(std::max(0, years.Month(file.ModifyTime)))].Add(file);
}

std::map<int, TFileTally> TAgeTallies::ByYear() const {
    std::map<int, TFileTally> years = Others;
    for (std::size_t i = 0; i < Recent.size(); ++i) {
        if (Recent[i].Files > 0)
            years[TLocalYears::kFirstYear + static_cast<int>(i)] = Recent[i];
    }
    return years;
}

// ---- Rows ----------------------------------------------------------------------------------

namespace {

QColor KindColour(TFileKind kind) {
    return QColor::fromRgb(static_cast<QRgb>(FileKindColour(kind)));
}

void SortBySize(std::vector<TStatsRow>& rows, TSizeKind size) {
    std::stable_sort(rows.begin(), rows.end(), [size](const TStatsRow& a, const TStatsRow& b) {
        return a.Tally.SizeOf(size) > b.Tally.SizeOf(size);
    });
}

} // namespace

std::vector<TStatsRow> TypeRows(const TFileKinds& kinds, const TTypeTallies& tallies, TSizeKind size) {
    std::vector<TStatsRow> rows(kFileKindCount);
    for (std::size_t k = 0; k < kFileKindCount; ++k) {
        const auto kind = static_cast<TFileKind>(k);
        rows[k].Label = Tr(FileKindName(kind));
        rows[k].Swatch = KindColour(kind);
        rows[k].Kind = static_cast<int>(k);
    }
    for (const auto& [extension, tally] : tallies.ByExtension) {
        if (tally.Files == 0)
            continue;
        TStatsRow& kindRow = rows[static_cast<std::size_t>(kinds.KindOfExtension(extension))];
        kindRow.Tally.Add(tally);
        TStatsRow& row = kindRow.Children.emplace_back();
        row.Label = extension.empty() ? Tr(kNoExtension) : QString::fromStdString(extension);
        row.Swatch = kindRow.Swatch;
        row.Kind = kindRow.Kind;
        row.Extension = extension;
        row.Tally = tally;
    }
    std::erase_if(rows, [](const TStatsRow& row) { return row.Tally.Files == 0; });
    for (TStatsRow& row : rows) {
        // Ties by name, so that equal sizes come in the same order each time.
        std::sort(row.Children.begin(), row.Children.end(),
                  [](const TStatsRow& a, const TStatsRow& b) { return a.Extension < b.Extension; });
        SortBySize(row.Children, size);
    }
    SortBySize(rows, size);
    return rows;
}

std::vector<TStatsRow> AgeRows(const TAgeTallies& tallies, int currentYear) {
    std::vector<TStatsRow> rows;
    for (const auto& [year, tally] : tallies.ByYear()) {
        if (tally.Files == 0)
            continue;
        TStatsRow& row = rows.emplace_back();
        row.Label = QString::number(year);
        row.Tally = tally;
        if (year != currentYear)
            continue;
        for (std::size_t month = 0; month < tallies.ByMonth.size(); ++month) {
            if (tallies.ByMonth[month].Files == 0)
                continue;
            TStatsRow& monthRow = row.Children.emplace_back();
            monthRow.Label = QStringLiteral("%1-%2").arg(year).arg(month + 1, 2, 10, QLatin1Char('0'));
            monthRow.Tally = tallies.ByMonth[month];
        }
    }
    if (tallies.Unknown.Files > 0) {
        TStatsRow& row = rows.emplace_back();
        row.Label = Tr("Unknown");
        row.Tally = tallies.Unknown;
    }
    return rows;
}

} // namespace quorvex
