#include "CatalogueFixtures.h"
#include "common/ScopedEnv.h"

#include "i18n/ErrorDialogs.h"
#include "i18n/GnuGettext.h"
#include "settings/QxSettings.h"
#include "settings/StartupLanguage.h"

#include <gtest/gtest.h>

namespace quorvex {
namespace {

using testing::CatalogueFolder;

class GnuGettextTest : public ::testing::Test {
protected:
    // Unread catalogues reach the instance's own handler, never the program's error box.
    GnuGettextTest()
        : previous_(SetErrorDialogHandler([this](const std::string& e) { errorBox_.push_back(e); })) {}
    ~GnuGettextTest() override {
        SetErrorDialogHandler(previous_);
        EXPECT_TRUE(errorBox_.empty());
    }
    void Listen(TGnuGettextInstance& instance) {
        instance.SetCatalogueErrorHandler([this](const std::string& e) { errors_.push_back(e); });
    }

    CatalogueFolder folder_;
    std::vector<std::string> errors_;
    std::vector<std::string> errorBox_;
    ErrorDialogHandler previous_;
};

// No folder pt: pt_PT finds nothing, and neither does the built-in language. Codes that are no
// folder name find nothing either, not even a catalogue where they would lead.
TEST_F(GnuGettextTest, FindsTheLanguageFolderThenItsTwoLetterBaseWhateverTheCase) {
    folder_.Add("de", {{"Size", "Größe"}});
    folder_.Add("pt_BR", {{"Size", "Tamanho"}});
    folder_.Add("FR", {{"Size", "Taille"}});
    std::filesystem::create_directories(folder_.Scratch("LC_MESSAGES"));
    ASSERT_TRUE(testing::CompilePo(folder_.Scratch("LC_MESSAGES/default.mo"), {{"Size", "Outside"}}));
    TGnuGettextInstance instance(folder_.Path());
    Listen(instance);
    for (const auto& [code, text] : std::vector<std::pair<const char*, const char*>>{{"de_AT", "Größe"},
                                                                                     {"de_DE", "Größe"},
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
    EXPECT_TRUE(errors_.empty());
}

TEST_F(GnuGettextTest, ALanguageOfItsOwnWinsOverItsBaseAndEveryChangeReopens) {
    folder_.Add("de", {{"Size", "Größe"}});
    const std::string austrian = folder_.Add("de_AT", {{"Size", "Grösse"}});
    TGnuGettextInstance instance(folder_.Path());
    instance.SetLanguage("de_AT");
    EXPECT_EQ(instance.GetText("Size"), "Grösse");
    EXPECT_EQ(instance.CatalogueFile("default"), austrian);
    instance.SetLanguage("de");
    EXPECT_EQ(instance.GetText("Size"), "Größe");
    EXPECT_EQ(instance.CurrentLanguage(), "de");
    EXPECT_EQ(instance.GetText(""), "") << "the header is no translation";
}

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
    // The key without a value: the environment, not the language chosen so far.
    testing::WriteAll(ini, "[Settings]\nLanguage=\n");
    instance.SetLanguage("fr");
    ChooseStartupLanguage(instance, TSettings(ini));
    EXPECT_EQ(instance.CurrentLanguage(), "de_DE");
    // No key: the language chosen so far stays.
    testing::WriteAll(ini, "[Settings]\n");
    instance.SetLanguage("fr");
    ChooseStartupLanguage(instance, TSettings(ini));
    EXPECT_EQ(instance.CurrentLanguage(), "fr");
    testing::WriteAll(ini, "[Settings]\nLanguage=pt_BR\n");
    ChooseStartupLanguage(instance, TSettings(ini));
    EXPECT_EQ(instance.CurrentLanguage(), "pt_BR");
}

TEST_F(GnuGettextTest, StartUpRegistersTheRuntimeDomainOnceAfterTheProgramsOwn) {
    TGnuGettextInstance instance(folder_.Path());
    const std::string ini = folder_.Scratch("Quorvex.ini");
    testing::WriteAll(ini, "[Settings]\nLanguage=de\n");
    ChooseStartupLanguage(instance, TSettings(ini));
    instance.AddResourceStringDomain("rtl");
    instance.AddResourceStringDomain("default");
    EXPECT_EQ(instance.ResourceStringDomains(), (std::vector<std::string>{"default", "rtl"}));
}

TEST_F(GnuGettextTest, ListsLanguageFoldersLowerCasedOnceAndOnlyWithACatalogue) {
    TGnuGettextInstance instance(folder_.Path());
    EXPECT_TRUE(instance.ListLanguages("default").empty()) << "no catalogue folder at all";
    folder_.Add("en_US", {{"Size", "Size"}});
    folder_.Add("DE", {{"Size", "Größe"}});
    folder_.Add("de", {{"Size", "Größe"}});
    std::filesystem::create_directories(folder_.Path() + "/fr/LC_MESSAGES"); // no catalogue in it
    auto listed = instance.ListLanguages("default");
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"de", "en_us"}));
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
    Listen(instance);
    instance.SetLanguage("de");
    EXPECT_EQ(instance.GetText("Size"), "Size");
    EXPECT_EQ(instance.GetText("Files"), "Files");
    const std::string message = "This file is not a valid GNU gettext mo file: " + mo;
    EXPECT_EQ(errors_, std::vector<std::string>{message});
    // A process without a handler (the command) prints it as an error.
    instance.SetCatalogueErrorHandler({});
    instance.SetLanguage("de");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(instance.GetText("Size"), "Size");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: " + message + "\n");
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
