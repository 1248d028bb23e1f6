#include "shell/MRUDirList.h"

#include "support/Utilities.h"

#include <algorithm>

namespace quorvex {
namespace {

bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= ' ';
}

} // namespace

TMRUDirList::TMRUDirList(QObject* parent) : QObject(parent) {}

// Nested brackets (AddDir trims) report at the outermost end only.
template <typename Change> void TMRUDirList::Bracket(Change change) {
    struct TDepth {
        int& depth;
        explicit TDepth(int& d) : depth(++d) {}
        ~TDepth() { --depth; }
        TDepth(const TDepth&) = delete;
        TDepth& operator=(const TDepth&) = delete;
    };
    const bool outermost = bracketDepth_ == 0;
    const std::vector<std::string> before = outermost ? items_ : std::vector<std::string>();
    {
        const TDepth depth(bracketDepth_);
        change();
    }
    if (outermost && items_ != before)
        emit Changed();
}

void TMRUDirList::SetMaxCount(int maxCount) {
    maxCount_ = maxCount;
    TrimToMax();
}

void TMRUDirList::AddDir(const std::string& path) {
    Bracket([&] {
        std::string dir = ExcludeTrailingPathDelimiter(path);
        items_.erase(std::remove(items_.begin(), items_.end(), dir), items_.end());
        items_.push_back(std::move(dir));
        TrimToMax();
    });
}

void TMRUDirList::TrimToMax() {
    Bracket([&] {
        const auto excess = static_cast<std::ptrdiff_t>(items_.size()) - std::max(maxCount_, 0);
        if (excess > 0)
            items_.erase(items_.begin(), items_.begin() + excess);
    });
}

void TMRUDirList::RemoveInvalid(const DirectoryTest& isDirectory) {
    Bracket([&] {
        for (std::size_t i = items_.size(); i-- > 0;) {
            if (!isDirectory(items_[i]))
                items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    });
}

void TMRUDirList::RemoveDriveRoots(const std::vector<TMountEntry>& table) {
    Bracket([&] {
        for (const TMountEntry& drive : table) {
            if (drive.Kind == TDriveKind::Unknown)
                continue;
            const std::string root = ExcludeTrailingPathDelimiter(drive.MountPoint);
            items_.erase(std::remove(items_.begin(), items_.end(), root), items_.end());
        }
    });
}

std::string TMRUDirList::CommaText() const {
    return EncodeCommaText(items_);
}

void TMRUDirList::SetCommaText(const std::string& text) {
    Bracket([&] {
        items_ = DecodeCommaText(text);
        lastStored_ = items_;
    });
}

void TMRUDirList::MergeStored(const std::string& stored) {
    Bracket([&] {
        std::vector<std::string> now = DecodeCommaText(stored);
        const auto contains = [](const std::vector<std::string>& list, const std::string& item) {
            return std::find(list.begin(), list.end(), item) != list.end();
        };
        for (const std::string& item : now) {
            if (!contains(lastStored_, item) && !contains(items_, item))
                items_.push_back(item);
        }
        lastStored_ = std::move(now);
        TrimToMax();
    });
}

std::string EncodeCommaText(const std::vector<std::string>& items) {
    if (items.size() == 1 && items.front().empty())
        return "\"\"";
    std::string text;
    for (std::size_t n = 0; n < items.size(); ++n) {
        const std::string& item = items[n];
        if (n > 0)
            text += ',';
        const bool quote =
            std::any_of(item.begin(), item.end(), [](char c) { return IsBlank(c) || c == ',' || c == '"'; });
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

std::vector<std::string> DecodeCommaText(const std::string& stored) {
    const std::string text = stored.substr(0, stored.find('\0'));
    std::vector<std::string> items;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
    };
    skipBlanks();
    while (i < text.size()) {
        std::string item;
        if (text[i] == '"') {
            for (++i; i < text.size(); ++i) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                }
                item += text[i];
            }
        } else {
            while (i < text.size() && !IsBlank(text[i]) && text[i] != ',')
                item += text[i++];
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (i < text.size() && text[i] == ',') {
            if (i + 1 == text.size())
                items.emplace_back();
            ++i;
            skipBlanks();
        }
    }
    return items;
}

} // namespace quorvex
