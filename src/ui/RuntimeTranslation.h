#pragma once

#include <QString>
#include <QTranslator>

#include <memory>
#include <mutex>
#include <string>

class QCoreApplication;

namespace quorvex {

class TGnuGettextInstance;

// Qt's own texts (the buttons of message boxes, the file dialog) in the program's language. Each text is
// looked up in the resource-string domains in their order: `default` is the program's own catalogue,
// `rtl` stands for Qt's catalogue of the language (qtbase_<code>.qm); the first translation that
// differs from the English text wins.
class TRuntimeTranslator : public QTranslator {
    Q_OBJECT
public:
    TRuntimeTranslator(TGnuGettextInstance& instance, QString qtCatalogueFolder, QObject* parent = nullptr);

    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }

    // Loads Qt's catalogue for `code` (de_AT falls back to de); none for English or an unknown code.
    void FollowLanguage(const std::string& code);
    bool HasQtCatalogue() const;

private:
    TGnuGettextInstance& instance_;
    const QString folder_;
    mutable std::mutex mutex_;
    std::unique_ptr<QTranslator> qt_;
};

// Installs the translator on the application, lets it follow every language change of the shared
// translation instance, shows catalogue problems in a message box and lets the C library's messages
// speak the current language again (the application object reset the C locale from the environment).
// The translator is owned by the application.
TRuntimeTranslator& InstallRuntimeTranslation(QCoreApplication& app);

} // namespace quorvex
