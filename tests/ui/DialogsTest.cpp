// The settings dialog as a user works it, the message boxes, the folder picker, the translation of texts
// the code sets, and the window's smaller pieces.

#include "FormMainFixture.h"

#include "common/GermanCatalogue.h"

#include "export/ScanHistory.h"
#include "i18n/Translation.h"
#include "model/TreeOperations.h"
#include "paint/QxBarChartPainter.h"
#include "shell/BrowseForFolder.h"
#include "ui/BarStyleList.h"
#include "ui/DlgSettings.h"
#include "ui/GrayImageList.h"
#include "ui/InstanceMarker.h"
#include "ui/MessageDialogs.h"
#include "ui/SaveScanResult.h"
#include "ui/WindowTranslation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QToolBar>

#include <gmock/gmock.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quorvex {
namespace {

using testing::BoxAnswers;
using testing::Click;
using testing::Control;
using ::testing::ElementsAre;
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
    // Cancel hands back the caller's own settings, untouched.
    EXPECT_EQ(applied_[2], &settings_);
    EXPECT_EQ(settings_.BarChartPainterClass(), painter);
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
    EXPECT_THAT(typed, ElementsAre(3145728, 0));
    EXPECT_EQ(settings_.GroupFileSize(), 524288);

    // Two decimals, halves to even; a value that does not show exactly is kept unless it is edited.
    for (const auto& [bytes, text] :
         std::vector<std::pair<std::int64_t, QString>>{{131072, "0.12"}, {1000000, "0.95"}}) {
        SCOPED_TRACE(bytes);
        settings_.SetGroupFileSize(bytes);
        EXPECT_TRUE(Run([&, &text = text](TDlgSettings& d) {
            EXPECT_EQ(SizeField(d)->text(), text);
            Click(d, "BtnOK");
        }));
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

// The fallback painter of a user who never chose is no entry of the list but looks like one: that entry
// is shown, and opening the dialog changes nothing. Without a catalogue the window speaks English.
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
        {"fr", "TSkinCrystal", "English [en]", "Crystal"},
        {"", "TSkinCrystal", "English [en]", "Crystal"}};
    for (const auto& [language, painter, languageShown, painterShown] : cases) {
        SCOPED_TRACE(language);
        settings_.SetLanguage(language);
        settings_.SetBarChartPainterClass(painter);
        Run([&, &languageShown = languageShown, &painterShown = painterShown](TDlgSettings& d) {
            const auto* box = Control<QComboBox>(d, "ComboBoxLanguage");
            EXPECT_EQ(box->count(), 2);
            EXPECT_EQ(box->currentIndex() < 0 ? QString() : box->currentText(), languageShown);
            EXPECT_EQ(Control<TBarStyleComboBox>(d, "CmbBoxBarChartPaintStyle")->currentText(), painterShown);
            Click(d, "BtnOK");
        });
        EXPECT_EQ(settings_.BarChartPainterClass(), painter);
    }
}

