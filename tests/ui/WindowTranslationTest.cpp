#include "FormMainFixture.h"
#include "GermanTestCatalogue.h"

#include "i18n/Translation.h"
#include "ui/FormInfo.h"
#include "ui/FormMain.h"
#include "ui/WindowTranslation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvex {
namespace {

using testing::EnglishLeft;
using testing::GermanLeft;
using testing::GermanWindowTexts;
using ::testing::IsEmpty;

// A window with one of every kind of text the translation knows, each named after an English text
// so that a translated object name would show.
class SampleWindow : public QMainWindow {
public:
    SampleWindow() {
        setWindowTitle("Information");
        menu = menuBar()->addMenu("&File");
        menu->setObjectName("&File");
        open = menu->addAction("&Open");
        open->setObjectName("&Open");
        open->setStatusTip("Favourites");
        open->setToolTip("Open"); // what Qt would make of the text, but set: it must follow all the same
        exitAction = menu->addAction("E&xit");
        exitAction->setToolTip("Choose the drive or directory to analyse");
        auto* toolbar = addToolBar("Main");
        toolbar->addAction(open);
        actionButton = new QToolButton(toolbar);
        actionButton->setDefaultAction(exitAction);
        toolbar->addWidget(actionButton);

        auto* central = new QWidget(this);
        auto* layout = new QVBoxLayout(central);
        group = new QGroupBox("Analysis", central);
        label = new QLabel("Language:", group);
        label->setToolTip("Favourites");
        button = new QPushButton("&Apply", group);
        check = new QCheckBox("Group files smaller than:", group);
        combo = new QComboBox(group);
        combo->addItems({"Display", "Analysis"});
        tabs = new QTabWidget(central);
        tabs->addTab(new QWidget, "User interface");
        tree = new QTreeView(central);
        model = new QStandardItemModel(0, 2, tree);
        model->setHorizontalHeaderLabels({"Display", "MB"});
        tree->setModel(model);
        own = new QLabel("Preferences", central);
        own->setProperty(kOwnTextsProperty, true);
        for (QWidget* w :
             std::initializer_list<QWidget*>{group, label, button, check, combo, tabs, tree, own})
            layout->addWidget(w);
        setCentralWidget(central);
    }

