#pragma once

#include "CommandLine.h"

namespace quorvex {

class TGroupNode;

// `--treemap FILE`: the treemap of the scanned tree as an SVG (a <rect> per tile, its <title> the
// escaped path and the size) or as a PNG drawn by the window's painter. False, with the reason on
// stderr, when the file could not be written; a failed write leaves no partial file.
bool WriteTreemapFile(const TGroupNode& root, const TCommandLine& line);

} // namespace quorvex