// The history's limits typed in the dialog go to the settings file, and a window started from that
// file keeps no more scans of a folder than typed.
TEST_F(DlgSettingsTest, TheHistoryLimitsTypedBoundTheScansKept) {
    EXPECT_TRUE(Run([](TDlgSettings& d) {
        for (const auto& [field, text] : {std::pair{"EditHistoryScans", "2"}, {"EditHistoryBudget", "64"}}) {
            QTest::keyClick(Control<QSpinBox>(d, field), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(Control<QSpinBox>(d, field), text);
        }
        Click(d, "BtnOK");
    }));
    settings_.Save();
    EXPECT_THAT(testing::ReadAll(ini_), ::testing::AllOf(::testing::HasSubstr("HistoryScansPerRoot=2\n"),
                                                         ::testing::HasSubstr("HistoryBudgetMB=64\n")));
    TempTree data;
    data.File("f", 10);
    {
        TSettings fromFile(ini_);
        TFormMain form(fromFile);
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(Scan(form, data.Path()));
    } // the window waits for its last history file
    EXPECT_EQ(ListHistory(HistoryFolder(), data.Path()).size(), 2u);
}

TEST_F(DlgSettingsTest, TheDialogKeepsItsPlacePerScreenResolution) {
    QRect first;
    {
        TDlgSettings dialog(settings_);
        dialog.setGeometry(33, 44, dialog.width(), dialog.height());
        first = dialog.geometry();
    }
    screen_ = "800x600";
    EXPECT_NE(TDlgSettings(settings_).geometry().topLeft(), first.topLeft()) << "another resolution";
    screen_ = "1024x768";
    EXPECT_EQ(TDlgSettings(settings_).geometry(), first);
    EXPECT_THAT(errors_, IsEmpty());

    // A settings file that cannot be written: the error box says so, the dialog closes all the same.
    TSettings unwritable(config_ / "missing/Quorvex.ini");
    { TDlgSettings dialog(unwritable); }
    EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(DlgSettingsTest, AGroupingOrPatternChangeFromTheToolbarOffersARescanThatUsesIt) {
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
        auto* patterns = Control<QPlainTextEdit>(d, "MemoExcludePatterns");
        for (const char* line : {"x, y", "", "b"}) {
            QTest::keyClicks(patterns, line);
            QTest::keyClick(patterns, Qt::Key_Return);
        }
        Click(d, "BtnOK");
    });
    auto* toolbar = form.findChild<QToolBar*>("MainToolbar");
    QTest::mouseClick(toolbar->widgetForAction(form.findChild<QAction*>("ActConfig")), Qt::LeftButton);
    ASSERT_TRUE(driver.ran);
    EXPECT_EQ(form.InfoPanel()->PendingPaths(), std::vector<std::string>{data.Path()});
    EXPECT_NE(group(), nullptr) << "nothing rescanned yet";
    ASSERT_TRUE(Await(form, [&] { ClickRefreshNow(form); }));
    EXPECT_EQ(group(), nullptr) << "the rescan no longer groups";
    EXPECT_EQ(settings_.ExcludePatterns(), (std::vector<std::string>{"x, y", "b"}));
    EXPECT_EQ(Dir(form, data / "dir")->GetSize(), 20) << "dir/b left out";
    EXPECT_EQ(FileNodeOf(Dir(form, data / "dir"), "b"), nullptr) << "and not listed either";
    EXPECT_NE(FileNodeOf(Dir(form, data / "dir"), "a"), nullptr);
    EXPECT_EQ(form.findChild<QLabel*>("ExclusionMark")->text(), "Patterns excluded: 2");
}

// Texts the code set after the window was translated are its own: no later switch of language touches
// them, while the widgets' other texts still follow.
TEST(WindowTranslation, TextsTheCodeSetsAreLeftAlone) {
    const testing::BuildCatalogues catalogues;
    SetLanguage("de");
    QMainWindow window;
    QMenu* menu = window.menuBar()->addMenu("&File");
    auto* central = new QWidget(&window);
    auto* label = new QLabel("Language:", central);
    label->setToolTip("Favourites");
    auto* button = new QPushButton("&Apply", central);
    auto* combo = new QComboBox(central);
    combo->addItems({"Display", "Analysis"});
    auto* own = new QLabel("Preferences", central);
    own->setProperty(kOwnTextsProperty, true);
    window.setCentralWidget(central);
    TranslateWindow(window);
    EXPECT_EQ(own->text(), "Preferences") << "it translates itself";

    label->setText("42 files");
    button->setText("&Apply"); // an English source text, but set by the code now
    combo->setItemText(0, "Display");
    auto* later = new QLabel("Analysis", central);
    const QAction* laterAction = menu->addAction("&Help");
    for (const char* language : {"en", "de"}) {
        SetLanguage(language);
        RetranslateWindow(window);
        EXPECT_EQ(label->text(), "42 files");
    }
    EXPECT_EQ(button->text(), "&Apply") << "its memory went with the first replacement";
    EXPECT_EQ(combo->itemText(0), "Display");
    EXPECT_EQ(combo->itemText(1), testing::German("Analysis"));
    EXPECT_EQ(later->text(), "Analysis");
    EXPECT_EQ(laterAction->text(), "&Help");
    EXPECT_EQ(label->toolTip(), testing::German("Favourites")) << "another text of the same widget";
}

