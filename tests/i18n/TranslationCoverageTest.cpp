#include "common/DialogDriver.h"
#include "common/GermanCatalogue.h"

#include "i18n/Translation.h"
#include "ui/DlgSettings.h"
#include "ui/FormInfo.h"
#include "ui/FormMainFixture.h"

#include <QComboBox>
#include <QLabel>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

namespace quorvex {
namespace {

TEST(CatalogueCoverage, TheGermanCatalogueTranslatesEveryMessageOfTheProgram) {
    const auto messages = testing::ReadPo(QUORVEX_POT);
    ASSERT_GT(messages.size(), 100u) << QUORVEX_POT;
    std::map<std::string, testing::PoEntry> german;
    for (const auto& entry : testing::GermanEntries())
        german.emplace(entry.Id, entry);
    std::vector<std::string> missing;
    for (const auto& message : messages) {
        const auto found = german.find(message.Id);
        if (found == german.end() || found->second.Str.empty() || found->second.Fuzzy)
            missing.push_back(message.Id);
    }
    EXPECT_EQ(missing, std::vector<std::string>{});
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

// Picks a language in the dialog's list by typing its name, as a user does; after a pause, so that
// the list does not take the keys for the rest of the name typed before.
void Choose(TDlgSettings& dialog, const char* language) {
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClicks(Control<QComboBox>(dialog, "ComboBoxLanguage"), language);
}

// Through the settings dialog, as a user does: Apply switches the dialog and the main window, both ways
// and entirely, what a scan left too; Cancel goes back to the language the settings hold. A window made
// in German and the about window, made in the language of its moment, hold no English.
TEST_F(WindowLanguageTest, TheSettingsDialogSwitchesBothWindowsAndCancelTakesItBack) {
    ASSERT_GT(testing::TranslatedMessages().size(), 50u);
    testing::TempTree data;
    data.File("a", 10);
    data.File("c", 20000000);
    TFormMain form(settings_);
    EXPECT_THAT(NotMessages(form), IsEmpty());
    ASSERT_TRUE(Scan(form, data.Path()));
    std::vector<std::string> left;
    std::size_t germanShown = 0;
    testing::WhileShown<TDlgSettings> driver([&](TDlgSettings& d) {
        Choose(d, "German");
        EXPECT_EQ(CurrentLanguage(), "en") << "choosing does not switch yet";
        Click(d, "BtnApply");
        left = EnglishLeft(d);
        std::ranges::copy(EnglishLeft(form), std::back_inserter(left));
        germanShown = MessagesShown(d, true).size() + MessagesShown(form, true).size();
        Choose(d, "English");
        Click(d, "BtnApply");
        std::ranges::copy(GermanLeft(d), std::back_inserter(left));
        std::ranges::copy(GermanLeft(form), std::back_inserter(left));
        Choose(d, "German");
        Click(d, "BtnApply");
        Click(d, "BtnCancel");
    });
    form.findChild<QAction*>("ActConfig")->trigger();
    ASSERT_TRUE(driver.ran);
    EXPECT_THAT(left, IsEmpty());
    EXPECT_GT(germanShown, 25u) << "the dialog's own texts were looked at";
    EXPECT_EQ(settings_.Language(), "en");
    EXPECT_THAT(GermanLeft(form), IsEmpty());
    const TFormInfo english(&form);
    EXPECT_THAT(GermanLeft(english), IsEmpty());
    EXPECT_THAT(NotMessages(english), IsEmpty());
    EXPECT_THAT(english.findChild<QLabel*>("LabelNotice")->text().toStdString(),
                ::testing::HasSubstr("MIT licence"));

    SetLanguage("de");
    TFormMain german(settings_);
    EXPECT_THAT(EnglishLeft(german), IsEmpty()) << "made in German";
    // The scan file reader's own words are German too.
    testing::WriteAll(data / "bad.json", "[1,2,{},x]");
    german.ProcessCommandLine({data / "bad.json"});
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_.front().find(German("Invalid value.").toStdString()), std::string::npos)
        << errors_.front();
    const TFormInfo about(&form);
    EXPECT_THAT(EnglishLeft(about), IsEmpty());
    EXPECT_FALSE(GermanLeft(about).empty());
}

} // namespace
} // namespace quorvex
