#pragma once

#include "desktop/ShellLaunch.h"
#include "shell/BrowseForFolder.h"
#include "ui/SaveScanResult.h"

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace quorvex {

class TFormMain;

// What the main window calls for its modal dialogs and for the desktop's handlers; tests replace
// them to answer the dialogs and to see what would have been launched.
struct TWindowSeams {
    // Chooses the scan file to open: a byte path, or nothing when cancelled. Empty: the file dialog.
    using OpenScanDialog = std::function<std::optional<std::string>(QWidget* parent)>;

    FolderDialog Folder = ChooseFolderWithDialog;
    SaveFileDialog SaveFile = ShowSaveFileDialog;
    OpenScanDialog OpenScan;
    TShellLauncher Shell = DefaultShellLauncher();
    // Empty: the settings dialog.
    std::function<void(TFormMain&)> SettingsDialog;
};

} // namespace quorvex
