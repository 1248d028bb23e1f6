#pragma once

#include "model/FindFiles.h"
#include "model/SizeFormat.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <cstdint>
#include <functional>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimer;
class QTreeView;

namespace quorvex {

// The rows of a find: full path, size and modification time of each hit, largest first.
class TFindResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { colPath, colSize, colModified, kColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void SetResult(TFindResult result, TSizeFormatter formatter);
    const TFindResult& Result() const { return result_; }
    // Null for a row that is not there.
    const TFindHit* HitAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    TFindResult result_;
    TSizeFormatter formatter_ = nullptr;
};

// The bar that finds files and folders anywhere in the scan by name, size and age, over the tree.
// It reads the tree only inside `search`, on the window's thread, and keeps paths rather than nodes,
// so a tree that changes between two searches leaves it nothing dangling.
class TFindBar : public QWidget {
    Q_OBJECT
public:
    using Search = std::function<TFindResult(const TFindQuery&)>;
    // How many of the largest hits are listed.
    static constexpr std::size_t kShownHits = 1000;

    TFindBar(Search search, QWidget* parent);

    // Shows the bar with the name field focused, and finds at once.
    void Open();
    // Finds again now, if shown: the tree changed.
    void Refresh();
    void SetSizeFormatter(TSizeFormatter formatter) { formatter_ = formatter; }
    QTreeView* Results() const { return results_; }
    TFindResultsModel* Model() const { return model_; }
    QLineEdit* NameField() const { return name_; }
    // The hit of the current row, or null.
    const TFindHit* CurrentHit() const;

signals:
    void RevealRequested(const TFindHit& hit);
    // Delete (permanent: Shift+Delete) was pressed on the results.
    void DeleteRequested(bool permanent);
    // Escape or the close button: the tree takes the focus back.
    void Closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TFindQuery Query() const;
    void Close();

    Search search_;
    TSizeFormatter formatter_ = nullptr;
    QLineEdit* name_;
    QSpinBox* minSize_;
    QCheckBox* olderOn_;
    QDateEdit* olderThan_;
    QTreeView* results_;
    TFindResultsModel* model_;
    QLabel* note_;
    QTimer* debounce_;
};

} // namespace quorvex
