#include "model/TreemapLayout.h"

#include "model/RootNodes.h"
#include "model/TreeOperations.h"

#include <algorithm>
#include <stdexcept>

namespace quorvex {

static_assert(sizeof(TTreemapTile) <= 32, "a scan of a disk draws hundreds of thousands of tiles");

namespace {

struct TFrameRect {
    float X, Y, W, H;
};

// One thing to place inside a folder.
struct TItem {
    std::int64_t Size;
    const TFileSystemNode* Node; // null for the rest that stays with the frame
    std::uint32_t Record;
    TTileType Type;
    TFileKind Kind;
};

// Deeper than this no frame is entered: the tile's depth is one byte, and the stack of the recursion
// stays short however deep a scan file nests.
constexpr int kMaxDepth = 254;

class TLayouter {
public:
    TLayouter(const TTreemapOptions& options, std::int64_t groupThreshold)
        : options_(options), threshold_(groupThreshold), scratch_(kMaxDepth + 1) {}

    void Folder(const TGroupNode& group, TFrameRect content, int depth);

    std::vector<TTreemapTile> Tiles;

private:
    void Collect(const TGroupNode& group, double area, std::vector<TItem>& items, std::int64_t& rest);
    void Place(const TItem& item, TFrameRect rect, int depth);
    void Squarify(std::vector<TItem>& items, TFrameRect rect, double scale, int depth);

