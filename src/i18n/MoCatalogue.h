#pragma once

#include "i18n/TranslationMarkers.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvex {

// A catalogue file that cannot be read, or whose content is not a message catalogue.
class EMoFileError : public std::runtime_error {
public:
    // `prefix` is the English message before the file name, kept apart so it can be shown translated.
    EMoFileError(std::string prefix, std::string fileName, const std::string& detail = {})
        : std::runtime_error(prefix + fileName + detail), prefix_(std::move(prefix)),
          fileName_(std::move(fileName)), detail_(detail) {}

    const std::string& Prefix() const { return prefix_; }
    const std::string& FileName() const { return fileName_; }
    const std::string& Detail() const { return detail_; }

private:
    std::string prefix_;
    std::string fileName_;
    std::string detail_;
};

// The message for a file that is not a message catalogue.
inline constexpr const char* kInvalidMoFile = N_("This file is not a valid GNU gettext mo file: ");

// A compiled GNU gettext message catalogue, read whole into memory and checked before any lookup, so a
// truncated or hostile file is refused at open and never read out of bounds later.
class TMoCatalogue {
public:
    // Larger than any real catalogue; a bigger file is refused rather than read.
    static constexpr std::size_t kMaxFileSize = 64u << 20;

    // `name` is only used in the error message.
    static std::unique_ptr<TMoCatalogue> FromBytes(std::string bytes, const std::string& name);
    // Regular files only: a FIFO, a device or a folder is refused without blocking on it.
    static std::unique_ptr<TMoCatalogue> FromFile(const std::filesystem::path& file);

    // The translation of `key` (for plural entries the singular form), if the catalogue has one.
    std::optional<std::string_view> Find(std::string_view key) const;

    // The catalogue header: the translation of the empty key.
    std::string_view Header() const;

    std::size_t Count() const { return entries_.size(); }

private:
    TMoCatalogue() = default;

    std::string bytes_;
    std::unordered_map<std::string_view, std::string_view> entries_;
};

// True when the header's Content-Type line names UTF-8 as the charset, compared without regard to case.
bool HeaderDeclaresUtf8(std::string_view header);

} // namespace quorvex