    QMenu* menu;
    QAction* open;
    QAction* exitAction;
    QToolButton* actionButton;
    QGroupBox* group;
    QLabel* label;
    QPushButton* button;
    QCheckBox* check;
    QComboBox* combo;
    QTabWidget* tabs;
    QTreeView* tree;
    QStandardItemModel* model;
    QLabel* own;
};

TEST(WindowTranslation, EveryKindOfTextIsTranslatedAndComesBackFromItsSource) {
    GermanWindowTexts german;
    SetLanguage("de");
    SampleWindow window;
    TranslateWindow(window);
    EXPECT_EQ(window.windowTitle(), "Informationen");
    EXPECT_EQ(window.menu->title(), "&Datei");
    EXPECT_EQ(window.menu->objectName(), "&File") << "object names are never translated";
    EXPECT_EQ(window.open->objectName(), "&Open");
    EXPECT_EQ(window.open->text(), "Ö&ffnen");
    EXPECT_EQ(window.open->toolTip(), "Öffnen") << "a tool tip made from the text follows it";
    EXPECT_EQ(window.open->statusTip(), "Favoriten");
    EXPECT_EQ(window.exitAction->text(), "&Beenden");
    EXPECT_EQ(window.exitAction->toolTip(), "Laufwerk oder Verzeichnis zur Analyse wählen");
    EXPECT_EQ(window.actionButton->text(), "Beenden") << "the button shows its action";
    EXPECT_EQ(window.group->title(), "Analyse");
    EXPECT_EQ(window.label->text(), "Sprache:");
    EXPECT_EQ(window.label->toolTip(), "Favoriten");
    EXPECT_EQ(window.button->text(), "&Übernehmen");
    EXPECT_EQ(window.check->text(), "Dateien gruppieren, die kleiner sind als:");
    EXPECT_EQ(window.combo->itemText(0), "Anzeige");
    EXPECT_EQ(window.combo->itemText(1), "Analyse");
    EXPECT_EQ(window.tabs->tabText(0), "Benutzeroberfläche");
    EXPECT_EQ(window.model->headerData(0, Qt::Horizontal).toString(), "Anzeige");
    EXPECT_EQ(window.own->text(), "Preferences") << "it translates itself";
    delete window.own; // English on purpose: out of the way of the checks below

    // Back and forth twice: each time from the English source, never from the German shown.
    for (int round = 0; round < 2; ++round) {
        SetLanguage("en");
        RetranslateWindow(window);
        EXPECT_THAT(GermanLeft(window), IsEmpty());
        EXPECT_EQ(window.open->toolTip(), "Open");
        EXPECT_EQ(window.exitAction->toolTip(), "Choose the drive or directory to analyse");
        EXPECT_EQ(window.model->headerData(0, Qt::Horizontal).toString(), "Display");
        SetLanguage("de");
        RetranslateWindow(window);
        EXPECT_THAT(EnglishLeft(window), IsEmpty());
        EXPECT_EQ(window.open->text(), "Ö&ffnen");
        EXPECT_EQ(window.combo->itemText(1), "Analyse");
    }
    // Translating again what is translated already keeps the English source.
    TranslateWindow(window);
    SetLanguage("en");
    RetranslateWindow(window);
    EXPECT_EQ(window.label->text(), "Language:");
}

TEST(WindowTranslation, TextsTheCodeReplacedAndObjectsMadeLaterAreLeftToTheCode) {
    GermanWindowTexts german;
    SetLanguage("de");
    SampleWindow window;
    TranslateWindow(window);
    window.label->setText("42 files");
    window.button->setText("&Apply"); // an English source text, but set by the code now
    window.combo->setItemText(0, "Display");
    auto* later = new QLabel("Analysis", window.centralWidget());
    auto* laterAction = window.menu->addAction("&Help");

    SetLanguage("en");
    RetranslateWindow(window);
    EXPECT_EQ(window.label->text(), "42 files");
    EXPECT_EQ(window.group->title(), "Analysis") << "the others are retranslated";
    SetLanguage("de");
    RetranslateWindow(window);
    EXPECT_EQ(window.label->text(), "42 files");
    EXPECT_EQ(window.button->text(), "&Apply") << "its memory went with the first replacement";
    EXPECT_EQ(window.combo->itemText(0), "Display");
    EXPECT_EQ(window.combo->itemText(1), "Analyse");
    EXPECT_EQ(later->text(), "Analysis");
    EXPECT_EQ(laterAction->text(), "&Help");
    EXPECT_EQ(window.label->toolTip(), "Favoriten") << "another text of the same widget";
}

using WindowLanguage = testing::FormMainTest;

TEST_F(WindowLanguage, TheMainWindowAndTheAboutWindowFollowTheLanguageAndKeepTheirImages) {
    GermanWindowTexts german;
    SetLanguage("de");
    TFormMain form(settings_);
    EXPECT_THAT(EnglishLeft(form), IsEmpty());
    auto* config = form.findChild<QAction*>("ActConfig");
    auto* deleteAction = form.findChild<QAction*>("ActDelete");
    EXPECT_EQ(config->text(), "&Einstellungen...");
    EXPECT_EQ(deleteAction->toolTip().toStdString(),
              testing::GermanTexts().at("Move the selected files and directories to the trash "
                                        "(Shift: delete them for good)"));
    const qint64 image = config->icon().cacheKey();
    const QList<QMenu*> menus = form.menuBar()->findChildren<QMenu*>();
    ASSERT_FALSE(menus.isEmpty());

    auto english = TSettings::CreateCopy(settings_);
    english->SetLanguage("en");
    auto back = TSettings::CreateCopy(settings_);
    back->SetLanguage("de_DE");
    for (int round = 0; round < 2; ++round) {
        form.OnSettingsApplied(*english);
        EXPECT_EQ(CurrentLanguage(), "en");
        EXPECT_THAT(GermanLeft(form), IsEmpty());
        EXPECT_EQ(config->text(), "S&ettings...");
        EXPECT_EQ(form.findChild<QAction*>("ActDirSelect")->toolTip(),
                  "Choose the drive or directory to analyse");
        form.OnSettingsApplied(*back);
        EXPECT_THAT(EnglishLeft(form), IsEmpty());
    }
    EXPECT_EQ(config->icon().cacheKey(), image) << "the images stay while the texts change";
    EXPECT_EQ(form.windowTitle(), "Quorvex");

    // The about window is translated when it is made, in the language of that moment.
    TFormInfo info(&form);
    EXPECT_EQ(info.windowTitle(), "Informationen");
    EXPECT_THAT(EnglishLeft(info), IsEmpty());
    form.OnSettingsApplied(*english);
    TFormInfo englishInfo(&form);
    EXPECT_EQ(englishInfo.windowTitle(), "Information");
    EXPECT_THAT(GermanLeft(englishInfo), IsEmpty());
}

} // namespace
} // namespace quorvex
