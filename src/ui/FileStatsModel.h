#pragma once

#include "model/LocalYears.h"
#include "model/SizeFormat.h"
#include "ui/NodeItemDelegate.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QStyledItemDelegate>

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvex {

class TFileKinds;
class TQxBarChartPainter;
enum class TSizeKind : std::uint8_t;
struct TPackedFile;

// Files, size and allocated size of a set of files; a file counted at another name adds nothing.
struct TFileTally {
    std::int64_t Files = 0;
    std::int64_t Size = 0;
    std::int64_t Allocated = 0;

    void Add(const TPackedFile& file);
    void Add(const TFileTally& other);
    std::int64_t SizeOf(TSizeKind kind) const;
};

// One row of a statistics view and the rows it expands to (one level deep).
struct TStatsRow {
    QString Label;
    QColor Swatch;         // invalid: none
    int Kind = -1;         // a file kind's row: its TFileKind
    std::string Extension; // an extension's row: the extension (empty for "(none)")
    TFileTally Tally;
    std::vector<TStatsRow> Children;
};

// Rows of labelled tallies with their share of the whole, for the file types and file ages views:
// name (with the row's colour as a swatch), files, size and share, which the share delegate draws as
// a bar. The rows hold figures only, never nodes, so they may outlive the tree they were counted in.
class TFileStatsModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum { colName, colFiles, colSize, colShare, kColumnCount };
    static constexpr int ShareRole = Qt::UserRole + 1;

    explicit TFileStatsModel(QObject* parent = nullptr);

    // The rows in the order shown; the share is of their sum.
    void SetRows(std::vector<TStatsRow> rows);
    void SetSizes(TSizeKind kind, TSizeFormatter formatter);
    const TStatsRow* RowAt(const QModelIndex& index) const;
    const std::vector<TStatsRow>& Rows() const { return rows_; }
    void Retranslate();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<TStatsRow> rows_;
    std::int64_t total_ = 0;
    TSizeKind kind_;
    TSizeFormatter formatter_ = nullptr;
};

// Draws a statistics model's share column with the configured bar painter, as the tree's percentage
// column is drawn; the painter is asked for at every paint, as the settings may replace it.
class TShareBarDelegate : public TBarCellDelegate {
public:
    TShareBarDelegate(std::function<TQxBarChartPainter*()> painter, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    std::function<TQxBarChartPainter*()> painter_;
};

// What a walk over the records counts for the views.
struct TTypeTallies {
    std::unordered_map<std::string, TFileTally> ByExtension;
};
struct TAgeTallies {
    // Years from 1970 in a vector, for a look-up per file that costs an index; others in the map.
    std::vector<TFileTally> Recent;
    std::map<int, TFileTally> Others;
    std::array<TFileTally, 12> ByMonth; // of the current year
    TFileTally Unknown;                 // no time recorded

    void Add(const TLocalYears& years, const TPackedFile& file);
    std::map<int, TFileTally> ByYear() const;
};

// Kinds in their fixed order's colours and names, each with its extensions; both by size, largest first.
std::vector<TStatsRow> TypeRows(const TFileKinds& kinds, const TTypeTallies& tallies, TSizeKind size);
// Years oldest first, the current one expanding to its months.
std::vector<TStatsRow> AgeRows(const TAgeTallies& tallies, int currentYear);

} // namespace quorvex