TEST(MessageDialogs, QuestionsAskYesOrNoAndOnlyYesIsTrue) {
    for (const auto show : {&ShowConfirmationDialog, &ShowWarningDialog}) {
        // Closing the box is not a Yes.
        for (const auto& [answer, expected] :
             {std::pair{QMessageBox::Yes, true}, {QMessageBox::No, false}, {QMessageBox::NoButton, false}}) {
            BoxAnswers box(answer, [&](const QMessageBox& shown) {
                EXPECT_EQ(shown.standardButtons(), QMessageBox::Yes | QMessageBox::No);
            });
            EXPECT_EQ(show("Delete 3 items?"), expected) << answer;
            EXPECT_EQ(box.texts, std::vector<std::string>{"Delete 3 items?"});
        }
    }
}

TEST(MessageDialogs, ErrorBoxesShowTextsAsPlainText) {
    const ErrorDialogHandler previous = InstallErrorDialogBacking();
    // A file name that looks like markup must reach the user unchanged.
    const QString markup = QString::fromUtf8("Cannot open <b>x</b>&amp; \xC3\xA4");
    const BoxAnswers ok(QMessageBox::Ok,
                        [](const QMessageBox& shown) { EXPECT_EQ(shown.textFormat(), Qt::PlainText); });
    ShowErrorDialog(markup.toStdString());
    ShowExceptionDialog(std::runtime_error("disk full"));
    EXPECT_EQ(ok.texts, (std::vector<std::string>{markup.toStdString(), "disk full"}));
    SetErrorDialogHandler(previous);
}

TEST(BrowseForFolder, PreselectsTheStartAndReturnsTheChosenNamesBytes) {
    // A name that is not UTF-8 is preselected and handed back byte for byte.
    const std::string latin1 = "/tmp/caf\xe9";
    QUrl asked;
    std::string path;
    const auto pick = [&](QWidget*, const QString&, const QUrl& start) {
        asked = start;
        return start;
    };
    EXPECT_TRUE(BrowseForFolder(nullptr, "Pick", latin1, path, pick));
    EXPECT_EQ(asked.toEncoded(), "file:///tmp/caf%E9");
    EXPECT_EQ(path, latin1);
}

TEST(SaveScanResult, ProposedNamesHaveNoColonsBlanksOrSlashes) {
    EXPECT_EQ(ProposedExportName("System (C:)"), "System_(C)");
    EXPECT_EQ(ProposedExportName("/home/user/My Data"), "_home_user_My_Data");
}

TEST(InstanceMarker, HeldSharedWhileAliveSoAnExclusiveLockWaits) {
    TempTree folder;
    const std::string path = folder / "Quorvex.Mutex";
    const auto exclusiveLockTaken = [&] {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const bool taken = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return taken;
    };
    {
        TInstanceMarker first(folder.Path());
        TInstanceMarker second(folder.Path());
        EXPECT_TRUE(first.IsHeld() && second.IsHeld()) << "a second instance just goes on";
        EXPECT_FALSE(exclusiveLockTaken());
    }
    EXPECT_TRUE(exclusiveLockTaken()) << "released when the program ends";
}

TEST(QxApplication, AnErrorEscapingAnEventHandlerIsContainedAndTheLoopGoesOn) {
    struct Throwing : QObject {
        bool event(QEvent*) override { throw std::runtime_error("handler failed"); }
    } target;
    QEvent event(QEvent::User);
    EXPECT_NO_THROW(EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event)));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    EXPECT_NO_THROW(QCoreApplication::sendPostedEvents(&target));
}

TEST(GrayImageList, MirrorsItsLinkedListAndForgetsItWhenItIsDestroyed) {
    auto source = std::make_unique<TImageList>(QSize(2, 2));
    QImage image(QSize(2, 2), QImage::Format_ARGB32);
    image.fill(qRgb(250, 250, 250));
    source->Add(image);
    TGrayImageList gray(QSize(2, 2));
    gray.SetLinkedImageList(source.get());
    source->Add(image);
    ASSERT_EQ(gray.Count(), 2) << "follows additions to the linked list";
    gray.SetGrayPortion(120);
    EXPECT_EQ(gray.Image(1).pixel(0, 0), qRgb(255, 255, 255)) << "120 % is clipped at white";
    source.reset();
    EXPECT_EQ(gray.LinkedImageList(), nullptr) << "a destroyed link becomes none";
}

} // namespace
} // namespace quorvex
