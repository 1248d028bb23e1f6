#include "common/FileText.h"
#include "common/ScopedEnv.h"
#include "common/TempTree.h"

#include "i18n/ErrorDialogs.h"
#include "i18n/GnuGettext.h"
#include "i18n/MoCatalogue.h"
#include "i18n/Translation.h"
#include "settings/QxSettings.h"
#include "settings/StartupLanguage.h"
#include "ui/RuntimeTranslation.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace quorvex {
namespace {

using testing::TempTree;
using testing::WriteAll;

// An MO file: 28-byte header, the two tables, then the strings, each with its NUL.
struct MoLayout {
    std::string bytes;
    std::size_t originalsOffset = 0;
    std::size_t translationsOffset = 0;
    std::vector<std::size_t> stringOffsets; // keys first, then translations
};

void PutWord(std::string& bytes, std::size_t at, std::uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> shift) & 0xFF);
    }
}

MoLayout MakeMo(const std::vector<std::pair<std::string, std::string>>& entries, bool bigEndian = false) {
    MoLayout mo;
    const auto count = static_cast<std::uint32_t>(entries.size());
    mo.originalsOffset = 28;
    mo.translationsOffset = 28 + std::size_t{8} * count;
    mo.bytes.assign(mo.translationsOffset + std::size_t{8} * count, '\0');
    const auto put = [&](std::size_t at, std::size_t value) {
        PutWord(mo.bytes, at, static_cast<std::uint32_t>(value), bigEndian);
    };
    put(0, 0x950412de);
    put(8, count);
    put(12, mo.originalsOffset);
    put(16, mo.translationsOffset);
    for (const std::size_t table : {mo.originalsOffset, mo.translationsOffset}) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::string& text = table == mo.originalsOffset ? entries[i].first : entries[i].second;
            put(table + std::size_t{8} * i, text.size());
            put(table + std::size_t{8} * i + 4, mo.bytes.size());
            mo.stringOffsets.push_back(mo.bytes.size());
            mo.bytes += text;
            mo.bytes.push_back('\0');
        }
    }
    return mo;
}

const char* const kUtf8Header = "Content-Type: text/plain; charset=UTF-8\n";

// A catalogue folder with language folders: locale/<code>/LC_MESSAGES/default.mo.
class Catalogues {
public:
    std::string Path() const { return tree_ / "locale"; }
    std::string Add(const std::string& code, std::map<std::string, std::string> messages,
                    const std::string& charset = "UTF-8") const {
        const std::string folder = Path() + "/" + code + "/LC_MESSAGES";
        std::filesystem::create_directories(folder);
        messages[""] = "Content-Type: text/plain; charset=" + charset + "\n";
        WriteAll(folder + "/default.mo", MakeMo({messages.begin(), messages.end()}).bytes);
        return folder + "/default.mo";
    }
    std::string Scratch(const std::string& name) const { return tree_ / name; }

private:
    TempTree tree_;
};

const std::string kName = "/some/where/default.mo";

const std::vector<std::pair<std::string, std::string>> kEntries{
    {"", kUtf8Header}, {"&File", "&Datei"}, {"Size", "Größe"}};

void ExpectInvalid(const std::string& bytes, const std::string& why) {
    try {
        TMoCatalogue::FromBytes(bytes, kName);
        ADD_FAILURE() << "accepted: " << why;
    } catch (const EMoFileError& error) {
        EXPECT_EQ(error.what(), "This file is not a valid GNU gettext mo file: " + kName) << why;
    }
}

TEST(MoCatalogue, ReadsBothByteOrdersPluralsAndWhatMsgfmtWrites) {
    for (const bool bigEndian : {false, true}) {
        const auto catalogue = TMoCatalogue::FromBytes(MakeMo(kEntries, bigEndian).bytes, kName);
        EXPECT_EQ(catalogue->Find("&File").value_or("?"), "&Datei") << bigEndian;
        EXPECT_EQ(catalogue->Find("Size").value_or("?"), "Größe") << bigEndian;
        EXPECT_FALSE(catalogue->Find("Files")) << bigEndian;
    }
    // The charset counts on the Content-Type line only, whatever its case.
    EXPECT_TRUE(HeaderDeclaresUtf8("Project-Id-Version: x\ncontent-type: text/plain; CHARSET=utf-8\n"));
    EXPECT_FALSE(HeaderDeclaresUtf8("X-Note: charset=UTF-8\nContent-Type: text/plain\n"));
    const auto plural = TMoCatalogue::FromBytes(
        MakeMo({{std::string("File\0Files", 10), std::string("Datei\0Dateien", 13)}}).bytes, kName);
    EXPECT_EQ(plural->Find("File").value_or("?"), "Datei") << "the singular form answers";

    const TempTree tree;
    const std::string mo = tree / "de.mo";
    WriteAll(tree / "de.po",
             "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\nmsgid "
             "\"Local Drives\"\nmsgstr \"Lokale Laufwerke\"\n\nmsgid \"sec.\"\nmsgstr \"Sek.\"\n");
    ASSERT_EQ(std::system(("msgfmt -o '" + mo + "' '" + tree / "de.po" + "'").c_str()), 0);
    const auto compiled = TMoCatalogue::FromFile(mo);
    EXPECT_EQ(compiled->Find("sec.").value_or("?"), "Sek.");
    EXPECT_TRUE(HeaderDeclaresUtf8(compiled->Header()));
}