    const TTreemapOptions& options_;
    std::int64_t threshold_;
    // One list per depth, reused from folder to folder; made at once, as the folders above hold theirs.
    std::vector<std::vector<TItem>> scratch_;
};

void TLayouter::Collect(const TGroupNode& group, double area, std::vector<TItem>& items, std::int64_t& rest) {
    // Anything below a square unit ends in the rest; the folder's own size tells that bound before
    // its entries are summed (during a scan the sum may be a little larger, so the bound is halved).
    const std::int64_t size = group.GetSize(options_.Sizes);
    const double minimum = area > 0 ? static_cast<double>(size) / area / 2 : 0;
    const auto keep = [&](std::int64_t bytes) {
        if (bytes <= 0)
            return false;
        if (static_cast<double>(bytes) >= minimum)
            return true;
        rest += bytes;
        return false;
    };
    const auto* dir = dynamic_cast<const TDirNode*>(&group);
    if (dir != nullptr) {
        // Files below the threshold are in the file group, drawn as one tile.
        const bool grouped = dir->FileGroup() != nullptr && !dir->HasFlag(nfNoFileGroup);
        std::uint32_t index = 0;
        dir->ForEachFile([&](const TPackedFile& file) {
            const std::uint32_t record = index++;
            if ((file.Attributes & kCountedAtAnotherName) != 0 || (grouped && file.Size < threshold_))
                return;
            const std::int64_t bytes =
                options_.Sizes == TSizeKind::Allocated ? file.AllocatedSize : file.Size;
            // The kind needs the name, which only the records hold: only files that may get a tile pay.
            if (keep(bytes))
                items.push_back(
                    {bytes, dir, record, TTileType::File,
                     options_.Kinds != nullptr ? options_.Kinds->KindOf(file.Name) : TFileKind::Other});
        });
    }
    const TChildrenLock guard(&group);
    for (const auto& child : guard.Children()) {
        // Listed files are in already, from the records.
        if (child->GetNodeType() == ntFile)
            continue;
        if (const std::int64_t bytes = child->GetSize(options_.Sizes); keep(bytes))
            items.push_back({bytes, child.get(), TTreemapTile::kNoRecord,
                             child->GetNodeType() == ntFileGroup ? TTileType::FileGroup : TTileType::Folder,
                             TFileKind::Other});
    }
}

void TLayouter::Folder(const TGroupNode& group, TFrameRect content, int depth) {
    const double area = static_cast<double>(content.W) * content.H;
    if (area < 1 || depth >= kMaxDepth)
        return;
    std::vector<TItem>& items = scratch_[static_cast<std::size_t>(depth)];
    items.clear();
    std::int64_t rest = 0;
    Collect(group, area, items, rest);
    std::int64_t total = rest;
    for (const TItem& item : items)
        total += item.Size;
    if (total <= 0)
        return;
    const double scale = area / static_cast<double>(total);
    // Largest first: squarifying wants it, and what is below a square unit is then one run at the end.
    std::sort(items.begin(), items.end(), [](const TItem& a, const TItem& b) {
        if (a.Size != b.Size)
            return a.Size > b.Size;
        return a.Record != b.Record ? a.Record < b.Record : a.Node->Name() < b.Node->Name();
    });
    const auto small = std::find_if(items.begin(), items.end(), [scale](const TItem& item) {
        return static_cast<double>(item.Size) * scale < 1;
    });
    for (auto it = small; it != items.end(); ++it)
        rest += it->Size;
    items.erase(small, items.end());
    if (rest > 0)
        items.push_back({rest, nullptr, TTreemapTile::kNoRecord, TTileType::Folder, TFileKind::Other});
    Squarify(items, content, scale, depth + 1);
}

// Bruls, Huizing and van Wijk's squarified layout: rows along the shorter side, each taking items
// while that does not make its worst aspect ratio worse.
void TLayouter::Squarify(std::vector<TItem>& items, TFrameRect rect, double scale, int depth) {
    // Place may recurse and reuse the deeper lists, never this one.
    std::size_t first = 0;
    while (first < items.size()) {
        const bool vertical = rect.W >= rect.H; // the row is a column at the left
        const double side = vertical ? rect.H : rect.W;
        const double side2 = side * side;
        double sum = 0;
        double worst = 0;
        std::size_t last = first;
        for (; last < items.size(); ++last) {
            const double area = static_cast<double>(items[last].Size) * scale;
            const double newSum = sum + area;
            const double largest = static_cast<double>(items[first].Size) * scale;
            const double ratio =
                std::max(side2 * largest / (newSum * newSum), newSum * newSum / (side2 * area));
            if (last > first && ratio > worst)
                break;
            sum = newSum;
            worst = ratio;
        }
        const bool final = last == items.size();
        // The final row takes what is left, so rounding never leaves a gap at the far side.
        const double thickness = final ? (vertical ? rect.W : rect.H) : (side > 0 ? sum / side : 0);
        double offset = 0;
        for (std::size_t i = first; i < last; ++i) {
            const double length = sum > 0 ? side * static_cast<double>(items[i].Size) * scale / sum : 0;
            const double end = i + 1 == last ? side : offset + length;
            const TFrameRect tile =
                vertical ? TFrameRect{rect.X, rect.Y + static_cast<float>(offset),
                                      static_cast<float>(thickness), static_cast<float>(end - offset)}
                         : TFrameRect{rect.X + static_cast<float>(offset), rect.Y,
                                      static_cast<float>(end - offset), static_cast<float>(thickness)};
            if (items[i].Node != nullptr)
                Place(items[i], tile, depth);
            offset = end;
        }
        const auto t = static_cast<float>(thickness);
        rect = vertical ? TFrameRect{rect.X + t, rect.Y, std::max(0.F, rect.W - t), rect.H}
                        : TFrameRect{rect.X, rect.Y + t, rect.W, std::max(0.F, rect.H - t)};
        first = last;
    }
}

void TLayouter::Place(const TItem& item, TFrameRect rect, int depth) {
    TTreemapTile tile;
    tile.X = rect.X;
    tile.Y = rect.Y;
    tile.Width = rect.W;
    tile.Height = rect.H;
    tile.Node = item.Node;
    tile.Record = item.Record;
    tile.Depth = static_cast<std::uint8_t>(depth);
    tile.Type = item.Type;
    tile.Kind = item.Kind;
    Tiles.push_back(tile);
    if (item.Type != TTileType::Folder)
        return;
    const float inset = options_.FrameInset;
    const bool framed = rect.W > 4 * inset && rect.H > 4 * inset;
    const TFrameRect content =
        framed ? TFrameRect{rect.X + inset, rect.Y + inset, rect.W - 2 * inset, rect.H - 2 * inset} : rect;
    Folder(static_cast<const TGroupNode&>(*item.Node), content, depth);
}

std::int64_t GroupThresholdOf(const TGroupNode& top) {
    try {
        return GetRoot(&top)->GroupThreshold();
    } catch (const std::logic_error&) {
        return 0; // a tree without a root groups nothing
    }
}

} // namespace

std::vector<TTreemapTile> LayoutTreemap(const TGroupNode& top, const TTreemapOptions& options) {
    TLayouter layouter(options, GroupThresholdOf(top));
    if (options.Width <= 0 || options.Height <= 0)
        return {};
    TTreemapTile frame;
    frame.Width = options.Width;
    frame.Height = options.Height;
    frame.Node = &top;
    layouter.Tiles.push_back(frame);
    layouter.Folder(top, TFrameRect{0, 0, options.Width, options.Height}, 0);
    return std::move(layouter.Tiles);
}

TTileItem TreemapTileItem(const TTreemapTile& tile, TSizeKind sizes) {
    TTileItem item;
    item.Path = GetFullPath(tile.Node);
    if (tile.Type != TTileType::File) {
        item.Size = tile.Node->GetSize(sizes);
        return item;
    }
    std::uint32_t index = 0;
    static_cast<const TDirNode*>(tile.Node)->ForEachFile([&](const TPackedFile& file) {
        if (index++ != tile.Record)
            return;
        if (!item.Path.ends_with('/'))
            item.Path += '/';
        item.Path += file.Name;
        item.Size = sizes == TSizeKind::Allocated ? file.AllocatedSize : file.Size;
    });
    return item;
}

} // namespace quorvex
