#include "ui/FindBar.h"

#include "diag/QxLogger.h"
#include "i18n/TranslatedText.h"
#include "i18n/TranslationMarkers.h"
#include "support/PathText.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace quorvex {
namespace {

// Long enough to take a burst of typing as one search, short enough to feel immediate.
constexpr int kDebounceMs = 10;
constexpr std::int64_t kMegabyte = std::int64_t{1024} * 1024;

QLocale DisplayLocale() {
    return QLocale();
}

} // namespace

void TFindResultsModel::SetResult(TFindResult result, TSizeFormatter formatter) {
    beginResetModel();
    result_ = std::move(result);
    formatter_ = formatter;
    endResetModel();
}

const TFindHit* TFindResultsModel::HitAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= result_.Hits.size())
        return nullptr;
    return &result_.Hits[static_cast<std::size_t>(row)];
}

int TFindResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(result_.Hits.size());
}

int TFindResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TFindResultsModel::data(const QModelIndex& index, int role) const {
    const TFindHit* hit = index.isValid() ? HitAt(index.row()) : nullptr;
    if (hit == nullptr)
        return {};
    if (role == Qt::TextAlignmentRole && index.column() == colSize)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case colPath:
        return DecodePath(hit->FullPath());
    case colSize:
        return formatter_ == nullptr
                   ? QString::number(hit->Size)
                   : QString::fromStdString(formatter_(hit->Size, LocaleDecimalSeparator()));
    case colModified:
        if (hit->ModifyTime <= 0)
            return QString();
        return DisplayLocale().toString(QDateTime::fromSecsSinceEpoch(hit->ModifyTime), QLocale::ShortFormat);
    default:
        return {};
    }
}

QVariant TFindResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return {};
    static const char* const kHeadings[kColumnCount] = {N_("Path"), N_("Size"), N_("Modified")};
    return Tr(kHeadings[section]);
}

TFindBar::TFindBar(Search search, QWidget* parent)
    : QWidget(parent), search_(std::move(search)), name_(new QLineEdit(this)), minSize_(new QSpinBox(this)),
      olderOn_(new QCheckBox(this)), olderThan_(new QDateEdit(this)), results_(new QTreeView(this)),
      model_(new TFindResultsModel(this)), note_(new QLabel(this)), debounce_(new QTimer(this)) {
    setObjectName(QStringLiteral("FindBar"));
    name_->setObjectName(QStringLiteral("FindName"));
    name_->setPlaceholderText(QString::fromUtf8(N_("Part of a name, or a pattern such as *.iso")));
    name_->setClearButtonEnabled(true);
    minSize_->setObjectName(QStringLiteral("FindMinSize"));
    minSize_->setRange(0, 1024 * 1024 * 1024);
    minSize_->setSuffix(QStringLiteral(" MiB"));
    olderOn_->setObjectName(QStringLiteral("FindOlderOn"));
    olderOn_->setText(QString::fromUtf8(N_("Not modified since")));
    olderThan_->setObjectName(QStringLiteral("FindOlderThan"));
    olderThan_->setCalendarPopup(true);
    olderThan_->setDate(QDate::currentDate().addYears(-1));
    olderThan_->setEnabled(false);
    auto* sizeLabel = new QLabel(QString::fromUtf8(N_("At least")), this);
    auto* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("FindClose"));
    close->setAutoRaise(true);
    close->setText(QStringLiteral("\u2715"));
    close->setToolTip(QString::fromUtf8(N_("Close")));

    results_->setObjectName(QStringLiteral("FindResults"));
    results_->setModel(model_);
    results_->setRootIsDecorated(false);
    results_->setUniformRowHeights(true);
    results_->setTextElideMode(Qt::ElideMiddle);
    results_->setSelectionMode(QAbstractItemView::SingleSelection);
    results_->header()->setStretchLastSection(false);
    results_->header()->setSectionResizeMode(TFindResultsModel::colPath, QHeaderView::Stretch);
    // Wide enough for a whole date and a size, measured once rather than over every row.
    const QString longestDate =
        DisplayLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59, 59)), QLocale::ShortFormat);
    const int padding = 3 * fontMetrics().averageCharWidth();
    results_->header()->resizeSection(TFindResultsModel::colModified,
                                      fontMetrics().horizontalAdvance(longestDate) + padding);
    results_->header()->resizeSection(
        TFindResultsModel::colSize, fontMetrics().horizontalAdvance(QStringLiteral("1,023.99 MB")) + padding);
    results_->installEventFilter(this);
    note_->setObjectName(QStringLiteral("FindNote"));

    auto* fields = new QHBoxLayout;
    // Room for a glob and a word or two even in a narrow window; the other fields give way first.
    name_->setMinimumWidth(name_->fontMetrics().averageCharWidth() * 24);
    fields->addWidget(name_, 3);
    fields->addWidget(sizeLabel);
    fields->addWidget(minSize_);
    fields->addWidget(olderOn_);
    fields->addWidget(olderThan_);
    fields->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(fields);
    layout->addWidget(results_, 1);
    layout->addWidget(note_);

    debounce_->setObjectName(QStringLiteral("FindDebounce"));
    debounce_->setSingleShot(true);
    debounce_->setInterval(kDebounceMs);
    connect(debounce_, &QTimer::timeout, this, &TFindBar::Refresh);
    connect(name_, &QLineEdit::textChanged, debounce_, qOverload<>(&QTimer::start));
    connect(minSize_, &QSpinBox::valueChanged, debounce_, qOverload<>(&QTimer::start));
    connect(olderThan_, &QDateEdit::dateChanged, debounce_, qOverload<>(&QTimer::start));
    connect(olderOn_, &QCheckBox::toggled, this, [this](bool on) {
        olderThan_->setEnabled(on);
        debounce_->start();
    });
    connect(results_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (const TFindHit* hit = model_->HitAt(current.row()))
                    emit RevealRequested(*hit);
            });
    connect(close, &QToolButton::clicked, this, &TFindBar::Close);
    // Enter in the name field goes to the list, where the arrow keys reveal one hit after another.
    connect(name_, &QLineEdit::returnPressed, this, [this] {
        results_->setFocus();
        if (!results_->currentIndex().isValid() && model_->rowCount() > 0)
            results_->setCurrentIndex(model_->index(0, 0));
    });
}

