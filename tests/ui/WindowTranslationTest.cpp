#include "common/GermanCatalogue.h"

#include "i18n/Translation.h"
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
using testing::German;
using testing::GermanLeft;
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
    const testing::BuildCatalogues catalogues;
    SetLanguage("de");
    SampleWindow window;
    TranslateWindow(window);
    EXPECT_EQ(window.windowTitle(), German("Information"));
    EXPECT_EQ(window.menu->title(), German("&File"));
    EXPECT_EQ(window.menu->objectName(), "&File") << "object names are never translated";
    EXPECT_EQ(window.open->objectName(), "&Open");
    EXPECT_EQ(window.open->text(), German("&Open"));
    EXPECT_EQ(window.open->toolTip(), "Öffnen") << "a tool tip made from the text follows it";
    EXPECT_EQ(window.open->statusTip(), German("Favourites"));
    EXPECT_EQ(window.exitAction->text(), German("E&xit"));
    EXPECT_EQ(window.exitAction->toolTip(), German("Choose the drive or directory to analyse"));
    EXPECT_EQ(window.actionButton->text(), "Beenden") << "the button shows its action";
    EXPECT_EQ(window.group->title(), German("Analysis"));
    EXPECT_EQ(window.label->text(), German("Language:"));
    EXPECT_EQ(window.label->toolTip(), German("Favourites"));
    EXPECT_EQ(window.button->text(), German("&Apply"));
    EXPECT_EQ(window.check->text(), German("Group files smaller than:"));
    EXPECT_EQ(window.combo->itemText(0), German("Display"));
    EXPECT_EQ(window.combo->itemText(1), German("Analysis"));
    EXPECT_EQ(window.tabs->tabText(0), German("User interface"));
    EXPECT_EQ(window.model->headerData(0, Qt::Horizontal).toString(), German("Display"));
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
        EXPECT_EQ(window.open->text(), German("&Open"));
        EXPECT_EQ(window.combo->itemText(1), German("Analysis"));
    }
    // Translating again what is translated already keeps the English source.
    TranslateWindow(window);
    SetLanguage("en");
    RetranslateWindow(window);
    EXPECT_EQ(window.label->text(), "Language:");
}

TEST(WindowTranslation, TextsTheCodeReplacedAndObjectsMadeLaterAreLeftToTheCode) {
    const testing::BuildCatalogues catalogues;
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
    EXPECT_EQ(window.combo->itemText(1), German("Analysis"));
    EXPECT_EQ(later->text(), "Analysis");
    EXPECT_EQ(laterAction->text(), "&Help");
    EXPECT_EQ(window.label->toolTip(), German("Favourites")) << "another text of the same widget";
}

} // namespace
} // namespace quorvex
