#include "i18n/LangUtils.h"
#include "common/TempTree.h"
#include "i18n/IsoUtils.h"
#include "i18n/Translation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quorvex {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

TEST(LanguageNames, RegionalRowsMatchExactlyAndEverythingElseByTheFirstTwoLetters) {
    EXPECT_EQ(LanguageName("de"), "German");
    EXPECT_EQ(LanguageName("de_AT"), "German");
    EXPECT_EQ(LanguageName("en_US"), "American English");
    EXPECT_EQ(LanguageName("en_GB"), "British English");
    EXPECT_EQ(LanguageName("en_us"), "English") << "the table is searched with case";
    EXPECT_EQ(LanguageName("fr_BE"), "Walloon");
    EXPECT_EQ(LanguageName("fr_CA"), "French");
    EXPECT_EQ(LanguageName("nl_BE"), "Flemish");
    EXPECT_EQ(LanguageName("pt_BR"), "Portuguese");
    EXPECT_EQ(LanguageName("nd"), "Ndebele, North");
    EXPECT_EQ(LanguageName("kv"), "Komi");
    EXPECT_EQ(LanguageName("kw"), "Cornish");
    // One letter is its own "first two characters"; nothing starts with it alone.
    EXPECT_EQ(LanguageName("d"), "");
    EXPECT_EQ(LanguageName(""), "");
    EXPECT_EQ(LanguageName("C"), "");
    EXPECT_EQ(LanguageName("qq_QQ"), "");

    EXPECT_EQ(LanguageDisplayName("de"), "German [de]");
    EXPECT_EQ(LanguageDisplayName("en_US"), "American English [en_US]");
    EXPECT_EQ(LanguageDisplayName("en_us"), "English [en_us]");
    EXPECT_EQ(LanguageDisplayName("xx"), " [xx]") << "no name: the display name starts with the blank";
    EXPECT_EQ(BaseLanguageDisplayName("de_AT"), "German [de]");
    EXPECT_EQ(BaseLanguageDisplayName("de_DE"), "German [de]");
    EXPECT_EQ(BaseLanguageDisplayName("de"), "German [de]");
    EXPECT_EQ(BaseLanguageDisplayName("en_US"), "English [en]");
}

TEST(LanguageNames, TheTableKeepsItsRowsAndEveryCodeComesBackFromItsDisplayName) {
    const auto rows = IsoLanguages();
    ASSERT_EQ(rows.size(), 189u);
    EXPECT_EQ(rows.front().Code, "aa");
    EXPECT_EQ(rows.front().Name, "Afar");
    EXPECT_EQ(rows.back().Code, "zu");
    EXPECT_EQ(rows.back().Name, "Zulu");
    std::set<std::string_view> codes;
    for (const TIsoLanguage& row : rows) {
        EXPECT_TRUE(codes.insert(row.Code).second) << "twice: " << row.Code;
        // A regional row comes right after the rows of its base language, never before it.
        if (row.Code.size() > 2) {
            EXPECT_TRUE(codes.contains(row.Code.substr(0, 2))) << row.Code;
        }
        const std::string code(row.Code);
        EXPECT_EQ(LanguageCodeFromDisplayName(LanguageDisplayName(code)), code);
        EXPECT_EQ(LanguageName(code), row.Name);
    }
    EXPECT_EQ(LanguageCodeFromDisplayName("Ndebele, North [nd] [xx]"), "nd");
    EXPECT_EQ(LanguageCodeFromDisplayName(" [xx]"), "xx");
    EXPECT_EQ(LanguageCodeFromDisplayName("German"), "");
    EXPECT_EQ(LanguageCodeFromDisplayName("German [de"), "");
    EXPECT_EQ(LanguageCodeFromDisplayName("German []"), "");
}

// A catalogue folder of the test's own making, put back afterwards.
class LanguageList : public ::testing::Test {
protected:
    LanguageList() : previous_(CatalogueFolder()) { SetCatalogueFolder(tree_ / "locale"); }
    ~LanguageList() override { SetCatalogueFolder(previous_); }

    void Catalogue(const std::string& folder) const {
        tree_.Dir("locale/" + folder);
        tree_.Dir("locale/" + folder + "/LC_MESSAGES");
        tree_.File("locale/" + folder + "/LC_MESSAGES/default.mo", 28);
    }

    testing::TempTree tree_;
    std::filesystem::path previous_;
};

TEST_F(LanguageList, WithoutAnyCatalogueFolderOnlyEnglishIsOffered) {
    EXPECT_THAT(GetLanguageDisplayList(), ElementsAre("English [en]"));
    tree_.Dir("locale");
    tree_.Dir("locale/fr"); // no catalogue inside
    EXPECT_THAT(GetLanguageDisplayList(), ElementsAre("English [en]"));
}

TEST_F(LanguageList, FoldersAreNamedInLowerCaseOnceAndEnglishIsAddedOnlyWhenMissing) {
    tree_.Dir("locale");
    Catalogue("de");
    Catalogue("DE");
    Catalogue("en_US");
    EXPECT_THAT(GetLanguageDisplayList(),
                UnorderedElementsAre("German [de]", "English [en_us]", "English [en]"));
    EXPECT_EQ(GetLanguageDisplayList().back(), "English [en]") << "the built-in language comes last";

    Catalogue("en");
    EXPECT_THAT(GetLanguageDisplayList(),
                UnorderedElementsAre("German [de]", "English [en_us]", "English [en]"));
}

} // namespace
} // namespace quorvex
