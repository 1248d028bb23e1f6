#include "support/PathText.h"

#include <QByteArray>
#include <QFile>

namespace quorvex {

QString DecodePath(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string EncodePath(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

} // namespace quorvex
