// The settings dialog as a user works it, and the translation of windows it switches.

#include "FormMainFixture.h"

#include "common/GermanCatalogue.h"

#include "i18n/Translation.h"
#include "paint/QxBarChartPainter.h"
#include "support/Utilities.h"
#include "ui/BarStyleList.h"
#include "ui/DlgSettings.h"
#include "ui/WindowTranslation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <gmock/gmock.h>

namespace quorvex {
namespace {

using testing::Click;
using testing::Control;
using ::testing::ElementsAre;
using testing::EnglishLeft;
using testing::German;
using testing::GermanLeft;
using ::testing::IsEmpty;
using testing::TempTree;
using Driver = testing::WhileShown<TDlgSettings>;

void Toggle(const QWidget& dialog, const char* checkBox) {
    QTest::keyClick(Control<QCheckBox>(dialog, checkBox), Qt::Key_Space);
}

QDoubleSpinBox* SizeField(const QWidget& dialog) {
    return Control<QDoubleSpinBox>(dialog, "EditGroupFileSize");
}

void Type(const QWidget& dialog, const QString& text) {
    QTest::keyClick(SizeField(dialog), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(SizeField(dialog), text);
    if (text.isEmpty())
        QTest::keyClick(SizeField(dialog), Qt::Key_Backspace);
}

// The dialog on the fixture's settings file and the build's catalogues; the number notation and the
// screen section are put back.
class DlgSettingsTest : public testing::FormMainTest {
protected:
    DlgSettingsTest() : previousLocale_(QLocale()) {
        QLocale::setDefault(QLocale::c());
        previousScreen_ = SetScreenSectionNameSource([this] { return screen_; });
        settings_.SetLanguage("en");
    }
    ~DlgSettingsTest() override {
        SetScreenSectionNameSource(previousScreen_);
        QLocale::setDefault(previousLocale_);
    }

    // Runs the dialog on the fixture's settings, recording every settings object the event gets.
    bool Run(const std::function<void(TDlgSettings&)>& act) {
        settings_.SetGroupingChanged(false); // as the main window does before it opens the dialog
        applied_.clear();
        appliedCopies_.clear();
        TDlgSettings dialog(settings_);
        dialog.OnApplySettings = [this](const TSettings& s) {
            applied_.push_back(&s);
            appliedCopies_.push_back(TSettings::CreateCopy(s));
        };
        Driver driver(act);
        const bool ok = dialog.Execute(settings_);
        EXPECT_TRUE(driver.ran);
        return ok;
    }

    testing::BuildCatalogues catalogues_;
    QLocale previousLocale_;
    std::string screen_ = "1024x768";
    ScreenSectionNameSource previousScreen_;
    std::vector<const TSettings*> applied_;
    std::vector<std::unique_ptr<TSettings>> appliedCopies_;
};

TEST_F(DlgSettingsTest, OnlyTheGroupingControlsMarkTheGroupingAsChanged) {
    const std::string painter = settings_.BarChartPainterClass();
    EXPECT_FALSE(Run([&](TDlgSettings& d) {
        QTest::keyClick(Control<QComboBox>(d, "CmbBoxBarChartPaintStyle"), Qt::Key_Down);
        Toggle(d, "CheckBoxDrawChildBar");
        QTest::keyClick(Control<QComboBox>(d, "CmbBoxRoundingStyle"), Qt::Key_Up);
        QTest::keyClicks(Control<QComboBox>(d, "ComboBoxLanguage"), "German");
        Click(d, "BtnApply");
        Toggle(d, "CheckBoxGroupFiles");
        Click(d, "BtnApply");
        Click(d, "BtnCancel");
    }));
    ASSERT_EQ(applied_.size(), 3u);
    const TSettings& first = *appliedCopies_[0];
    EXPECT_NE(first.BarChartPainterClass(), painter);
    EXPECT_FALSE(first.PaintOptions().Contains(poDrawChildPercentBars));
    EXPECT_EQ(first.FileSizeRounding(), 1);
    EXPECT_EQ(first.Language(), "de");
    EXPECT_FALSE(first.GroupingChanged()) << "style, child bar, rounding and language only";
    EXPECT_NE(applied_[0], &settings_) << "Apply hands over the working copy";
    EXPECT_TRUE(appliedCopies_[1]->GroupingChanged());
    EXPECT_FALSE(appliedCopies_[1]->GroupSmallFiles());
    // Cancel hands back the caller's own settings, untouched.
    EXPECT_EQ(applied_[2], &settings_);
    EXPECT_EQ(settings_.BarChartPainterClass(), painter);
    EXPECT_EQ(settings_.Language(), "en");
    EXPECT_TRUE(settings_.GroupSmallFiles());
    EXPECT_FALSE(settings_.GroupingChanged());

    EXPECT_TRUE(Run([](TDlgSettings& d) {
        Type(d, "3");
        Click(d, "BtnOK");
    }));
    EXPECT_EQ(settings_.GroupFileSize(), 3 * TDlgSettings::kMegaByte);
    EXPECT_TRUE(settings_.GroupingChanged());
    EXPECT_THAT(applied_, ElementsAre(&settings_));
}

TEST_F(DlgSettingsTest, TheThresholdIsShownInMegaBytesAndTypedBackAsBytes) {
    settings_.SetGroupFileSize(1572864);
    std::vector<QString> shown;
    std::vector<std::int64_t> typed;
    EXPECT_TRUE(Run([&](TDlgSettings& d) {
        shown.push_back(SizeField(d)->text());
        Type(d, "2");
        typed.push_back(d.WorkingSettings()->GroupFileSize());
        QTest::keyClick(SizeField(d), Qt::Key_Up); // one step is one megabyte
        shown.push_back(SizeField(d)->text());
        typed.push_back(d.WorkingSettings()->GroupFileSize());
        Type(d, ""); // no number counts as 0, and a minus is refused
        QTest::keyClicks(SizeField(d), "-1");
        typed.push_back(d.WorkingSettings()->GroupFileSize());
        Type(d, "0.5");
        Click(d, "BtnOK");
    }));
    EXPECT_THAT(shown, ElementsAre("1.5", "3"));
    EXPECT_THAT(typed, ElementsAre(2097152, 3145728, 0));
    EXPECT_EQ(settings_.GroupFileSize(), 524288);

    // Two decimals, halves to even; a value that does not show exactly is kept unless it is edited.
    for (const auto& [bytes, text] : std::vector<std::pair<std::int64_t, QString>>{
             {1048576, "1"}, {131072, "0.12"}, {393216, "0.38"}, {1000000, "0.95"}}) {
        SCOPED_TRACE(bytes);
        settings_.SetGroupFileSize(bytes);
        EXPECT_TRUE(Run([&](TDlgSettings& d) {
            EXPECT_EQ(SizeField(d)->text(), text);
            Click(d, "BtnOK");
        }));
        EXPECT_THAT(applied_, ElementsAre(&settings_));
        EXPECT_EQ(settings_.GroupFileSize(), bytes);
        EXPECT_FALSE(settings_.GroupingChanged());
    }

    // The user's own decimal separator, both ways.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    settings_.SetGroupFileSize(1572864);
    EXPECT_TRUE(Run([&](TDlgSettings& d) {
        EXPECT_EQ(SizeField(d)->text(), "1,5");
        Type(d, "2,5");
        Click(d, "BtnOK");
    }));
    EXPECT_EQ(settings_.GroupFileSize(), 2621440);
}

TEST_F(DlgSettingsTest, UncheckingGroupingGreysTheSizeFieldAndItsLabelAtOnce) {
    const QPalette standard = QGuiApplication::palette();
    const auto expectEnabled = [](const TDlgSettings& d, bool enabled) {
        EXPECT_EQ(SizeField(d)->isEnabled(), enabled);
        EXPECT_EQ(Control<QLabel>(d, "LabelMegaByte")->isEnabled(), enabled);
        const QPalette shown = SizeField(d)->palette();
        EXPECT_EQ(shown.color(QPalette::Base),
                  QGuiApplication::palette().color(enabled ? QPalette::Base : QPalette::Button));
    };
    EXPECT_TRUE(Run([&](TDlgSettings& d) {
        expectEnabled(d, true);
        Toggle(d, "CheckBoxGroupFiles");
        expectEnabled(d, false);
        EXPECT_EQ(SizeField(d)->palette().color(QPalette::Text),
                  standard.color(QPalette::Disabled, QPalette::Text));
        Toggle(d, "CheckBoxGroupFiles");
        expectEnabled(d, true);
        Click(d, "BtnOK");
    }));
    settings_.SetGroupSmallFiles(false);
    EXPECT_TRUE(Run([&](TDlgSettings& d) {
        expectEnabled(d, false); // filled unchecked
        Click(d, "BtnOK");
    }));
}

// The stored language and bar style select their entries; the fallback painter of a user who never chose
// is no entry of the list but looks like one: that entry is shown, and opening the dialog changes nothing.
TEST_F(DlgSettingsTest, TheStoredLanguageAndBarStyleSelectTheirEntries) {
    // A folder of its own, so that the list is German and English whatever else the build compiles.
    TempTree catalogues;
    catalogues.Dir("de");
    catalogues.Dir("de/LC_MESSAGES");
    catalogues.File("de/LC_MESSAGES/default.mo", 28);
    SetCatalogueFolder(catalogues.Path());
    const std::tuple<std::string, std::string, QString, QString> cases[] = {
        {"de_DE", "TSkinCrystal", "German [de]", "Crystal"},
        {"de", kDefaultBarChartPainterClass, "German [de]", "Cairo Helix"},
        {"en_US", "TSkinCrystal", "English [en]", "Crystal"},
        // Without a catalogue the window speaks English, and the list says so.
        {"fr", "TSkinCrystal", "English [en]", "Crystal"},
        {"C", "TSkinCrystal", "English [en]", "Crystal"},
        {"", "TSkinCrystal", "English [en]", "Crystal"}};
    for (const auto& [language, painter, languageShown, painterShown] : cases) {
        SCOPED_TRACE(language);
        settings_.SetLanguage(language);
        settings_.SetBarChartPainterClass(painter);
        Run([&](TDlgSettings& d) {
            const auto* box = Control<QComboBox>(d, "ComboBoxLanguage");
            QStringList items;
            for (int i = 0; i < box->count(); ++i)
                items << box->itemText(i);
            EXPECT_EQ(items, QStringList({"German [de]", "English [en]"}));
            EXPECT_EQ(box->currentIndex() < 0 ? QString() : box->currentText(), languageShown);
            EXPECT_EQ(Control<TBarStyleComboBox>(d, "CmbBoxBarChartPaintStyle")->currentText(), painterShown);
            Click(d, "BtnOK");
        });
        EXPECT_EQ(settings_.BarChartPainterClass(), painter);
    }
}

TEST_F(DlgSettingsTest, TheDialogKeepsItsPlacePerScreenResolution) {
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const auto centred = [&](const TDlgSettings& dialog) {
        const TRect r = CenteredRect(screen.width(), screen.height(), dialog.width(), dialog.height());
        return QPoint(r.Left, r.Top);
    };
    QRect first;
    {
        TDlgSettings dialog(settings_);
        EXPECT_EQ(dialog.geometry().topLeft(), centred(dialog));
        dialog.setGeometry(33, 44, dialog.width(), dialog.height());
        first = dialog.geometry();
    }
    EXPECT_EQ(settings_.ReadScreenString("SettingsDlgBounds", ""),
              RectToString({33, 44, 33 + first.width(), 44 + first.height()}));
    EXPECT_EQ(TDlgSettings(settings_).geometry(), first);
    screen_ = "800x600";
    {
        TDlgSettings dialog(settings_);
        EXPECT_EQ(dialog.geometry().topLeft(), centred(dialog)) << "another resolution";
    }
    EXPECT_THAT(errors_, IsEmpty());

    // A settings file that cannot be written: the error box says so, the dialog closes all the same.
    TSettings unwritable(config_ / "missing/Quorvex.ini");
    { TDlgSettings dialog(unwritable); }
    EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(DlgSettingsTest, AGroupingChangeFromTheToolbarOffersARescanThatUsesIt) {
    TempTree data;
    data.Dir("dir");
    for (const char* name : {"dir/a", "dir/b", "dir/c"})
        data.File(name, 10);
    TFormMain form(settings_);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(Scan(form, data.Path()));
    const auto group = [&] { return testing::FileGroupIn(Dir(form, data / "dir")); };
    ASSERT_NE(group(), nullptr) << "small files grouped";

    Driver driver([](TDlgSettings& d) {
        Toggle(d, "CheckBoxGroupFiles");
        Click(d, "BtnOK");
    });
    auto* toolbar = form.findChild<QToolBar*>("MainToolbar");
    QTest::mouseClick(toolbar->widgetForAction(form.findChild<QAction*>("ActConfig")), Qt::LeftButton);
    ASSERT_TRUE(driver.ran);
    EXPECT_EQ(form.InfoPanel()->Message(),
              "Some of your changed settings will not be employed until the next analysis.");
    EXPECT_EQ(form.InfoPanel()->PendingPaths(), std::vector<std::string>{data.Path()});
    EXPECT_NE(group(), nullptr) << "nothing rescanned yet";
    ASSERT_TRUE(Await(form, [&] { ClickRefreshNow(form); }));
    EXPECT_EQ(group(), nullptr) << "the rescan no longer groups";
}

// One of every kind of text the translation knows, each object named after an English text so that a
// translated object name would show.
struct SampleWindow : QMainWindow {
    SampleWindow() {
        setWindowTitle("Information");
        menu = menuBar()->addMenu("&File");
        menu->setObjectName("&File");
        open = menu->addAction("&Open");
        open->setObjectName("&Open");
        open->setStatusTip("Favourites");
        open->setToolTip("Open"); // what Qt would make of the text, but set: it must follow all the same
        auto* exitAction = menu->addAction("E&xit");
        exitAction->setToolTip("Choose the drive or directory to analyse");
        actionButton = new QToolButton;
        actionButton->setDefaultAction(exitAction);
        addToolBar("Main")->addWidget(actionButton);
        auto* central = new QWidget(this);
        auto* group = new QGroupBox("Analysis");
        label = new QLabel("Language:", group);
        label->setToolTip("Favourites");
        button = new QPushButton("&Apply", group);
        combo = new QComboBox(group);
        combo->addItems({"Display", "Analysis"});
        auto* tabs = new QTabWidget;
        tabs->addTab(new QWidget, "User interface");
        auto* tree = new QTreeView;
        auto* model = new QStandardItemModel(0, 2, tree);
        model->setHorizontalHeaderLabels({"Display", "MB"});
        tree->setModel(model);
        auto* layout = new QVBoxLayout(central);
        for (QWidget* w : std::initializer_list<QWidget*>{
                 group, label, button, new QCheckBox("Group files smaller than:"), combo, tabs, tree})
            layout->addWidget(w);
        setCentralWidget(central);
    }
    QMenu* menu;
    QAction* open;
    QToolButton* actionButton;
    QLabel* label;
    QPushButton* button;
    QComboBox* combo;
};

TEST(WindowTranslation, EveryKindOfTextComesFromItsEnglishSourceAndCodeSetTextsAreLeftAlone) {
    const testing::BuildCatalogues catalogues;
    SetLanguage("de");
    SampleWindow window;
    auto* own = new QLabel("Preferences", window.centralWidget());
    own->setProperty(kOwnTextsProperty, true);
    TranslateWindow(window);
    EXPECT_EQ(own->text(), "Preferences") << "it translates itself";
    delete own; // English on purpose: out of the way of the checks below
    EXPECT_THAT(EnglishLeft(window), IsEmpty());
    EXPECT_EQ(window.menu->objectName(), "&File") << "object names are never translated";
    EXPECT_EQ(window.open->objectName(), "&Open");
    EXPECT_EQ(window.open->toolTip(), "Öffnen") << "a tool tip made from the text follows it";
    EXPECT_EQ(window.actionButton->text(), "Beenden") << "the button shows its action";
    // From the English source, never from the German shown, even translated twice over.
    TranslateWindow(window);
    SetLanguage("en");
    RetranslateWindow(window);
    EXPECT_THAT(GermanLeft(window), IsEmpty());
    EXPECT_EQ(window.open->toolTip(), "Open");
    SetLanguage("de");
    RetranslateWindow(window);
    EXPECT_THAT(EnglishLeft(window), IsEmpty());

    window.label->setText("42 files");
    window.button->setText("&Apply"); // an English source text, but set by the code now
    window.combo->setItemText(0, "Display");
    auto* later = new QLabel("Analysis", window.centralWidget());
    auto* laterAction = window.menu->addAction("&Help");
    for (const char* language : {"en", "de"}) {
        SetLanguage(language);
        RetranslateWindow(window);
        EXPECT_EQ(window.label->text(), "42 files");
    }
    EXPECT_EQ(window.button->text(), "&Apply") << "its memory went with the first replacement";
    EXPECT_EQ(window.combo->itemText(0), "Display");
    EXPECT_EQ(window.combo->itemText(1), German("Analysis"));
    EXPECT_EQ(later->text(), "Analysis");
    EXPECT_EQ(laterAction->text(), "&Help");
    EXPECT_EQ(window.label->toolTip(), German("Favourites")) << "another text of the same widget";
}

} // namespace
} // namespace quorvex
