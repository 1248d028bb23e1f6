#pragma once

#include "model/FileKinds.h"
#include "model/FileSystemNode.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace quorvex {

enum class TTileType : std::uint8_t {
    Folder,    // a frame: its children are the tiles drawn over it
    File,      // one record of a directory
    FileGroup, // a directory's small files, one tile
};

// One rectangle of a treemap, in the layout's units (logical pixels). A scan of a whole disk draws
// hundreds of thousands of these, so the tile stays small and points back into the tree instead of
// copying names.
struct TTreemapTile {
    float X = 0;
    float Y = 0;
    float Width = 0;
    float Height = 0;
    // A folder's tile: the folder; a file group's: the group; a file's: the directory that records it.
    const TFileSystemNode* Node = nullptr;
    // A file's position among its directory's records (TDirNode::ForEachFile order).
    std::uint32_t Record = kNoRecord;
    // 0 for the top folder; a tile is drawn over every tile of smaller depth before it.
    std::uint8_t Depth = 0;
    TTileType Type = TTileType::Folder;
    TFileKind Kind = TFileKind::Other; // files only

    static constexpr std::uint32_t kNoRecord = std::numeric_limits<std::uint32_t>::max();
};

struct TTreemapOptions {
    float Width = 1280;
    float Height = 800;
    TSizeKind Sizes = TSizeKind::Logical;
    // Colours the files by kind; without it every file is Other.
    const TFileKinds* Kinds = nullptr;
    // Each side of a folder's frame that its children leave uncovered, so that nesting shows even
    // where the shading is flat.
    float FrameInset = 1;
};

// A squarified treemap of `top` filling the options' rectangle: every file a tile whose area is its
// share of the size, every folder a frame holding its children, a file group one tile. Tiles in the
// order they are drawn: a folder's frame before what lies in it. Anything whose share is below one
// square unit is left to its folder's frame. Files come from the directories' records and folders
// from their child lists, each read under its lock, so a scan may go on meanwhile; the tiles point
// into the tree and are valid until a node is removed (deletion, rescan: the window's thread).
std::vector<TTreemapTile> LayoutTreemap(const TGroupNode& top, const TTreemapOptions& options);

// What a tile stands for, for titles and tooltips: the full path (exact bytes) and the size.
struct TTileItem {
    std::string Path;
    std::int64_t Size = 0;
};
TTileItem TreemapTileItem(const TTreemapTile& tile, TSizeKind sizes);

} // namespace quorvex
