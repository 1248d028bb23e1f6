#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvex {

// A list of strings, each with an associated object reference that the list does not own.
template <typename T> class TQxStrings {
public:
    struct Item {
        std::string Text;
        T* Object = nullptr;
    };

    int Add(std::string text, T* object = nullptr) {
        items_.push_back(Item{std::move(text), object});
        return static_cast<int>(items_.size()) - 1;
    }
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Strings(int index) const { return items_.at(static_cast<std::size_t>(index)).Text; }
    T* Objects(int index) const { return items_.at(static_cast<std::size_t>(index)).Object; }
    int IndexOf(const std::string& text) const {
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (items_[i].Text == text)
                return static_cast<int>(i);
        }
        return -1;
    }
    void Clear() { items_.clear(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<Item> items_;
};

} // namespace quorvex
