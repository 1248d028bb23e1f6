#pragma once

#include <QDialog>

#include <string>

class QLabel;

namespace quorvex {

// The about window: icon, product name, the compiled-in version, the notice and a web link.
class TFormInfo : public QDialog {
    Q_OBJECT
public:
    // `fileVersion` is the four-part version ("2.1.3.55"); empty shows no version line.
    explicit TFormInfo(QWidget* parent = nullptr, const std::string& fileVersion = CompiledVersion());

    QString VersionText() const;
    QString WebsiteText() const;

    static std::string CompiledVersion();

private:
    QLabel* labelVersion_;
    QLabel* labelWebsite_;
};

} // namespace quorvex
