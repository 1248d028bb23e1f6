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

TEST(LanguageNames, RegionalRowsMatchExactlyAndEverythingElseByTheFirstTwoLetters) {
    const std::pair<const char*, const char*> names[] = {{"de", "German"},
                                                         {"de_AT", "German"},
                                                         {"en_US", "American English"},
                                                         {"en_us", "English"},
                                                         {"fr_BE", "Walloon"},
                                                         {"fr_CA", "French"},
                                                         {"nd", "Ndebele, North"},
                                                         {"d", ""},
                                                         {"", ""},
                                                         {"C", ""},
                                                         {"qq_QQ", ""}};
    for (const auto& [code, name] : names)
        EXPECT_EQ(LanguageName(code), name) << '"' << code << '"';
    EXPECT_EQ(LanguageDisplayName("xx"), " [xx]") << "no name: the display name starts with the blank";
    EXPECT_EQ(BaseLanguageDisplayName("de_AT"), "German [de]");
    EXPECT_EQ(BaseLanguageDisplayName("en_US"), "English [en]");
}

TEST(LanguageNames, EveryCodeIsListedOnceAfterItsBaseAndComesBackFromItsDisplayName) {
    std::set<std::string_view> codes;
    for (const TIsoLanguage& row : IsoLanguages()) {
        EXPECT_TRUE(codes.insert(row.Code).second) << "twice: " << row.Code;
        EXPECT_TRUE(row.Code.size() == 2 || codes.contains(row.Code.substr(0, 2)))
            << "before its base: " << row.Code;
        const std::string code(row.Code);
        EXPECT_EQ(LanguageCodeFromDisplayName(LanguageDisplayName(code)), code);
        EXPECT_EQ(LanguageName(code), row.Name);
    }
    EXPECT_EQ(LanguageCodeFromDisplayName("Ndebele, North [nd] [xx]"), "nd");
    EXPECT_EQ(LanguageCodeFromDisplayName(" [xx]"), "xx");
    for (const char* broken : {"German", "German [de", "German []"})
        EXPECT_EQ(LanguageCodeFromDisplayName(broken), "") << broken;
}

// Language folders count only with a catalogue inside, are named in lower case and once; English,
// the built-in language, is added last when no folder has it.
TEST(LanguageList, FoldersWithACatalogueInLowerCaseOnceAndEnglishLast) {
    using ::testing::ElementsAre;
    using ::testing::UnorderedElementsAre;
    const testing::TempTree tree;
    const std::filesystem::path previous = CatalogueFolder();
    SetCatalogueFolder(tree / "locale");
    EXPECT_THAT(GetLanguageDisplayList(), ElementsAre("English [en]")) << "no catalogue folder at all";
    const auto catalogue = [&](const std::string& folder) {
        std::filesystem::create_directories(tree / ("locale/" + folder + "/LC_MESSAGES"));
        tree.File("locale/" + folder + "/LC_MESSAGES/default.mo", 28);
    };
    std::filesystem::create_directories(tree / "locale/fr/LC_MESSAGES");
    EXPECT_THAT(GetLanguageDisplayList(), ElementsAre("English [en]"));
    for (const char* folder : {"de", "DE", "en_US"})
        catalogue(folder);
    const auto list = GetLanguageDisplayList();
    EXPECT_THAT(list, UnorderedElementsAre("German [de]", "English [en_us]", "English [en]"));
    EXPECT_EQ(list.back(), "English [en]");
    catalogue("en");
    EXPECT_THAT(GetLanguageDisplayList(),
                UnorderedElementsAre("German [de]", "English [en_us]", "English [en]"));
    SetCatalogueFolder(previous);
}

} // namespace
} // namespace quorvex