void TFindBar::Open() {
    show();
    name_->setFocus();
    name_->selectAll();
    Refresh();
}

void TFindBar::Close() {
    debounce_->stop();
    hide();
    emit Closed();
}

TFindQuery TFindBar::Query() const {
    TFindQuery query;
    query.Name = name_->text().toStdString();
    query.MinSize = static_cast<std::int64_t>(minSize_->value()) * kMegabyte;
    if (olderOn_->isChecked())
        query.ModifiedBefore = olderThan_->date().startOfDay().toSecsSinceEpoch();
    return query;
}

void TFindBar::Refresh() {
    debounce_->stop();
    if (isHidden())
        return;
    const TFindQuery query = Query();
    QElapsedTimer clock;
    clock.start();
    TFindResult result = query.IsEmpty() ? TFindResult{} : search_(query);
    const std::size_t total = result.Total;
    const std::size_t shown = result.Hits.size();
    // The row the user was on stays current when it is still found.
    const TFindHit* current = CurrentHit();
    const std::string currentPath = current == nullptr ? std::string() : current->FullPath();
    model_->SetResult(std::move(result), formatter_);
    note_->setText(total > shown ? Tr("%1 more, smaller ones").arg(total - shown) : QString());
    for (int row = 0; !currentPath.empty() && row < model_->rowCount(); ++row) {
        if (model_->HitAt(row)->FullPath() == currentPath) {
            const QSignalBlocker quiet(results_->selectionModel());
            results_->setCurrentIndex(model_->index(row, 0));
            break;
        }
    }
    ProgramLogger().debug("find: " + std::to_string(total) + " matches in " +
                          std::to_string(clock.elapsed()) + " ms");
}

const TFindHit* TFindBar::CurrentHit() const {
    return model_->HitAt(results_->currentIndex().row());
}

// The fields and the list leave Escape to their parent.
void TFindBar::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Close();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Delete on a hit acts on it, not on whatever the tree has selected: the key is taken before the
// window's Delete action sees it.
bool TFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == results_ &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (key->key() == Qt::Key_Delete && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
            event->accept();
            if (event->type() == QEvent::KeyPress && CurrentHit() != nullptr)
                emit DeleteRequested(modifiers == Qt::ShiftModifier);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quorvex
