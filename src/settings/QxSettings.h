#pragma once

#include "settings/QxIniFile.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// The settings folder cannot be created.
class ESettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TQxPaintOption : std::uint8_t {
    poDrawChildPercentBars = 0,
};

// A set of TQxPaintOption, one bit per ordinal (ordinals 0 to 7).
class TQxPaintOptions {
public:
    TQxPaintOptions() = default;
    TQxPaintOptions(std::initializer_list<TQxPaintOption> options);

    bool Contains(TQxPaintOption option) const;
    void Include(TQxPaintOption option);
    void Exclude(TQxPaintOption option);
    bool Empty() const { return bits_ == 0; }
    std::uint8_t Bits() const { return bits_; }
    friend bool operator==(const TQxPaintOptions&, const TQxPaintOptions&) = default;

private:
    std::uint8_t bits_ = 0;
};

// The member names of TQxPaintOption, by ordinal.
std::span<const std::string_view> PaintOptionNames();
// Reads a set as written by TQxIniFile::WriteSet, lenient about blanks and brackets; one name that
// is not a member makes the whole result empty.
TQxPaintOptions ParsePaintOptions(std::string_view text);

inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kDefaultBarChartPainterClass = "TDefaultBarChartPainter";
inline constexpr std::int64_t kDefaultGroupFileSize = 1048576;
inline constexpr std::int32_t kDefaultTreeViewRefreshRate = 250;
inline constexpr std::uint8_t kDefaultFileSizeRounding = 2;

// The painter registry lives in the paint library, which this core must not link. A stored painter
// class name therefore goes through this seam: the paint library installs a resolver that returns
// the canonical name of the registered class (matched ignoring case) or the default painter's name.
// Without a resolver a name is kept as read, and an empty one means the default painter.
using PainterClassResolver = std::function<std::string(const std::string& name)>;
// Returns the previous resolver; an empty one removes it.
PainterClassResolver SetPainterClassResolver(PainterClassResolver resolver);

// The name of the screen section ("1920x1080"), asked at each access. A process without a screen
// has none: the default source answers "", and the screen accessors then read their defaults and
// write nothing. The window layer installs a source that asks the primary screen.
using ScreenSectionNameSource = std::function<std::string()>;
// Returns the previous source; an empty one removes it.
ScreenSectionNameSource SetScreenSectionNameSource(ScreenSectionNameSource source);
std::string ScreenSectionName();

// <config folder>/Quorvex/Quorvex.ini, creating the folder with its parents. The config folder is
// the XDG one (XDG_CONFIG_HOME, else ~/.config). Raises ESettingsError when the folder cannot be made.
std::string SettingsIniFileName();
// The same file name without creating anything; "" when the user has no config folder at all.
std::string SettingsIniFilePath();

// The user's preferences, kept in the INI file. Used on the user-interface thread; scan threads
// get the grouping values handed to them when they are created.
class TSettings {
public:
    // On the file SettingsIniFileName() names.
    TSettings();
    // On the given file; its folder must exist for writes to succeed.
    explicit TSettings(std::string iniFileName);
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;
    ~TSettings() = default;

    // A new object on the same file, with the values of `source`.
    static std::unique_ptr<TSettings> CreateCopy(const TSettings& source);
    // Copies every value; the INI file stays this object's own.
    void Assign(const TSettings& source);

    // Both report any error through ShowErrorDialog and return normally: the values read (or
    // written) before the failure stand, the rest are left as they were.
    void Load();
    void Save();

    // Generic accessors for the keys other parts own. They raise on failure; callers guard them.
    std::string ReadString(std::string_view key, const std::string& defaultValue) const;
    std::int32_t ReadInteger(std::string_view key, std::int32_t defaultValue) const;
    void WriteString(std::string_view key, std::string_view value);
    void WriteInteger(std::string_view key, std::int32_t value);
    std::string ReadScreenString(std::string_view key, const std::string& defaultValue) const;
    void WriteScreenString(std::string_view key, std::string_view value);

    TQxIniFile& IniFile() { return iniFile_; }
    const TQxIniFile& IniFile() const { return iniFile_; }

