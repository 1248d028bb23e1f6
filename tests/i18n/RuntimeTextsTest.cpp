#include "CatalogueFixtures.h"

#include "i18n/CLibraryMessages.h"
#include "i18n/ErrorDialogs.h"
#include "i18n/GnuGettext.h"
#include "i18n/Translation.h"
#include "ui/RuntimeTranslation.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>

namespace quorvex {
namespace {

QString QtFolder() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

QString YesButtonText() {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
    return box.button(QMessageBox::Yes)->text();
}

class RuntimeTextsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists(QtFolder() + QStringLiteral("/qtbase_de.qm")))
            GTEST_SKIP() << "Qt's German catalogue is not installed (Debian: qt6-translations-l10n)";
    }
    testing::CatalogueFolder folder_;
};

TEST_F(RuntimeTextsTest, QtsOwnTextsFollowTheLanguageOnlyWhenTheRuntimeDomainIsRegistered) {
    TGnuGettextInstance instance(folder_.Path());
    TRuntimeTranslator translator(instance, QtFolder());
    QCoreApplication::installTranslator(&translator);
    translator.FollowLanguage("de_AT");
    EXPECT_EQ(YesButtonText(), QStringLiteral("&Yes"))
        << "without the domain rtl Qt's catalogue is not asked";
    instance.AddResourceStringDomain("rtl");
    EXPECT_EQ(YesButtonText(), QStringLiteral("&Ja"));
    translator.FollowLanguage("en");
    EXPECT_FALSE(translator.HasQtCatalogue());
    EXPECT_EQ(YesButtonText(), QStringLiteral("&Yes"));
    QCoreApplication::removeTranslator(&translator);
}

TEST_F(RuntimeTextsTest, TheProgramsOwnCatalogueIsAskedBeforeQts) {
    folder_.Add("de", {{"&Yes", "&Jawohl"}});
    TGnuGettextInstance instance(folder_.Path());
    instance.AddResourceStringDomain("rtl");
    instance.SetLanguage("de");
    TRuntimeTranslator translator(instance, QtFolder());
    QCoreApplication::installTranslator(&translator);
    EXPECT_EQ(YesButtonText(), QStringLiteral("&Jawohl"));
    QCoreApplication::removeTranslator(&translator);
}

TEST_F(RuntimeTextsTest, TheInstalledTranslatorFollowsEveryLanguageChange) {
    const std::string before = CurrentLanguage();
    TRuntimeTranslator& translator = InstallRuntimeTranslation(*QCoreApplication::instance());
    DefaultInstance().AddResourceStringDomain("rtl");
    SetLanguage("de_DE");
    EXPECT_EQ(YesButtonText(), QStringLiteral("&Ja"));
    SetLanguage("en_GB");
    EXPECT_EQ(YesButtonText(), QStringLiteral("&Yes"));
    // An unreadable catalogue reaches the window's error box.
    const std::string broken = folder_.Scratch("broken.mo");
    testing::WriteAll(broken, "not a catalogue");
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

// The C library's catalogue of German and a message locale it ignores LANGUAGE in.
TEST(CLibraryMessages, StrerrorFollowsTheLanguage) {
    if (!QFile::exists(QStringLiteral("/usr/share/locale/de/LC_MESSAGES/libc.mo")))
        GTEST_SKIP() << "the C library's German messages are not installed (Debian: locales)";
    const std::string saved = std::setlocale(LC_MESSAGES, nullptr);
    std::setlocale(LC_MESSAGES, "C");
    FollowLanguageInCLibrary("de_AT");
    EXPECT_STREQ(std::strerror(ENOENT), "Datei oder Verzeichnis nicht gefunden");
    FollowLanguageInCLibrary("en_US");
    EXPECT_STREQ(std::strerror(ENOENT), "No such file or directory");
    FollowLanguageInCLibrary("C");
    std::setlocale(LC_MESSAGES, saved.c_str());
    FollowLanguageInCLibrary(CurrentLanguage());
}

} // namespace
} // namespace quorvex
