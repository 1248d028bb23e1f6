#include "model/FileKinds.h"

#include "support/AsciiCase.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QStringList>
#include <algorithm>

namespace quorvex {
namespace {

struct TKindInfo {
    const char* Name;
    std::uint32_t Colour;
};

constexpr std::array<TKindInfo, kFileKindCount> kKinds{{
    {N_("Images"), 0x3D9970},
    {N_("Video"), 0xE0533D},
    {N_("Audio"), 0xF2B830},
    {N_("Documents"), 0x3F7FD9},
    {N_("Archives"), 0x9C6ADE},
    {N_("Source code"), 0x2BB3C0},
    {N_("Programs and libraries"), 0xC77B30},
    {N_("Packages and disk images"), 0xD0609E},
    {N_("Other"), 0x9AA0A6},
}};

bool StartsWith(const QString& text, const char* prefix) {
    return text.startsWith(QLatin1String(prefix));
}

bool IsAny(const QMimeType& type, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&type](const char* name) {
        return type.name() == QLatin1String(name) || type.inherits(QLatin1String(name));
    });
}

// Packages, programs and documents before archives: many of them are zip files inside (a .deb, a
// .jar, an .odt), and a user asks what they are, not how they are stored.
TFileKind KindOfMimeType(const QMimeType& type) {
    const QString name = type.name();
    if (StartsWith(name, "image/"))
        return TFileKind::Images;
    if (StartsWith(name, "video/"))
        return TFileKind::Video;
    if (StartsWith(name, "audio/"))
        return TFileKind::Audio;
    if (IsAny(type,
              {"application/vnd.debian.binary-package", "application/x-rpm", "application/x-cd-image",
               "application/x-raw-disk-image", "application/x-qemu-disk", "application/x-virtualbox-vdi",
               "application/x-virtualbox-vmdk", "application/x-virtualbox-vhd", "application/vnd.appimage",
               "application/vnd.flatpak", "application/vnd.snap", "application/x-apple-diskimage",
               "application/vnd.android.package-archive", "application/vnd.ms-cab-compressed",
               "application/x-msi", "application/x-arch-package"}) ||
        StartsWith(name, "application/x-archlinux"))
        return TFileKind::Packages;
    if (!type.inherits(QStringLiteral("text/plain")) &&
        IsAny(type, {"application/x-executable", "application/x-sharedlib", "application/x-object",
                     "application/x-pie-executable", "application/x-msdownload",
                     "application/x-ms-dos-executable", "application/x-dosexec", "application/x-java",
                     "application/java-archive", "application/x-python-bytecode", "application/x-archive",
                     "application/x-ms-shortcut", "application/wasm"}))
        return TFileKind::Programs;
    // Every text inherits text/plain: of the texts, only those people read as such are documents.
    static const std::initializer_list<const char*> kDocumentTexts{
        "text/plain", "text/markdown", "text/html", "text/csv", "application/rtf", "application/x-troff-man"};
    if (std::any_of(kDocumentTexts.begin(), kDocumentTexts.end(),
                    [&name](const char* text) { return name == QLatin1String(text); }))
        return TFileKind::Documents;
    if (!type.inherits(QStringLiteral("text/plain")) &&
        (IsAny(type,
               {"application/pdf", "application/postscript", "application/msword", "application/vnd.ms-excel",
                "application/vnd.ms-powerpoint", "application/epub+zip", "application/x-mobipocket-ebook",
                "application/vnd.ms-xpsdocument", "application/oxps"}) ||
         StartsWith(name, "application/vnd.oasis.opendocument.") ||
         StartsWith(name, "application/vnd.openxmlformats-officedocument.")))
        return TFileKind::Documents;
    if (IsAny(type,
              {"application/zip", "application/gzip", "application/x-tar", "application/x-bzip2",
               "application/x-bzip", "application/x-xz", "application/x-lzma", "application/x-7z-compressed",
               "application/vnd.rar", "application/x-rar", "application/zstd", "application/x-zstd",
               "application/x-lz4", "application/x-lzip", "application/x-compress", "application/x-cpio",
               "application/x-arj", "application/x-lha", "application/x-compressed-tar"}))
        return TFileKind::Archives;
    if (type.inherits(QStringLiteral("text/plain")) || StartsWith(name, "text/"))
        return TFileKind::SourceCode;
    return TFileKind::Other;
}

} // namespace

const char* FileKindName(TFileKind kind) {
    return kKinds.at(static_cast<std::size_t>(kind)).Name;
}

std::uint32_t FileKindColour(TFileKind kind) {
    return kKinds.at(static_cast<std::size_t>(kind)).Colour;
}

TFileKinds::TFileKinds() {
    const QMimeDatabase database;
    // Most suffixes belong to one type; the database settles the few that several claim.
    std::unordered_map<std::string, QMimeType> claimed;
    std::unordered_set<std::string> disputed;
    for (const QMimeType& type : database.allMimeTypes()) {
        for (const QString& suffix : type.suffixes()) {
            std::string extension = AsciiLowered((QLatin1Char('.') + suffix).toStdString());
            if (extension.size() < 2)
                continue;
            if (!claimed.emplace(extension, type).second)
                disputed.insert(extension);
        }
    }
    for (auto& [extension, type] : claimed) {
        const auto dots = static_cast<std::size_t>(std::count(extension.begin(), extension.end(), '.'));
        if (dots > 1) {
            compound_.insert(extension);
            longestCompoundDots_ = std::max(longestCompoundDots_, dots);
        }
        if (disputed.count(extension) != 0) {
            const QMimeType chosen = database.mimeTypeForFile(
                QStringLiteral("x") + QString::fromStdString(extension), QMimeDatabase::MatchExtension);
            if (!chosen.isDefault())
                type = chosen;
        }
        kinds_.emplace(extension, KindOfMimeType(type));
    }
}

std::string TFileKinds::ExtensionOf(std::string_view name) const {
    const std::size_t last = name.rfind('.');
    // No dot, a hidden file's leading one only, or a trailing one: nothing after it to tell a kind.
    if (last == std::string_view::npos || last == 0 || last + 1 == name.size())
        return {};
    std::string extension = AsciiLowered(name.substr(last));
    std::size_t from = last;
    for (std::size_t dots = 2; dots <= longestCompoundDots_ && from > 0; ++dots) {
        const std::size_t dot = name.rfind('.', from - 1);
        if (dot == std::string_view::npos || dot == 0)
            break;
        std::string longer = AsciiLowered(name.substr(dot));
        if (compound_.count(longer) != 0)
            extension = std::move(longer);
        from = dot;
    }
    return extension;
}

TFileKind TFileKinds::KindOf(std::string_view name) const {
    const TFileKind kind = KindOfExtension(ExtensionOf(name));
    if (kind != TFileKind::Other)
        return kind;
    std::string_view rest = name;
    for (std::size_t dot = rest.rfind('.');
         dot != std::string_view::npos && dot > 0 && dot + 1 < rest.size() &&
         rest.find_first_not_of("0123456789", dot + 1) == std::string_view::npos;
         dot = rest.rfind('.'))
        rest = rest.substr(0, dot);
    return rest.size() < name.size() ? KindOfExtension(ExtensionOf(rest)) : kind;
}

TFileKind TFileKinds::KindOfExtension(std::string_view extension) const {
    const auto found = kinds_.find(std::string(extension));
    return found != kinds_.end() ? found->second : TFileKind::Other;
}

} // namespace quorvex
