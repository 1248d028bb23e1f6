#pragma once

#include "settings/QxSettings.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace quorvex {

class TBarStyleComboBox;

// The preferences dialog. It edits a private copy of the caller's settings: OK copies the result
// back, Cancel drops it, Apply shows it at once (language included) without closing. Whatever the
// way out, OnApplySettings is called once more with the caller's settings, so that after Cancel the
// caller undoes what an earlier Apply showed.
class TDlgSettings : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 392;
    static constexpr int kClientHeight = 284;
    static constexpr std::int64_t kMegaByte = 1048576;
    static constexpr int kMostHistoryScans = 1000;
    static constexpr int kMostHistoryBudgetMB = 1048576; // a terabyte of history is no limit any more

    // `store` keeps the dialog's position per screen resolution (SettingsDlgBounds).
    explicit TDlgSettings(TSettings& store, QWidget* owner = nullptr);
    ~TDlgSettings() override;

    // Runs modally on a copy of `settings`; true when closed with OK, which copies the result back.
    bool Execute(TSettings& settings);

    std::function<void(const TSettings& settings)> OnApplySettings;

    // The copy the controls edit; null outside Execute.
    const TSettings* WorkingSettings() const { return workingSettings_.get(); }

private:
    void FillControls();
    void FillBarStyles();
    void FillRoundingStyles();
    void FillLanguages();
    void FitButtons();
    void UpdateGroupFileSizeEnabled();
    void CheckBoxGroupFilesClick();
    void EditGroupFileSizeChange();
    void MemoExcludePatternsChange();
    void CheckBoxDrawChildBarClick();
    void CmbBoxBarChartPaintStyleChange();
    void CmbBoxRoundingStyleChange();
    void ComboBoxLanguageChange();
    void BtnApplyClick();
    void RestorePosition();
    void StorePosition();

    TSettings& store_;
    std::unique_ptr<TSettings> workingSettings_;
    // While the controls are filled from the working copy their change handlers must not write back:
    // a threshold shown rounded to two decimals would otherwise change the stored bytes.
    bool filling_ = false;

    QGroupBox* groupBoxAnalysis_;
    QCheckBox* checkBoxGroupFiles_;
    QDoubleSpinBox* editGroupFileSize_;
    QLabel* labelMegaByte_;
    QLabel* labelExcludePatterns_;
    QPlainTextEdit* memoExcludePatterns_;
    QGroupBox* groupBoxPaintOptions_;
    QLabel* labelBarChartPaintStyle_;
    TBarStyleComboBox* cmbBoxBarChartPaintStyle_;
    QCheckBox* checkBoxDrawChildBar_;
    QLabel* labelFileSizeRounding_;
    QComboBox* cmbBoxRoundingStyle_;
    QGroupBox* groupBoxUserInterface_;
    QLabel* label1_;
    QComboBox* comboBoxLanguage_;
    QGroupBox* groupBoxHistory_;
    QLabel* labelHistoryScans_;
    QSpinBox* editHistoryScans_;
    QLabel* labelHistoryBudget_;
    QSpinBox* editHistoryBudget_;
    QPushButton* btnOK_;
    QPushButton* btnCancel_;
    QPushButton* btnApply_;
};

// The threshold field's value for a size in bytes: megabytes rounded to two decimals, halves to even.
double GroupFileSizeInMegaBytes(std::int64_t bytes);

} // namespace quorvex
