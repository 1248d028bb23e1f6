#include "PoFile.h"
#include "WidgetTexts.h"

#include "i18n/Translation.h"
#include "ui/FormInfo.h"
#include "ui/FormMainFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

namespace quorvex {
namespace {

using testing::Normalised;
using testing::WidgetText;

// The German catalogue's messages whose translation differs from the English text, both normalised.
std::map<std::string, std::string> TranslatedMessages() {
    std::map<std::string, std::string> messages;
    for (const auto& entry : testing::ReadPo(QUORVEX_PO_DIR "/de.po"))
        if (Normalised(entry.Id) != Normalised(entry.Str))
            messages.emplace(Normalised(entry.Id), Normalised(entry.Str));
    return messages;
}

// The texts of `texts` that equal a key (or, with `translations`, a value) of `messages`.
std::vector<std::string> Matches(const std::vector<WidgetText>& texts,
                                 const std::map<std::string, std::string>& messages, bool translations) {
    std::set<std::string> wanted;
    for (const auto& [id, str] : messages)
        wanted.insert(translations ? str : id);
    std::vector<std::string> found;
    for (const WidgetText& text : texts)
        if (wanted.count(Normalised(text.Text)))
            found.push_back(text.Owner + ": " + text.Text);
    return found;
}

class WindowLanguageTest : public testing::FormMainTest {
protected:
    WindowLanguageTest() : language_(CurrentLanguage()), folder_(CatalogueFolder()) {
        SetCatalogueFolder(std::filesystem::path(QUORVEX_BINARY).parent_path() / "locale");
        SetLanguage("en");
        settings_.SetLanguage("en");
    }
    ~WindowLanguageTest() override {
        SetCatalogueFolder(folder_);
        SetLanguage(language_);
    }

    void Apply(TFormMain& form, const std::string& code) {
        const auto changed = TSettings::CreateCopy(settings_);
        changed->SetLanguage(code);
        form.OnSettingsApplied(*changed);
    }

    const std::string language_;
    const std::filesystem::path folder_;
    const std::map<std::string, std::string> messages_ = TranslatedMessages();
};

TEST_F(WindowLanguageTest, MainAndAboutWindowLeaveNoEnglishTextInGermanAndNoGermanTextInEnglish) {
    ASSERT_GT(messages_.size(), 50u);
    TFormMain form(settings_);
    const auto english = testing::CollectTexts(form);
    // The window really shows the catalogue's source texts, or the checks below would prove nothing.
    ASSERT_GT(Matches(english, messages_, false).size(), 15u);

    Apply(form, "de");
    EXPECT_EQ(Matches(testing::CollectTexts(form), messages_, false), std::vector<std::string>{});
    EXPECT_GT(Matches(testing::CollectTexts(form), messages_, true).size(), 15u);
    {
        TFormInfo about(&form);
        const auto texts = testing::CollectTexts(about);
        EXPECT_EQ(Matches(texts, messages_, false), std::vector<std::string>{});
        EXPECT_FALSE(Matches(texts, messages_, true).empty());
    }

    Apply(form, "en");
    EXPECT_EQ(Matches(testing::CollectTexts(form), messages_, true), std::vector<std::string>{});
    EXPECT_EQ(Matches(testing::CollectTexts(form), messages_, false).size(),
              Matches(english, messages_, false).size());
    TFormInfo about(&form);
    EXPECT_EQ(Matches(testing::CollectTexts(about), messages_, true), std::vector<std::string>{});
}

} // namespace
} // namespace quorvex