TEST(MoCatalogue, RefusesEveryTruncationAndHostileTablesAndStrings) {
    const MoLayout good = MakeMo(kEntries);
    for (std::size_t size = 0; size < good.bytes.size(); ++size)
        ExpectInvalid(good.bytes.substr(0, size), "truncated to " + std::to_string(size));

    const std::size_t originals = good.originalsOffset;
    const std::size_t translations = good.translationsOffset;
    const auto offset = [&](std::size_t string) {
        return static_cast<std::uint32_t>(good.stringOffsets[string]);
    };
    struct Word {
        std::size_t at;
        std::uint32_t value;
    };
    const std::pair<std::vector<Word>, const char*> cases[] = {
        {{{0, 0x12345678u}}, "magic"},
        {{{4, 2u << 16}}, "major revision 2"},
        {{{8, 0xFFFFFFFFu}}, "absurd count"},
        {{{8, 0x20000000u}}, "count times 8 wraps 32 bits"},
        {{{12, 0xFFFFFFF0u}}, "table past the end"},
        {{{16, 4}}, "table inside the header"},
        {{{originals + 12, 0xFFFFFFF0u}}, "string offset past the end"},
        {{{originals + 8, 0xFFFFFFFFu}}, "length wrapping the offset"},
        // The translation of "Size" pointed at the bytes of "&File": one string aliasing another.
        {{{translations + 20, offset(1)}, {translations + 16, 5}}, "overlapping strings"},
        // The high byte of a length word is a NUL, so only the overlap check can catch it.
        {{{originals + 12, static_cast<std::uint32_t>(translations + 3)}, {originals + 8, 0}},
         "a string inside a table"},
    };
    for (const auto& [words, why] : cases) {
        std::string bytes = good.bytes;
        for (const Word& word : words)
            PutWord(bytes, word.at, word.value, false);
        ExpectInvalid(bytes, why);
    }
    std::string unterminated = good.bytes;
    unterminated[good.stringOffsets[1] + 5] = 'x';
    ExpectInvalid(unterminated, "unterminated string");
}

TEST(MoCatalogue, OpensRegularFilesOnlyAndNeverWaitsOnAFifo) {
    TempTree tree;
    ASSERT_EQ(::mkfifo((tree / "default.mo").c_str(), 0644), 0);
    tree.Dir("folder.mo");
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [name, why] : {std::pair{"default.mo", "is not a valid"},
                                    {"folder.mo", "is not a valid"},
                                    {"missing.mo", "could not be read"}}) {
        try {
            TMoCatalogue::FromFile(tree / name);
            ADD_FAILURE() << "read: " << name;
        } catch (const EMoFileError& error) {
            EXPECT_NE(std::string(error.what()).find(why), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(tree / name), std::string::npos) << error.what();
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

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

    Catalogues folder_;
    std::vector<std::string> errors_;
    std::vector<std::string> errorBox_;
    ErrorDialogHandler previous_;
};

// A language of its own wins over its two-letter base, whatever the folder's case; codes that are no
// folder name find nothing, not even a catalogue where they would lead.
TEST_F(GnuGettextTest, FindsTheLanguageFolderThenItsTwoLetterBaseWhateverTheCase) {
    folder_.Add("de", {{"Size", "Größe"}});
    const std::string austrian = folder_.Add("de_AT", {{"Size", "Grösse"}});
    folder_.Add("pt_BR", {{"Size", "Tamanho"}});
    folder_.Add("FR", {{"Size", "Taille"}});
    std::filesystem::create_directories(folder_.Scratch("LC_MESSAGES"));
    WriteAll(folder_.Scratch("LC_MESSAGES/default.mo"),
             MakeMo({{"", kUtf8Header}, {"Size", "Outside"}}).bytes);
    TGnuGettextInstance instance(folder_.Path());
    Listen(instance);
    const std::pair<const char*, const char*> cases[] = {
        {"de_AT", "Grösse"}, {"de_DE", "Größe"}, {"pt_BR", "Tamanho"}, {"fr_CA", "Taille"}, {"pt_PT", "Size"},
        {"C", "Size"},       {"..", "Size"},     {"../", "Size"},      {"./de", "Size"}};
    for (const auto& [code, text] : cases) {
        instance.SetLanguage(code);
        EXPECT_EQ(instance.GetText("Size"), text) << code;
    }
    instance.SetLanguage("de_AT");
    EXPECT_EQ(instance.CatalogueFile("default"), austrian);
    EXPECT_EQ(instance.GetText(""), "") << "the header is no translation";
    EXPECT_TRUE(errors_.empty());
}

// An empty code, and at start-up an empty Language key, take the environment; a missing key keeps it.
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
        WriteAll(ini, settings);
        instance.SetLanguage("fr");
        ChooseStartupLanguage(instance, TSettings(ini));
        EXPECT_EQ(instance.CurrentLanguage(), language) << settings;
    }
}

