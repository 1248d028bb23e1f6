#include "TreemapCommand.h"

#include "CommandOutput.h"

#include "i18n/Translation.h"
#include "model/FileKinds.h"
#include "model/SizeFormat.h"
#include "model/TreemapLayout.h"
#include "model/TreemapShading.h"
#include "support/AsciiCase.h"
#include "support/PrintableText.h"
#include "support/SafeFileWriter.h"

#include <png.h>

#include <bit>
#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorvex {
namespace {

// Coordinates with two decimals whatever the locale: the tiles' edges are not whole pixels.
std::string Number(float value) {
    char text[32];
    const auto end = std::to_chars(std::begin(text), std::end(text), value, std::chars_format::fixed, 2);
    std::string number(text, end.ptr);
    while (number.ends_with('0'))
        number.pop_back();
    if (number.ends_with('.'))
        number.pop_back();
    return number;
}

void Append(std::string& out, std::initializer_list<std::string_view> parts) {
    for (const std::string_view part : parts)
        out += part;
}

void AppendXmlEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

// The title of a tile: its path escaped as the summary prints names, and its size.
class TTileTitles {
public:
    explicit TTileTitles(TSizeKind sizes) : sizes_(sizes) {}

    TTileItem Of(const TTreemapTile& tile) {
        if (tile.Type != TTileType::File)
            return TreemapTileItem(tile, sizes_);
        // A directory's records are read once for all its tiles, not once per tile.
        auto [it, added] = files_.try_emplace(tile.Node);
        if (added) {
            TTreemapTile each = tile;
            const auto& dir = static_cast<const TDirNode&>(*tile.Node);
            for (each.Record = 0; each.Record < dir.RecordedFileCount(); ++each.Record)
                it->second.push_back(TreemapTileItem(each, sizes_));
        }
        return tile.Record < it->second.size() ? it->second[tile.Record] : TTileItem{};
    }

private:
    TSizeKind sizes_;
    std::unordered_map<const TFileSystemNode*, std::vector<TTileItem>> files_;
};

std::string Svg(const std::vector<TTreemapTile>& tiles, const TCommandLine& line) {
    const std::string width = std::to_string(line.TreemapWidth);
    const std::string height = std::to_string(line.TreemapHeight);
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height + "\">\n";
    TTileTitles titles(line.Sizes.Kind);
    for (const TTreemapTile& tile : tiles) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%06x", TreemapTileColour(tile));
        const std::string x = Number(tile.X);
        const std::string y = Number(tile.Y);
        const std::string w = Number(tile.Width);
        const std::string h = Number(tile.Height);
        // A folder is the frame behind its tiles, not a tile: a path, so that the <rect>s are the tiles.
        if (tile.Type == TTileType::Folder)
            Append(svg, {"<path d=\"M", x, " ", y, "h", w, "v", h, "h-", w, "z\""});
        else
            Append(svg, {"<rect x=\"", x, "\" y=\"", y, "\" width=\"", w, "\" height=\"", h, "\""});
        Append(svg, {" fill=\"", colour, "\"><title>"});
        const TTileItem item = titles.Of(tile);
        AppendXmlEscaped(svg, PrintableText(item.Path));
        Append(svg, {" (", FormatSizeTruncated(item.Size), ")"});
        svg += tile.Type == TTileType::Folder ? "</title></path>\n" : "</title></rect>\n";
    }
    svg += "</svg>\n";
    return svg;
}

// The picture the window shows, encoded by libpng; empty when encoding failed.
std::string Png(const std::vector<TTreemapTile>& tiles, const TCommandLine& line) {
    const int width = line.TreemapWidth;
    const int height = line.TreemapHeight;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    PaintTreemap(tiles, 1, pixels.data(), width, height, width);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    // 0xAARRGGBB words, as bytes in memory.
    image.format = std::endian::native == std::endian::little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    png_alloc_size_t size = 0;
    if (png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, nullptr) == 0)
        return {};
    std::string bytes(size, '\0');
    if (png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, nullptr) == 0)
        return {};
    bytes.resize(size);
    return bytes;
}

} // namespace

bool WriteTreemapFile(const TGroupNode& root, const TCommandLine& line) {
    const TFileKinds kinds;
    TTreemapOptions options;
    options.Width = static_cast<float>(line.TreemapWidth);
    options.Height = static_cast<float>(line.TreemapHeight);
    options.Sizes = line.Sizes.Kind;
    options.Kinds = &kinds;
    const std::vector<TTreemapTile> tiles = LayoutTreemap(root, options);
    const bool png = AsciiLowered(line.TreemapFile).ends_with(".png");
    const std::string bytes = png ? Png(tiles, line) : Svg(tiles, line);
    if (bytes.empty()) {
        ReportError(line.TreemapFile + ": " + TranslateText("the picture could not be encoded"));
        return false;
    }
    try {
        WriteFileSafely(line.TreemapFile, bytes);
    } catch (const EFileWriteError& error) {
        ReportError(error.Step() == EFileWriteError::TStep::Create
                        ? Substitute(TranslateText("Cannot create file %s"), error.FileName()) + ": " +
                              error.Reason()
                        : std::string(error.what()));
        return false;
    }
    return true;
}

} // namespace quorvex
