#include "ui/DlgSettings.h"

#include "i18n/ErrorDialogs.h"
#include "i18n/LangUtils.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "paint/PainterClassResolver.h"
#include "paint/QxBarChartPainter.h"
#include "support/Utilities.h"
#include "ui/BarStyleList.h"
#include "ui/WindowTranslation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <utility>

namespace quorvex {
namespace {

constexpr int kBorder = 10;
constexpr int kRoundingListWidth = 175;
constexpr int kLanguageListWidth = 145;
constexpr const char* kBoundsKey = "SettingsDlgBounds";

// A floating-point field that shows its value as the shortest decimal text (1, 0.5, 0.95) in the
// user's notation.
class TFloatSpinEdit : public QDoubleSpinBox {
public:
    using QDoubleSpinBox::QDoubleSpinBox;

    // The spin box reports the texts that parse and its arrows' steps; the editor every keystroke.
    QLineEdit* Editor() const { return lineEdit(); }

protected:
    QString textFromValue(double value) const override {
        QLocale notation = locale();
        notation.setNumberOptions(notation.numberOptions() | QLocale::OmitGroupSeparator);
        return notation.toString(value, 'f', QLocale::FloatingPointShortest);
    }
};

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Never narrower than the classic layout, but wide enough to show a longer translation whole.
void FitWidthToItems(QComboBox& box, int minimum) {
    int widest = 0;
    for (int i = 0; i < box.count(); ++i)
        widest = std::max(widest, box.fontMetrics().horizontalAdvance(box.itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(&box);
    const QSize contents(widest, box.fontMetrics().height());
    box.setFixedWidth(std::max(
        minimum, box.style()->sizeFromContents(QStyle::CT_ComboBox, &option, contents, &box).width()));
}

int IndexOfText(const QComboBox& box, const QString& text) {
    return text.isEmpty() ? -1 : box.findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

} // namespace

double GroupFileSizeInMegaBytes(std::int64_t bytes) {
    return static_cast<double>(
               RoundHalfEven(static_cast<long double>(bytes) * 100 / TDlgSettings::kMegaByte)) /
           100;
}

TDlgSettings::TDlgSettings(TSettings& store, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      store_(store), groupBoxAnalysis_(Named(new QGroupBox(N_("Analysis"), this), "GroupBoxAnalysis")),
      checkBoxGroupFiles_(
          Named(new QCheckBox(N_("Group files smaller than:"), groupBoxAnalysis_), "CheckBoxGroupFiles")),
      editGroupFileSize_(Named(new TFloatSpinEdit(groupBoxAnalysis_), "EditGroupFileSize")),
      labelMegaByte_(Named(new QLabel(N_("MB"), groupBoxAnalysis_), "LabelMegaByte")),
      labelExcludePatterns_(
          Named(new QLabel(N_("Exclude these patterns from scans (one a line):"), groupBoxAnalysis_),
                "LabelExcludePatterns")),
      memoExcludePatterns_(Named(new QPlainTextEdit(groupBoxAnalysis_), "MemoExcludePatterns")),
      groupBoxPaintOptions_(Named(new QGroupBox(N_("Display"), this), "GroupBoxPaintOptions")),
      labelBarChartPaintStyle_(
          Named(new QLabel(N_("Percentage bar style:"), groupBoxPaintOptions_), "LabelBarChartPaintStyle")),
      cmbBoxBarChartPaintStyle_(Named(new TBarStyleComboBox(BarChartPainterRegistry(), groupBoxPaintOptions_),
                                      "CmbBoxBarChartPaintStyle")),
      checkBoxDrawChildBar_(Named(
          new QCheckBox(N_("Show an additional percentage bar for sub-directories"), groupBoxPaintOptions_),
          "CheckBoxDrawChildBar")),
      labelFileSizeRounding_(
          Named(new QLabel(N_("Rounding of file sizes:"), groupBoxPaintOptions_), "LabelFileSizeRounding")),
      cmbBoxRoundingStyle_(Named(new QComboBox(groupBoxPaintOptions_), "CmbBoxRoundingStyle")),
      groupBoxUserInterface_(Named(new QGroupBox(N_("User interface"), this), "GroupBoxUserInterface")),
      label1_(Named(new QLabel(N_("Language:"), groupBoxUserInterface_), "Label1")),
      comboBoxLanguage_(Named(new QComboBox(groupBoxUserInterface_), "ComboBoxLanguage")),
      groupBoxHistory_(Named(new QGroupBox(N_("History"), this), "GroupBoxHistory")),
      labelHistoryScans_(
          Named(new QLabel(N_("Scans kept per folder:"), groupBoxHistory_), "LabelHistoryScans")),
      editHistoryScans_(Named(new QSpinBox(groupBoxHistory_), "EditHistoryScans")),
      labelHistoryBudget_(
          Named(new QLabel(N_("History space (MB):"), groupBoxHistory_), "LabelHistoryBudget")),
      editHistoryBudget_(Named(new QSpinBox(groupBoxHistory_), "EditHistoryBudget")),
      btnOK_(Named(new QPushButton(N_("&OK"), this), "BtnOK")),
      btnCancel_(Named(new QPushButton(N_("&Cancel"), this), "BtnCancel")),
      btnApply_(Named(new QPushButton(N_("&Apply"), this), "BtnApply")) {
    setWindowTitle(QString::fromLatin1(N_("Preferences")));

    // Both boxes show the third state until the controls are filled.
    checkBoxGroupFiles_->setCheckState(Qt::PartiallyChecked);
    checkBoxDrawChildBar_->setCheckState(Qt::PartiallyChecked);
    editGroupFileSize_->setFixedWidth(60);
    editGroupFileSize_->setAlignment(Qt::AlignRight);
    editGroupFileSize_->setDecimals(2);
    editGroupFileSize_->setRange(0, 1e9);
    editGroupFileSize_->setSingleStep(1);
    cmbBoxBarChartPaintStyle_->setFixedWidth(200);
    cmbBoxBarChartPaintStyle_->setMaxVisibleItems(10);
    cmbBoxBarChartPaintStyle_->setFont(QFont(QStringLiteral("Tahoma"), 8));
    cmbBoxRoundingStyle_->setFixedWidth(kRoundingListWidth);
    comboBoxLanguage_->setFixedWidth(kLanguageListWidth);
    label1_->setBuddy(comboBoxLanguage_);
    editHistoryScans_->setRange(1, kMostHistoryScans);
    editHistoryBudget_->setRange(1, kMostHistoryBudgetMB);
    for (QSpinBox* field : {editHistoryScans_, editHistoryBudget_})
        field->setAlignment(Qt::AlignRight);
    labelHistoryScans_->setBuddy(editHistoryScans_);
    labelHistoryBudget_->setBuddy(editHistoryBudget_);
    labelExcludePatterns_->setBuddy(memoExcludePatterns_);
    // A pattern is one line: wrapping would make a long one look like two.
    memoExcludePatterns_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoExcludePatterns_->setTabChangesFocus(true);
    memoExcludePatterns_->setFixedHeight(memoExcludePatterns_->fontMetrics().lineSpacing() * 4 +
                                         2 * memoExcludePatterns_->frameWidth() + 8);
    btnOK_->setDefault(true);

    auto* analysis = new QVBoxLayout(groupBoxAnalysis_);
    auto* grouping = new QHBoxLayout;
    grouping->addWidget(checkBoxGroupFiles_);
    grouping->addWidget(editGroupFileSize_);
    grouping->addWidget(labelMegaByte_);
    grouping->addStretch(1);
    analysis->addLayout(grouping);
    analysis->addWidget(labelExcludePatterns_);
    analysis->addWidget(memoExcludePatterns_);
    auto* display = new QGridLayout(groupBoxPaintOptions_);
    display->addWidget(labelBarChartPaintStyle_, 0, 0);
    display->addWidget(cmbBoxBarChartPaintStyle_, 0, 1, Qt::AlignLeft);
    display->addWidget(checkBoxDrawChildBar_, 1, 0, 1, 2);
    display->addWidget(labelFileSizeRounding_, 2, 0);
    display->addWidget(cmbBoxRoundingStyle_, 2, 1, Qt::AlignLeft);
    display->setColumnStretch(1, 1);
    auto* userInterface = new QHBoxLayout(groupBoxUserInterface_);
    userInterface->addWidget(label1_);
    userInterface->addWidget(comboBoxLanguage_);
    userInterface->addStretch(1);
    auto* history = new QGridLayout(groupBoxHistory_);
    history->addWidget(labelHistoryScans_, 0, 0);
    history->addWidget(editHistoryScans_, 0, 1, Qt::AlignLeft);
    history->addWidget(labelHistoryBudget_, 1, 0);
    history->addWidget(editHistoryBudget_, 1, 1, Qt::AlignLeft);
    history->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK_);
    buttons->addWidget(btnCancel_);
    buttons->addWidget(btnApply_);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    outer->addWidget(groupBoxAnalysis_);
    outer->addWidget(groupBoxPaintOptions_);
    outer->addWidget(groupBoxUserInterface_);
    outer->addWidget(groupBoxHistory_);
    outer->addStretch(1);
    outer->addLayout(buttons);
    // A fixed-size dialog that still grows when a list's entries or a new language need more room.
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->addStrut(kClientWidth);

    connect(checkBoxGroupFiles_, &QCheckBox::stateChanged, this, &TDlgSettings::CheckBoxGroupFilesClick);
    connect(static_cast<TFloatSpinEdit*>(editGroupFileSize_)->Editor(), &QLineEdit::textChanged, this,
            &TDlgSettings::EditGroupFileSizeChange);
    connect(editGroupFileSize_, &QDoubleSpinBox::textChanged, this, &TDlgSettings::EditGroupFileSizeChange);
    connect(memoExcludePatterns_, &QPlainTextEdit::textChanged, this,
            &TDlgSettings::MemoExcludePatternsChange);
    connect(checkBoxDrawChildBar_, &QCheckBox::stateChanged, this, &TDlgSettings::CheckBoxDrawChildBarClick);
    connect(cmbBoxBarChartPaintStyle_, &QComboBox::currentIndexChanged, this,
            &TDlgSettings::CmbBoxBarChartPaintStyleChange);
    connect(cmbBoxRoundingStyle_, &QComboBox::currentIndexChanged, this,
            &TDlgSettings::CmbBoxRoundingStyleChange);
    connect(comboBoxLanguage_, &QComboBox::currentIndexChanged, this, &TDlgSettings::ComboBoxLanguageChange);
    connect(editHistoryScans_, &QSpinBox::valueChanged, this, [this](int value) {
        if (!filling_ && workingSettings_ != nullptr)
            workingSettings_->SetHistoryScansPerRoot(value);
    });
    connect(editHistoryBudget_, &QSpinBox::valueChanged, this, [this](int value) {
        if (!filling_ && workingSettings_ != nullptr)
            workingSettings_->SetHistoryBudgetMB(value);
    });
    connect(btnOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnApply_, &QPushButton::clicked, this, &TDlgSettings::BtnApplyClick);

    TranslateWindow(*this);
    FitButtons();
    layout()->activate();
    RestorePosition();
}

TDlgSettings::~TDlgSettings() {
    StorePosition();
}

bool TDlgSettings::Execute(TSettings& settings) {
    workingSettings_ = TSettings::CreateCopy(settings);
    FillControls();
    const bool ok = exec() == QDialog::Accepted;
    if (ok)
        settings.Assign(*workingSettings_);
    if (OnApplySettings)
        OnApplySettings(settings);
    return ok;
}

void TDlgSettings::FillControls() {
    filling_ = true;
    checkBoxGroupFiles_->setTristate(false);
    checkBoxGroupFiles_->setChecked(workingSettings_->GroupSmallFiles());
    editGroupFileSize_->setValue(GroupFileSizeInMegaBytes(workingSettings_->GroupFileSize()));
    QStringList patterns;
    for (const std::string& pattern : workingSettings_->ExcludePatterns())
        patterns << QString::fromStdString(pattern);
    memoExcludePatterns_->setPlainText(patterns.join(QLatin1Char('\n')));
    checkBoxDrawChildBar_->setTristate(false);
    checkBoxDrawChildBar_->setChecked(workingSettings_->PaintOptions().Contains(poDrawChildPercentBars));
    FillBarStyles();
    FillRoundingStyles();
    FillLanguages();
    // A larger number in the file than the field takes is shown at the field's limit but kept
    // unless edited.
    editHistoryScans_->setValue(workingSettings_->HistoryScansPerRoot());
    editHistoryBudget_->setValue(
        static_cast<int>(std::min<std::int64_t>(workingSettings_->HistoryBudgetMB(), kMostHistoryBudgetMB)));
    filling_ = false;
    UpdateGroupFileSizeEnabled();
}

void TDlgSettings::FillBarStyles() {
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    QStringList names;
    registry.GetPainterNames(names, true);
    cmbBoxBarChartPaintStyle_->clear();
    cmbBoxBarChartPaintStyle_->addItems(names);
    // The class the window paints with: a user who never chose a style has the unregistered
    // fallback class, which carries the name of the style it looks like, so that entry is selected.
    const TQxBarChartPainterClass& current = PainterClassByName(workingSettings_->BarChartPainterClass());
    cmbBoxBarChartPaintStyle_->setCurrentIndex(
        IndexOfText(*cmbBoxBarChartPaintStyle_, current.GetPainterName()));
}

void TDlgSettings::FillRoundingStyles() {
    cmbBoxRoundingStyle_->clear();
    for (const std::string& name : GetFileSizeRoundingNames())
        cmbBoxRoundingStyle_->addItem(Q(name));
    cmbBoxRoundingStyle_->setCurrentIndex(
        IndexOfText(*cmbBoxRoundingStyle_, Q(FileSizeRoundingName(workingSettings_->FileSizeRounding()))));
    FitWidthToItems(*cmbBoxRoundingStyle_, kRoundingListWidth);
}

void TDlgSettings::FillLanguages() {
    comboBoxLanguage_->clear();
    for (const std::string& name : GetLanguageDisplayList())
        comboBoxLanguage_->addItem(Q(name));
    const std::string& language = workingSettings_->Language();
    int index = IndexOfText(*comboBoxLanguage_, Q(LanguageDisplayName(language)));
    if (index < 0)
        index = IndexOfText(*comboBoxLanguage_, Q(BaseLanguageDisplayName(language)));
    // A language without a catalogue ("C" under LANG=C.UTF-8, say) is shown in the built-in English,
    // so that is the entry the list shows chosen.
    if (index < 0)
        index = IndexOfText(*comboBoxLanguage_, Q(LanguageDisplayName("en")));
    comboBoxLanguage_->setCurrentIndex(index);
    FitWidthToItems(*comboBoxLanguage_, kLanguageListWidth);
}

void TDlgSettings::UpdateGroupFileSizeEnabled() {
    const bool on = checkBoxGroupFiles_->isChecked();
    editGroupFileSize_->setEnabled(on);
    labelMegaByte_->setEnabled(on);
    // A disabled field looks like the dialog around it, with grey digits.
    const QPalette standard = QGuiApplication::palette();
    QPalette field = editGroupFileSize_->palette();
    field.setColor(QPalette::Base, standard.color(on ? QPalette::Base : QPalette::Button));
    field.setColor(QPalette::Text,
                   standard.color(on ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    editGroupFileSize_->setPalette(field);
}

void TDlgSettings::CheckBoxGroupFilesClick() {
    UpdateGroupFileSizeEnabled();
    if (!filling_ && workingSettings_ != nullptr)
        workingSettings_->SetGroupSmallFiles(checkBoxGroupFiles_->isChecked());
}

void TDlgSettings::EditGroupFileSizeChange() {
    if (filling_ || workingSettings_ == nullptr)
        return;
    bool converted = false;
    const double megaBytes = editGroupFileSize_->locale().toDouble(editGroupFileSize_->text(), &converted);
    workingSettings_->SetGroupFileSize(
        converted ? RoundHalfEven(static_cast<long double>(megaBytes) * kMegaByte) : 0);
}

void TDlgSettings::MemoExcludePatternsChange() {
    if (filling_ || workingSettings_ == nullptr)
        return;
    std::vector<std::string> patterns;
    for (const QString& line : memoExcludePatterns_->toPlainText().split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            patterns.push_back(line.toStdString());
    }
    workingSettings_->SetExcludePatterns(std::move(patterns));
}

void TDlgSettings::CheckBoxDrawChildBarClick() {
    if (!filling_ && workingSettings_ != nullptr)
        workingSettings_->SetPaintOption(poDrawChildPercentBars, checkBoxDrawChildBar_->isChecked());
}

void TDlgSettings::CmbBoxBarChartPaintStyleChange() {
    if (filling_ || workingSettings_ == nullptr)
        return;
    if (const TQxBarChartPainterClass* found =
            BarChartPainterRegistry().FindByPainterName(cmbBoxBarChartPaintStyle_->currentText()))
        workingSettings_->SetBarChartPainterClass(found->ClassName.toStdString());
}

void TDlgSettings::CmbBoxRoundingStyleChange() {
    if (!filling_ && workingSettings_ != nullptr)
        workingSettings_->SetFileSizeRounding(
            FileSizeRoundingFromName(cmbBoxRoundingStyle_->currentText().toStdString()));
}

void TDlgSettings::ComboBoxLanguageChange() {
    // The language is switched by Apply or by the caller, not here.
    if (!filling_ && workingSettings_ != nullptr)
        workingSettings_->SetLanguage(
            LanguageCodeFromDisplayName(comboBoxLanguage_->currentText().toStdString()));
}

// One width for the three buttons, with room on both sides of the longest caption: the style pads a
// caption by a few pixels only, which a long translation ("Übernehmen") fills edge to edge.
void TDlgSettings::FitButtons() {
    int width = 0;
    for (const QPushButton* button : {btnOK_, btnCancel_, btnApply_}) {
        const QFontMetrics metrics = button->fontMetrics();
        const int caption = metrics.horizontalAdvance(QString(button->text()).remove(QLatin1Char('&')));
        width = std::max({width, button->sizeHint().width(), caption + 4 * metrics.averageCharWidth()});
    }
    for (QPushButton* button : {btnOK_, btnCancel_, btnApply_})
        button->setMinimumWidth(width);
}

void TDlgSettings::BtnApplyClick() {
    if (workingSettings_ == nullptr)
        return;
    SetLanguage(workingSettings_->Language());
    const std::unique_ptr<TSettings> kept = TSettings::CreateCopy(*workingSettings_);
    RetranslateWindow(*this);
    FitButtons();
    // Whatever the retranslated controls told their handlers is undone.
    workingSettings_->Assign(*kept);
    FillControls();
    if (OnApplySettings)
        OnApplySettings(*workingSettings_);
}

void TDlgSettings::RestorePosition() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen != nullptr ? screen->size() : size();
    const TRect centred = CenteredRect(screenSize.width(), screenSize.height(), width(), height());
    TRect bounds = centred;
    try {
        bounds = StringToRect(store_.ReadScreenString(kBoundsKey, "")).value_or(centred);
    } catch (const std::exception& error) {
        ShowExceptionDialog(error);
    }
    // Only the place is taken from the file; the size is the dialog's own.
    setGeometry(bounds.Left, bounds.Top, width(), height());
}

void TDlgSettings::StorePosition() {
    try {
        const QRect bounds = geometry();
        store_.WriteScreenString(kBoundsKey,
                                 RectToString({bounds.left(), bounds.top(), bounds.left() + bounds.width(),
                                               bounds.top() + bounds.height()}));
    } catch (const std::exception& error) {
        ShowExceptionDialog(error);
    }
}

} // namespace quorvex
