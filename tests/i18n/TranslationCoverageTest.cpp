#include "common/DialogDriver.h"
#include "common/GermanCatalogue.h"
#include "common/ScopedEnv.h"

#include "app/QuorvexProcess.h"
#include "i18n/Translation.h"
#include "ui/DlgSettings.h"
#include "ui/FormInfo.h"
#include "ui/FormMainFixture.h"

#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace quorvex {
namespace {

TEST(CatalogueCoverage, TheGermanCatalogueTranslatesEveryMessageOfTheProgram) {
    const auto messages = testing::ReadPo(QUORVEX_POT);
    ASSERT_GT(messages.size(), 100u) << QUORVEX_POT;
    std::map<std::string, testing::PoEntry> german;
    for (const auto& entry : testing::ReadPo(QUORVEX_PO_DIR "/de.po"))
        german.emplace(entry.Id, entry);
    std::vector<std::string> missing;
    for (const auto& message : messages) {
        const auto found = german.find(message.Id);
        if (found == german.end() || found->second.Str.empty() || found->second.Fuzzy)
            missing.push_back(message.Id);
    }
    EXPECT_EQ(missing, std::vector<std::string>{});
}

// Each message of the template as a pattern: "%s" and "%d" stand for anything on one line.
std::vector<std::regex> MessagePatterns() {
    std::vector<std::string> ids;
    for (const auto& message : testing::ReadPo(QUORVEX_POT))
        ids.push_back(message.Id);
    // Longest first, so that a whole usage text goes before a message that is part of it.
    std::sort(ids.begin(), ids.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    std::vector<std::regex> patterns;
    for (const std::string& id : ids) {
        const std::string escaped = std::regex_replace(id, std::regex(R"([\\^$.|?*+()\[\]{}])"), R"(\$&)");
        patterns.emplace_back(std::regex_replace(escaped, std::regex("%[sd]"), "[^\n]*"));
    }
    return patterns;
}

TEST(CatalogueCoverage, EveryMessageOfTheCommandLineIsAMessage) {
    const auto patterns = MessagePatterns();
    const testing::ScopedEnv lang("LANG", "C");
    for (const char* line :
         {"--help", "--bogus", "--summary", "--export", "--export nonsense", "--export csv",
          "--export csv -o -", "--export csv -o - a b", "--export csv --rounding 7 -o - /",
          "--export csv --what /", "--export csv -o"}) {
        std::istringstream words(line);
        const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        const testing::TempTree scratch;
        testing::Quorvex run(args, scratch);
        const testing::Result result = run.Wait();
        std::string rest = result.out + result.err;
        ASSERT_FALSE(rest.empty()) << line;
        for (const std::regex& pattern : patterns)
            rest = std::regex_replace(rest, pattern, "");
        rest = std::regex_replace(rest, std::regex("quorvex: "), "");
        EXPECT_EQ(rest.find_first_not_of(" \n"), std::string::npos)
            << "not a message: \"" << rest << "\" from " << line;
    }
}

using testing::Click;
using testing::Control;
using testing::EnglishLeft;
using testing::German;
using testing::GermanLeft;
using ::testing::IsEmpty;
using testing::MessagesShown;

// The English texts of `window` that are no message of the template: they were never marked for
// translation. Data rather than wording is passed over: paths, numbers, the product's name, the
// version and web address, and the entries of the favourites menu (drives, recent directories).
std::vector<std::string> NotMessages(const QWidget& window) {
    std::set<std::string> ids;
    for (const auto& message : testing::ReadPo(QUORVEX_POT))
        ids.insert(testing::Normalised(message.Id));
    std::vector<std::string> unknown;
    for (const auto& text : testing::CollectTexts(window)) {
        const std::string plain = testing::Normalised(text.Text);
        if (plain.find('/') != std::string::npos ||
            plain.find_first_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos ||
            plain.rfind("Quorvex", 0) == 0 || plain.rfind("\u00a9", 0) == 0 || text.Owner == "LabelVersion" ||
            text.Owner == "quorvex::TFileMenuItem")
            continue;
        if (ids.count(plain) == 0)
            unknown.push_back(text.Owner + ": " + text.Text);
    }
    return unknown;
}

class WindowLanguageTest : public testing::FormMainTest {
protected:
    WindowLanguageTest() { settings_.SetLanguage("en"); }

    const testing::BuildCatalogues catalogues_;
};

// The access keys of a menu's entries, lower case, one per entry that has one.
std::vector<QChar> AccessKeys(const QMenu& menu) {
    std::vector<QChar> keys;
    for (const QAction* action : menu.actions()) {
        const QString text = action->text();
        const auto at = text.indexOf(QRegularExpression("&[^&]"));
        if (!action->isSeparator() && at >= 0)
            keys.push_back(text[at + 1].toLower());
    }
    return keys;
}

// Picks a language in the dialog's list by typing its name, as a user does; after a pause, so that
// the list does not take the keys for the rest of the name typed before.
void Choose(TDlgSettings& dialog, const char* language) {
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClicks(Control<QComboBox>(dialog, "ComboBoxLanguage"), language);
}

// Through the settings dialog, as a user does: Apply switches the dialog and the main window, both ways
// and entirely, what a scan left too, leaving the images; Cancel goes back to the language the settings
// hold. A window made in German (a German start) and the about window, made in the language of its
// moment, hold no English, and the German menus keep their access keys apart.
TEST_F(WindowLanguageTest, TheSettingsDialogSwitchesBothWindowsAndCancelTakesItBack) {
    ASSERT_GT(testing::TranslatedMessages().size(), 50u);
    testing::TempTree data;
    data.File("a", 10);
    data.File("b", 10);
    data.File("c", 20000000);
    TFormMain form(settings_);
    EXPECT_THAT(NotMessages(form), IsEmpty());
    ASSERT_TRUE(Scan(form, data.Path()));
    auto* config = form.findChild<QAction*>("ActConfig");
    const qint64 image = config->icon().cacheKey();
    std::size_t englishShown = 0;
    std::vector<std::string> germanDialog, germanMain, englishDialog, englishMain;
    std::size_t germanShown = 0;
    testing::WhileShown<TDlgSettings> driver([&](TDlgSettings& d) {
        // The windows really show the catalogue's source texts (the dialog's among them).
        englishShown = MessagesShown(form, false).size();
        EXPECT_GT(englishShown, 25u);
        Choose(d, "German");
        EXPECT_EQ(CurrentLanguage(), "en") << "choosing does not switch yet";
        Click(d, "BtnApply");
        // A long caption keeps some room on both sides.
        const auto* apply = Control<QPushButton>(d, "BtnApply");
        const QFontMetrics metrics = apply->fontMetrics();
        EXPECT_GE(apply->width() - metrics.horizontalAdvance(German("&Apply").remove('&')),
                  4 * metrics.averageCharWidth());
        germanDialog = EnglishLeft(d);
        germanMain = EnglishLeft(form);
        germanShown = MessagesShown(d, true).size() + MessagesShown(form, true).size();

        Choose(d, "English");
        Click(d, "BtnApply");
        englishDialog = GermanLeft(d);
        englishMain = GermanLeft(form);
        EXPECT_EQ(MessagesShown(form, false).size(), englishShown) << "each time all of them";

        Choose(d, "German");
        Click(d, "BtnApply");
        Click(d, "BtnCancel");
    });
    config->trigger();
    ASSERT_TRUE(driver.ran);
    EXPECT_THAT(germanDialog, IsEmpty());
    EXPECT_THAT(germanMain, IsEmpty());
    EXPECT_GT(germanShown, 25u) << "the dialog's own texts were looked at";
    EXPECT_THAT(englishDialog, IsEmpty());
    EXPECT_THAT(englishMain, IsEmpty());
    EXPECT_EQ(settings_.Language(), "en");
    EXPECT_THAT(GermanLeft(form), IsEmpty());
    EXPECT_EQ(config->icon().cacheKey(), image) << "the images stay while the texts change";
    EXPECT_TRUE(form.windowTitle().startsWith("Quorvex - ")) << form.windowTitle().toStdString();
    std::vector<std::string> reopened;
    testing::WhileShown<TDlgSettings> again([&](TDlgSettings& d) {
        reopened = GermanLeft(d);
        EXPECT_GT(MessagesShown(d, false).size(), 10u);
        Click(d, "BtnCancel");
    });
    config->trigger();
    ASSERT_TRUE(again.ran);
    EXPECT_THAT(reopened, IsEmpty());
    const TFormInfo english(&form);
    EXPECT_THAT(GermanLeft(english), IsEmpty());
    EXPECT_THAT(NotMessages(english), IsEmpty());

    SetLanguage("de");
    TFormMain german(settings_);
    EXPECT_THAT(EnglishLeft(german), IsEmpty()) << "made in German";
    for (const QAction* entry : german.menuBar()->actions()) {
        const std::vector<QChar> keys = AccessKeys(*entry->menu());
        EXPECT_EQ(std::set<QChar>(keys.begin(), keys.end()).size(), keys.size())
            << entry->text().toStdString();
    }
    // The scan file reader's own words are German too.
    testing::WriteAll(data / "bad.json", "[1,2,{},x]");
    german.ProcessCommandLine({data / "bad.json"});
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_.front().find(German("Invalid value.").toStdString()), std::string::npos)
        << errors_.front();
    const TFormInfo about(&form);
    EXPECT_EQ(about.windowTitle(), German("Information"));
    EXPECT_THAT(EnglishLeft(about), IsEmpty());
    EXPECT_FALSE(GermanLeft(about).empty());
}

} // namespace
} // namespace quorvex
