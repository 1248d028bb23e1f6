#include "shell/MRUDirList.h"

#include "support/Utilities.h"

#include <algorithm>

namespace quorvex {
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

} // namespace quorvex
