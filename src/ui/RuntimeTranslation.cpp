#include "ui/RuntimeTranslation.h"

#include "i18n/CLibraryMessages.h"
#include "i18n/ErrorDialogs.h"
#include "i18n/GnuGettext.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>

#include <cstdio>

namespace quorvex {

TRuntimeTranslator::TRuntimeTranslator(TGnuGettextInstance& instance, QString qtCatalogueFolder,
                                       QObject* parent)
    : QTranslator(parent), instance_(instance), folder_(std::move(qtCatalogueFolder)) {
    FollowLanguage(instance_.CurrentLanguage());
}

QString TRuntimeTranslator::translate(const char* context, const char* sourceText, const char* disambiguation,
                                      int n) const {
    if (sourceText == nullptr || *sourceText == '\0')
        return {};
    const QString source = QString::fromUtf8(sourceText);
    for (const std::string& domain : instance_.ResourceStringDomains()) {
        QString translated;
        if (domain == "rtl") {
            std::lock_guard lock(mutex_);
            if (qt_)
                translated = qt_->translate(context, sourceText, disambiguation, n);
        } else if (const auto found = instance_.Lookup(domain, sourceText)) {
            translated = QString::fromStdString(*found);
        }
        if (!translated.isEmpty() && translated != source)
            return translated;
    }
    return {};
}

void TRuntimeTranslator::FollowLanguage(const std::string& code) {
    auto loaded = std::make_unique<QTranslator>();
    const QLocale locale(QString::fromStdString(code));
    // QLocale turns an unknown code into the C locale, which has no catalogue: English stays.
    const bool found = locale.language() != QLocale::C && locale.language() != QLocale::English &&
                       loaded->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder_);
    std::lock_guard lock(mutex_);
    qt_ = found ? std::move(loaded) : nullptr;
}

bool TRuntimeTranslator::HasQtCatalogue() const {
    std::lock_guard lock(mutex_);
    return qt_ != nullptr;
}

TRuntimeTranslator& InstallRuntimeTranslation(QCoreApplication& app) {
    TGnuGettextInstance& instance = DefaultInstance();
    auto* translator =
        new TRuntimeTranslator(instance, QLibraryInfo::path(QLibraryInfo::TranslationsPath), &app);
    QCoreApplication::installTranslator(translator);
    instance.SetLanguageChangedHandler([translator](const std::string& code) {
        translator->FollowLanguage(code);
        // Installing again sends the LanguageChange event that makes Qt's widgets fetch their texts.
        QCoreApplication::removeTranslator(translator);
        QCoreApplication::installTranslator(translator);
    });
    instance.SetLocalizationProblemHandler([](const std::string& caption, const std::string& text) {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
            return;
        }
        QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption), QString::fromStdString(text),
                        QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    });
    instance.SetCatalogueErrorHandler([](const std::string& text) { ShowErrorDialog(text); });
    FollowLanguageInCLibrary(instance.CurrentLanguage());
    return *translator;
}

} // namespace quorvex
