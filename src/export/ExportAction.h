#pragma once

#include "model/FileSystemNode.h"
#include "model/SizeFormat.h"

#include <string>

namespace quorvex {

class TExportClass;

// The size formatter an export of `exportClass` takes under the user's FileSizeRounding: formats
// that write human-readable sizes round (1) or truncate (2); with 0, and for the formats of exact
// byte counts, none (plain byte counts).
TSizeFormatter ExportSizeFormatter(const TExportClass& exportClass, int fileSizeRounding);

// A stored LastFilterIndex made usable: values outside 1 .. number of formats fall back to 1.
int ValidFilterIndex(int lastFilterIndex);

// The save action's export: creates the exporter for `root`, sets its size formatter and the size it
// writes, and writes `fileName` atomically. A failure is shown through ShowErrorDialog and logged;
// returns success.
bool SaveExportToFile(const TExportClass& exportClass, const TFileSystemNode* root,
                      const std::string& fileName, int fileSizeRounding, TSizeKind kind = TSizeKind::Logical);

} // namespace quorvex