    std::int64_t GroupFileSize() const { return groupFileSize_; }
    void SetGroupFileSize(std::int64_t value);
    bool GroupSmallFiles() const { return groupSmallFiles_; }
    void SetGroupSmallFiles(bool value);
    // The grouping threshold a scan uses: GroupFileSize when grouping is on, else 0.
    std::int64_t GroupThreshold() const { return groupSmallFiles_ ? groupFileSize_ : 0; }
    const std::string& Language() const { return language_; }
    void SetLanguage(std::string value) { language_ = std::move(value); }
    std::uint8_t FileSizeRounding() const { return fileSizeRounding_; }
    void SetFileSizeRounding(std::uint8_t value) { fileSizeRounding_ = value; }
    const std::string& BarChartPainterClass() const { return barChartPainterClass_; }
    void SetBarChartPainterClass(std::string className) { barChartPainterClass_ = std::move(className); }
    const TQxPaintOptions& PaintOptions() const { return paintOptions_; }
    // Ordinals above 7 are ignored.
    void SetPaintOption(int option, bool on);

    // How many threads walk a scan, all running scans together; 0 = chosen by the program. Read, never
    // written: there is no control for it, so a value put in the file by hand stays as it was.
    std::int32_t ScanJobs() const { return scanJobs_; }
    void SetScanJobs(std::int32_t value) { scanJobs_ = value < 0 ? 0 : value; }

    // Whether the window shows the blocks the disk allocated instead of the logical lengths.
    bool AllocatedSize() const { return allocatedSize_; }
    void SetAllocatedSize(bool on) { allocatedSize_ = on; }
    // Whether a scan counts a file with several names once, at the first name it meets. Read and
    // written, but without a control: it is set in the file.
    bool HardLinksOnce() const { return hardLinksOnce_; }
    void SetHardLinksOnce(bool on) { hardLinksOnce_ = on; }
    // Glob patterns the window's scans neither enter nor count (see TScanExclusions), none of them
    // empty or holding a line break; a different list changes what a scan counts, so it counts as a
    // grouping change.
    const std::vector<std::string>& ExcludePatterns() const { return excludePatterns_; }
    void SetExcludePatterns(std::vector<std::string> patterns);

    // The scan history keeps this many scans of each root, within this many MiB all together.
    std::int32_t HistoryScansPerRoot() const { return historyScansPerRoot_; }
    std::int64_t HistoryBudgetMB() const { return historyBudgetMB_; }
    // Below 1 would keep no history at all, which is what switching it off would be, not a limit.
    void SetHistoryScansPerRoot(std::int32_t value) {
        historyScansPerRoot_ = std::max<std::int32_t>(1, value);
    }
    void SetHistoryBudgetMB(std::int64_t value) { historyBudgetMB_ = std::max<std::int64_t>(1, value); }

    // Neither is read from the file: the refresh rate is only written, and the flag is cleared by
    // the main window before the settings dialog opens.
    std::int32_t TreeViewRefreshRate() const { return treeViewRefreshRate_; }
    void SetTreeViewRefreshRate(std::int32_t value) { treeViewRefreshRate_ = value; }
    bool GroupingChanged() const { return groupingChanged_; }
    void SetGroupingChanged(bool value) { groupingChanged_ = value; }

private:
    TQxIniFile iniFile_;
    std::int64_t groupFileSize_ = kDefaultGroupFileSize;
    std::string language_;
    bool groupingChanged_ = false;
    std::int32_t treeViewRefreshRate_ = kDefaultTreeViewRefreshRate;
    std::int32_t scanJobs_ = 0;
    bool groupSmallFiles_ = true;
    bool allocatedSize_ = false;
    bool hardLinksOnce_ = false;
    std::vector<std::string> excludePatterns_;
    std::int32_t historyScansPerRoot_ = 10;
    std::int64_t historyBudgetMB_ = 256;
    TQxPaintOptions paintOptions_{poDrawChildPercentBars};
    std::uint8_t fileSizeRounding_ = kDefaultFileSizeRounding;
    std::string barChartPainterClass_ = kDefaultBarChartPainterClass;
};

// The one shared settings object, created on first use (with the defaults; Load reads the file).
// Raises ESettingsError when the settings folder cannot be created.
TSettings& GlobalSettings();
// Makes `settings` the shared object, in place of the one GlobalSettings() would create: a process
// that only reads the settings installs one on SettingsIniFilePath(), which creates no folder.
void SetGlobalSettings(std::unique_ptr<TSettings> settings);
// Destroys the shared object; a later GlobalSettings() creates a new one.
void FreeGlobalSettings();

// Display names of the FileSizeRounding values, translated at each call; "" for 0 and unknown values.
std::string FileSizeRoundingName(int value);
// The first of 0, 1, 2 whose name equals `name` exactly; 0 when none does.
std::uint8_t FileSizeRoundingFromName(const std::string& name);
// The non-empty names of 0, 1, 2, in that order.
std::vector<std::string> GetFileSizeRoundingNames();

} // namespace quorvex
