#include "ui/FormInfo.h"

#include "i18n/TranslationMarkers.h"
#include "i18n/VersionText.h"
#include "support/Utilities.h"
#include "support/Version.h"
#include "ui/ApplicationIcon.h"
#include "ui/WindowTranslation.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace quorvex {
namespace {

QString Source(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

std::string TFormInfo::CompiledVersion() {
    return GetFileVersion();
}

TFormInfo::TFormInfo(QWidget* parent, const std::string& fileVersion)
    : QDialog(parent), labelVersion_(new QLabel(this)), labelWebsite_(new QLabel(this)) {
    setWindowTitle(Source(N_("Information")));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(5, 5, 5, 5);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ImageIcon"));
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    icon->setFixedSize(32, 32);
    icon->setAlignment(Qt::AlignTop);
    row->addWidget(icon, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    auto* product = new QLabel(QStringLiteral("Quorvex"), this);
    product->setObjectName(QStringLiteral("LabelProductName"));
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPixelSize(13);
    product->setFont(bold);
    texts->addWidget(product);
    labelVersion_->setObjectName(QStringLiteral("LabelVersion"));
    labelVersion_->setText(fileVersion.empty() ? QString()
                                               : QString::fromStdString(GetVersionString(fileVersion)));
    texts->addWidget(labelVersion_);
    // The sentence is a text of its own, so that the window's translation finds it.
    auto* notice = new QHBoxLayout;
    notice->addWidget(new QLabel(QStringLiteral("\u00a9 The Quorvex developers."), this));
    auto* rights = new QLabel(Source(N_("Free software under the MIT licence.")), this);
    rights->setObjectName(QStringLiteral("LabelNotice"));
    notice->addWidget(rights, 1);
    texts->addLayout(notice);
    labelWebsite_->setObjectName(QStringLiteral("LabelWebsite"));
    labelWebsite_->setText(
        QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromLatin1(kProductWebAddress)));
    labelWebsite_->setTextFormat(Qt::RichText);
    labelWebsite_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    labelWebsite_->setOpenExternalLinks(false);
    labelWebsite_->setCursor(Qt::PointingHandCursor);
    labelWebsite_->setToolTip(Source(N_("Visit the Quorvex web site")));
    connect(labelWebsite_, &QLabel::linkActivated, this,
            [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    texts->addWidget(labelWebsite_);
    labelWebsite_->setVisible(*kProductWebAddress != '\0');
    row->addLayout(texts, 1);
    outer->addLayout(row);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    outer->addWidget(line);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Ok)->setText(Source(N_("OK")));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    outer->addWidget(buttons);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    TranslateWindow(*this);
}

QString TFormInfo::VersionText() const {
    return labelVersion_->text();
}

QString TFormInfo::WebsiteText() const {
    return QString::fromLatin1(kProductWebAddress);
}

} // namespace quorvex
