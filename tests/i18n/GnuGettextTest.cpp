#include "CatalogueFixtures.h"
#include "common/ScopedEnv.h"

#include "i18n/GnuGettext.h"
#include "settings/QxSettings.h"
#include "settings/StartupLanguage.h"
#include "support/ErrorDialogs.h"

#include <gtest/gtest.h>

namespace quorvex {
namespace {

using testing::CatalogueFolder;

class GnuGettextTest : public ::testing::Test {
protected:
    GnuGettextTest()
        : previous_(SetErrorDialogHandler([this](const std::string& e) { errors_.push_back(e); })) {}
    ~GnuGettextTest() override { SetErrorDialogHandler(previous_); }

    CatalogueFolder folder_;
    std::vector<std::string> errors_;
    ErrorDialogHandler previous_;
};

// A language of its own wins over its two-letter base, whatever the case of the folder. No folder pt:
// pt_PT finds nothing, and neither does the built-in language. Codes that are no folder name find
// nothing either, not even a catalogue where they would lead.
TEST_F(GnuGettextTest, FindsTheLanguageFolderThenItsTwoLetterBaseWhateverTheCase) {
    folder_.Add("de", {{"Size", "Größe"}});
    const std::string austrian = folder_.Add("de_AT", {{"Size", "Grösse"}});
    folder_.Add("pt_BR", {{"Size", "Tamanho"}});
    folder_.Add("FR", {{"Size", "Taille"}});
    ASSERT_TRUE(testing::CompilePo(folder_.Scratch("LC_MESSAGES/default.mo"), {{"Size", "Outside"}}));
    TGnuGettextInstance instance(folder_.Path());
    for (const auto& [code, text] : std::vector<std::pair<const char*, const char*>>{{"de_AT", "Grösse"},
                                                                                     {"de_DE", "Größe"},
                                                                                     {"de", "Größe"},
                                                                                     {"pt_BR", "Tamanho"},
                                                                                     {"fr_CA", "Taille"},
                                                                                     {"pt_PT", "Size"},
                                                                                     {"C", "Size"},
                                                                                     {"..", "Size"},
                                                                                     {"../", "Size"},
                                                                                     {"./de", "Size"}}) {
        instance.SetLanguage(code);
        EXPECT_EQ(instance.GetText("Size"), text) << code;
    }
    instance.SetLanguage("de_AT");
    EXPECT_EQ(instance.CatalogueFile("default"), austrian);
    EXPECT_EQ(instance.GetText(""), "") << "the header is no translation";
    EXPECT_TRUE(errors_.empty());
}

// An empty code takes the environment; at start-up, so does an empty Language key, while a missing
// one keeps the language chosen so far. The runtime's domain comes after the program's own, once.
TEST_F(GnuGettextTest, AnEmptyCodeAndAnEmptyLanguageKeyTakeTheEnvironment) {
    folder_.Add("de", {{"Size", "Größe"}});
    const testing::ScopedEnv lang("LANG", "de_DE.UTF-8");
    TGnuGettextInstance instance(folder_.Path());
    EXPECT_EQ(instance.CurrentLanguage(), "de_DE");
    instance.SetLanguage("fr");
    instance.SetLanguage("");
    EXPECT_EQ(instance.CurrentLanguage(), "de_DE");
    EXPECT_EQ(instance.GetText("Size"), "Größe");

    const std::string ini = folder_.Scratch("Quorvex.ini");
    for (const auto& [settings, language] : {std::pair{"[Settings]\nLanguage=\n", "de_DE"},
                                             {"[Settings]\n", "fr"},
                                             {"[Settings]\nLanguage=pt_BR\n", "pt_BR"}}) {
        testing::WriteAll(ini, settings);
        instance.SetLanguage("fr");
        ChooseStartupLanguage(instance, TSettings(ini));
        EXPECT_EQ(instance.CurrentLanguage(), language) << settings;
    }
    instance.AddResourceStringDomain("default");
    EXPECT_EQ(instance.ResourceStringDomains(), (std::vector<std::string>{"default", "rtl"}));
}

TEST_F(GnuGettextTest, AWrongCharsetTurnsTheDomainOffForTheRestOfTheRunWithOneMessage) {
    const std::string latin = folder_.Add("de", {{"Size", "Gr\\303\\266\\303\\237e"}}, "ISO-8859-1");
    folder_.Add("fr", {{"Size", "Taille"}});
    TGnuGettextInstance instance(folder_.Path());
    std::vector<std::pair<std::string, std::string>> shown;
    instance.SetLocalizationProblemHandler(
        [&](const std::string& caption, const std::string& text) { shown.emplace_back(caption, text); });
    instance.SetLanguage("de");
    EXPECT_EQ(instance.GetText("Size"), "Size");
    EXPECT_EQ(instance.GetText("Size"), "Size");
    instance.SetLanguage("fr");
    EXPECT_EQ(instance.GetText("Size"), "Size") << "the domain stays off whatever the language";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Localization problem");
    EXPECT_EQ(shown[0].second,
              "The translation for the language code de (in " + latin +
                  ") does not have charset=utf-8 in its Content-Type. Translations are turned off.");
}

TEST_F(GnuGettextTest, AnInvalidCatalogueIsReportedOnceAndTranslatesNothing) {
    const std::string mo = folder_.Path() + "/de/LC_MESSAGES/default.mo";
    std::filesystem::create_directories(folder_.Path() + "/de/LC_MESSAGES");
    testing::WriteAll(mo, testing::MakeMo({{"Size", "Größe"}}).bytes.substr(0, 40));
    TGnuGettextInstance instance(folder_.Path());
    instance.SetLanguage("de");
    EXPECT_EQ(instance.GetText("Size"), "Size");
    EXPECT_EQ(instance.GetText("Files"), "Files");
    EXPECT_EQ(errors_, std::vector<std::string>{"This file is not a valid GNU gettext mo file: " + mo});
    // Mended, it is read at the next language change.
    testing::WriteAll(mo, testing::MakeMo({{"", testing::kUtf8Header}, {"Size", "Größe"}}).bytes);
    instance.SetLanguage("de");
    EXPECT_EQ(instance.GetText("Size"), "Größe");
}

TEST_F(GnuGettextTest, ABoundDomainReadsItsFileForEveryLanguage) {
    folder_.Add("de", {{"Size", "Größe"}});
    const std::string file = folder_.Scratch("runtime.mo");
    ASSERT_TRUE(testing::CompilePo(file, {{"Cancel", "Abbrechen"}}));
    TGnuGettextInstance instance(folder_.Path());
    instance.BindDomainToFile("rtl", file);
    for (const char* code : {"de", "fr", "C"}) {
        instance.SetLanguage(code);
        EXPECT_EQ(instance.DGetText("rtl", "Cancel"), "Abbrechen") << code;
        EXPECT_EQ(instance.DGetText("rtl", "Size"), "Size") << code;
    }
    EXPECT_EQ(instance.DGetText("unknown", "Cancel"), "Cancel");
}

} // namespace
} // namespace quorvex