TEST_F(GnuGettextTest, AWrongCharsetTurnsTheDomainOffForTheRestOfTheRunWithOneMessage) {
    const std::string latin = folder_.Add("de",
                                          {{"Size", "Gr\xf6\xdf"
                                                    "e"}},
                                          "ISO-8859-1");
    folder_.Add("fr", {{"Size", "Taille"}});
    TGnuGettextInstance instance(folder_.Path());
    std::vector<std::pair<std::string, std::string>> shown;
    instance.SetLocalizationProblemHandler(
        [&](const std::string& caption, const std::string& text) { shown.emplace_back(caption, text); });
    instance.SetLanguage("de");
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
    WriteAll(mo, MakeMo({{"Size", "Größe"}}).bytes.substr(0, 40));
    TGnuGettextInstance instance(folder_.Path());
    Listen(instance);
    instance.SetLanguage("de");
    EXPECT_EQ(instance.GetText("Size"), "Size");
    const std::string message = "This file is not a valid GNU gettext mo file: " + mo;
    EXPECT_EQ(errors_, std::vector<std::string>{message});
    // A process without a handler (the command) prints it as an error.
    instance.SetCatalogueErrorHandler({});
    instance.SetLanguage("de");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(instance.GetText("Size"), "Size");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: " + message + "\n");
    // Mended, it is read at the next language change.
    WriteAll(mo, MakeMo({{"", kUtf8Header}, {"Size", "Größe"}}).bytes);
    instance.SetLanguage("de");
    EXPECT_EQ(instance.GetText("Size"), "Größe");
}

QString YesButtonText() {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
    return box.button(QMessageBox::Yes)->text();
}

// Qt's own texts (the buttons of a message box) follow the language only once the runtime's domain is
// registered, the program's own catalogue first; the installed translator follows every change.
TEST(RuntimeTexts, QtsOwnTextsFollowTheLanguageAndABrokenCatalogueReachesTheErrorBox) {
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(qtFolder + QStringLiteral("/qtbase_de.qm")))
        GTEST_SKIP() << "Qt's German catalogue is not installed (Debian: qt6-translations-l10n)";
    const Catalogues folder;
    const std::string before = CurrentLanguage();
    TRuntimeTranslator& translator = InstallRuntimeTranslation(*QCoreApplication::instance());
    DefaultInstance().AddResourceStringDomain("rtl");
    SetLanguage("de_DE");
    EXPECT_EQ(YesButtonText(), QStringLiteral("&Ja"));
    // An unreadable catalogue reaches the window's error box.
    const std::string broken = folder.Scratch("broken.mo");
    WriteAll(broken, "not a catalogue");
    DefaultInstance().BindDomainToFile("broken", broken);
    std::vector<std::string> shown;
    const ErrorDialogHandler previous =
        SetErrorDialogHandler([&](const std::string& text) { shown.push_back(text); });
    EXPECT_EQ(DefaultInstance().DGetText("broken", "Size"), "Size");
    SetErrorDialogHandler(previous);
    EXPECT_EQ(shown, std::vector<std::string>{"This file is not a valid GNU gettext mo file: " + broken});
    DefaultInstance().SetLanguageChangedHandler({});
    DefaultInstance().SetLocalizationProblemHandler({});
    DefaultInstance().SetCatalogueErrorHandler({});
    QCoreApplication::removeTranslator(&translator);
    SetLanguage(before);
}

} // namespace
} // namespace quorvex
