#pragma once

#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QMenu;

namespace quorvex {

// The favourites: recently scanned directories (newest first, at most `capacity`) and the local file
// systems. Kept small until the full favourites feature arrives; its stored form is the comma text
// of "MRUDirList".
class TFavourites : public QObject {
    Q_OBJECT
public:
    using ScanRequest = std::function<void(const std::string& path)>;

    explicit TFavourites(int capacity, QObject* parent = nullptr);

    // Moves or adds `path` to the front.
    void Add(const std::string& path);
    const std::vector<std::string>& Items() const { return items_; }

    std::string ToCommaText() const;
    void FromCommaText(const std::string& text);

    // Refills `menu`: the recent directories, "Local Drives" and each local file system. Choosing an
    // entry calls `scan` with its path ("" for "Local Drives").
    void FillMenu(QMenu* menu, const ScanRequest& scan) const;

signals:
    void Changed();

private:
    int capacity_;
    std::vector<std::string> items_;
};

// Comma text: items joined by ","; an item with a control character, a blank, a comma or a double quote
// is quoted with inner quotes doubled. On reading, blanks and commas outside quotes both separate.
std::string EncodeCommaText(const std::vector<std::string>& items);
std::vector<std::string> DecodeCommaText(const std::string& text);

} // namespace quorvex
