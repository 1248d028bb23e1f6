#include "CatalogueFixtures.h"

#include "i18n/CLibraryMessages.h"
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

QString YesButtonText() {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
    return box.button(QMessageBox::Yes)->text();
}

// Qt's own texts (the buttons of a message box) follow the language only once the runtime's domain is
// registered, the program's own catalogue first; the installed translator follows every change.
TEST(RuntimeTexts, QtsOwnTextsFollowTheLanguageWithTheRuntimeDomainAndTheProgramsCatalogueFirst) {
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(qtFolder + QStringLiteral("/qtbase_de.qm")))
        GTEST_SKIP() << "Qt's German catalogue is not installed (Debian: qt6-translations-l10n)";
    const testing::CatalogueFolder folder;
    folder.Add("de", {{"&Yes", "&Jawohl"}});
    {
        TGnuGettextInstance instance(folder.Path());
        instance.SetLanguage("en");
        TRuntimeTranslator translator(instance, qtFolder);
        QCoreApplication::installTranslator(&translator);
        translator.FollowLanguage("de_AT");
        EXPECT_EQ(YesButtonText(), QStringLiteral("&Yes"))
            << "without the domain rtl Qt's catalogue is not asked";
        instance.AddResourceStringDomain("rtl");
        EXPECT_EQ(YesButtonText(), QStringLiteral("&Ja"));
        instance.SetLanguage("de");
        translator.FollowLanguage("de");
        EXPECT_EQ(YesButtonText(), QStringLiteral("&Jawohl"));
        translator.FollowLanguage("en");
        EXPECT_FALSE(translator.HasQtCatalogue());
        QCoreApplication::removeTranslator(&translator);
    }
    const std::string before = CurrentLanguage();
    TRuntimeTranslator& translator = InstallRuntimeTranslation(*QCoreApplication::instance());
    DefaultInstance().AddResourceStringDomain("rtl");
    SetLanguage("de_DE");
    EXPECT_EQ(YesButtonText(), QStringLiteral("&Ja"));
    SetLanguage("en_GB");
    EXPECT_EQ(YesButtonText(), QStringLiteral("&Yes"));
    DefaultInstance().SetLanguageChangedHandler({});
    DefaultInstance().SetLocalizationProblemHandler({});
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
