#include "shell/InfoPanel.h"
#include "support/PathText.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace quorvex {

TInfoPanel::TInfoPanel(QWidget* parent) : QFrame(parent), text_(new QLabel(this)) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 3, 3);
    text_->setWordWrap(true);
    text_->setTextFormat(Qt::PlainText);
    layout->addWidget(text_, 1);
    auto* close = new QToolButton(this);
    close->setAutoRaise(true);
    close->setText(QStringLiteral("\u00d7"));
    connect(close, &QToolButton::clicked, this, &QWidget::hide);
    layout->addWidget(close);
    hide();
}

void TInfoPanel::ShowMessage(const std::string& message, const std::string& path) {
    QString text = QString::fromStdString(message);
    if (!path.empty())
        text += QStringLiteral("\n") + DecodePath(path);
    text_->setText(text);
    show();
}

QString TInfoPanel::Message() const {
    return text_->text();
}

} // namespace quorvex
