#include "shell/Favourites.h"

#include "i18n/Translation.h"
#include "model/FileSystemNode.h"
#include "support/MountTable.h"
#include "support/PathText.h"

#include <QAction>
#include <QFile>
#include <QMenu>

#include <algorithm>

namespace quorvex {

TFavourites::TFavourites(int capacity, QObject* parent) : QObject(parent), capacity_(capacity) {}

void TFavourites::Add(const std::string& path) {
    if (path.empty())
        return;
    items_.erase(std::remove(items_.begin(), items_.end(), path), items_.end());
    items_.insert(items_.begin(), path);
    if (static_cast<int>(items_.size()) > capacity_)
        items_.resize(static_cast<std::size_t>(capacity_));
    emit Changed();
}

std::string TFavourites::ToCommaText() const {
    return EncodeCommaText(items_);
}

void TFavourites::FromCommaText(const std::string& text) {
    items_.clear();
    for (const std::string& item : DecodeCommaText(text)) {
        if (!item.empty() && static_cast<int>(items_.size()) < capacity_ &&
            std::find(items_.begin(), items_.end(), item) == items_.end())
            items_.push_back(item);
    }
    emit Changed();
}

void TFavourites::FillMenu(QMenu* menu, const ScanRequest& scan) const {
    menu->clear();
    auto addEntry = [&](const QString& caption, const std::string& path) {
        QAction* action = menu->addAction(caption);
        QObject::connect(action, &QAction::triggered, menu, [scan, path] { scan(path); });
    };
    for (const std::string& item : items_)
        addEntry(DecodePath(item), item);
    if (!items_.empty())
        menu->addSeparator();
    addEntry(QString::fromStdString(TranslateText(kLocalDrivesName)), std::string());
    for (const TMountEntry& drive : FixedDrives(ReadMountTable()))
        addEntry(DecodePath(drive.MountPoint), drive.MountPoint);
}

std::string EncodeCommaText(const std::vector<std::string>& items) {
    if (items.size() == 1 && items.front().empty())
        return "\"\"";
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty())
            text += ',';
        const bool quote = std::any_of(item.begin(), item.end(), [](char c) {
            return static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"';
        });
        if (!quote) {
            text += item;
            continue;
        }
        text += '"';
        for (const char c : item) {
            if (c == '"')
                text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

std::vector<std::string> DecodeCommaText(const std::string& text) {
    std::vector<std::string> items;
    std::size_t i = 0;
    const auto isSeparator = [](char c) {
        return c == ',' || (static_cast<unsigned char>(c) <= ' ' && c != '\0');
    };
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i]))
            ++i;
        if (i >= text.size())
            break;
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < text.size() && !isSeparator(text[i]))
                item += text[i++];
        }
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace quorvex
