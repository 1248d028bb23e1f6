#include "settings/QxSettings.h"

#include "i18n/ErrorDialogs.h"
#include "i18n/Translation.h"
#include "support/AsciiCase.h"
#include "support/CommaText.h"
#include "support/PathText.h"
#include "support/Utilities.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <utility>

namespace quorvex {
namespace {

constexpr const char* kKeyGroupSmallFiles = "GroupSmallFiles";
constexpr const char* kKeyGroupFileSize = "GroupFileSize";
constexpr const char* kKeyLanguage = "Language";
constexpr const char* kKeyTreeViewRefreshRate = "TreeViewRefreshRate";
constexpr const char* kKeyPaintOptions = "PaintOptions";
constexpr const char* kKeyFileSizeRounding = "FileSizeRounding";
constexpr const char* kKeyBarChartPainterClass = "BarChartPainterClass";
constexpr const char* kKeyScanJobs = "ScanJobs";
constexpr const char* kKeyAllocatedSize = "AllocatedSize";
constexpr const char* kKeyHardLinksOnce = "CountHardLinksOnce";
constexpr const char* kKeyExcludePatterns = "ExcludePatterns";
constexpr const char* kKeyHistoryScansPerRoot = "HistoryScansPerRoot";
constexpr const char* kKeyHistoryBudgetMB = "HistoryBudgetMB";

constexpr std::array<std::string_view, 1> kPaintOptionNames{"poDrawChildPercentBars"};

// The two seams other libraries fill in; guarded because installing one may race a read in tests.
struct Seams {
    std::mutex mutex;
    PainterClassResolver painterResolver;
    ScreenSectionNameSource screenSource;
};

Seams& TheSeams() {
    static Seams seams;
    return seams;
}

std::string ResolvePainterClass(const std::string& name) {
    PainterClassResolver resolver;
    {
        std::lock_guard lock(TheSeams().mutex);
        resolver = TheSeams().painterResolver;
    }
    std::string resolved = resolver ? resolver(name) : name;
    return resolved.empty() ? std::string(kDefaultBarChartPainterClass) : resolved;
}

struct GlobalSlot {
    std::mutex mutex;
    std::unique_ptr<TSettings> settings;
};

GlobalSlot& TheGlobalSlot() {
    static GlobalSlot slot;
    return slot;
}

} // namespace

TQxPaintOptions::TQxPaintOptions(std::initializer_list<TQxPaintOption> options) {
    for (const TQxPaintOption option : options)
        Include(option);
}

bool TQxPaintOptions::Contains(TQxPaintOption option) const {
    return option <= 7 && (bits_ & (1u << option)) != 0;
}

void TQxPaintOptions::Include(TQxPaintOption option) {
    if (option <= 7)
        bits_ = static_cast<std::uint8_t>(bits_ | (1u << option));
}

void TQxPaintOptions::Exclude(TQxPaintOption option) {
    if (option <= 7)
        bits_ = static_cast<std::uint8_t>(bits_ & ~(1u << option));
}

std::span<const std::string_view> PaintOptionNames() {
    return kPaintOptionNames;
}

TQxPaintOptions ParsePaintOptions(std::string_view text) {
    auto isSeparator = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == ']'; };
    TQxPaintOptions result;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i < text.size() && text[i] == '[')
        ++i;
    while (i < text.size()) {
        const std::size_t start = i;
        while (i < text.size() && !isSeparator(text[i]))
            ++i;
        const std::string_view name = text.substr(start, i - start);
        while (i < text.size() && isSeparator(text[i]))
            ++i;
        if (name.empty())
            continue;
        bool found = false;
        for (std::size_t ordinal = 0; ordinal < kPaintOptionNames.size(); ++ordinal) {
            if (EqualsNoCase(name, kPaintOptionNames[ordinal])) {
                result.Include(static_cast<TQxPaintOption>(ordinal));
                found = true;
                break;
            }
        }
        if (!found)
            return {};
    }
    return result;
}

PainterClassResolver SetPainterClassResolver(PainterClassResolver resolver) {
    std::lock_guard lock(TheSeams().mutex);
    return std::exchange(TheSeams().painterResolver, std::move(resolver));
}

ScreenSectionNameSource SetScreenSectionNameSource(ScreenSectionNameSource source) {
    std::lock_guard lock(TheSeams().mutex);
    return std::exchange(TheSeams().screenSource, std::move(source));
}

std::string ScreenSectionName() {
    ScreenSectionNameSource source;
    {
        std::lock_guard lock(TheSeams().mutex);
        source = TheSeams().screenSource;
    }
    return source ? source() : std::string();
}

std::string SettingsIniFilePath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base.isEmpty() ? std::string()
                          : IncludeTrailingPathDelimiter(EncodePath(base)) + "Quorvex/Quorvex.ini";
}

std::string SettingsIniFileName() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    // Without a config folder the settings would land in the file-system root; refuse instead.
    const std::string folder = base.isEmpty() ? std::string("Quorvex/")
                                              : IncludeTrailingPathDelimiter(EncodePath(base)) + "Quorvex/";
    std::error_code error;
    if (!base.isEmpty())
        std::filesystem::create_directories(folder, error);
    if (base.isEmpty() || error || !std::filesystem::is_directory(folder, error))
        throw ESettingsError(
            Substitute(TranslateText("The application data directory '%s' could not be created."), folder));
    return folder + "Quorvex.ini";
}

TSettings::TSettings() : TSettings(SettingsIniFileName()) {}

TSettings::TSettings(std::string iniFileName)
    : iniFile_(std::move(iniFileName)), language_(CurrentLanguage()) {}

std::unique_ptr<TSettings> TSettings::CreateCopy(const TSettings& source) {
    auto copy = std::make_unique<TSettings>(source.iniFile_.FileName());
    copy->Assign(source);
    return copy;
}

void TSettings::Assign(const TSettings& source) {
    fileSizeRounding_ = source.fileSizeRounding_;
    groupFileSize_ = source.groupFileSize_;
    groupSmallFiles_ = source.groupSmallFiles_;
    language_ = source.language_;
    paintOptions_ = source.paintOptions_;
    treeViewRefreshRate_ = source.treeViewRefreshRate_;
    scanJobs_ = source.scanJobs_;
    allocatedSize_ = source.allocatedSize_;
    hardLinksOnce_ = source.hardLinksOnce_;
    excludePatterns_ = source.excludePatterns_;
    historyScansPerRoot_ = source.historyScansPerRoot_;
    historyBudgetMB_ = source.historyBudgetMB_;
    barChartPainterClass_ = source.barChartPainterClass_;
    groupingChanged_ = source.groupingChanged_;
}

void TSettings::Load() {
    try {
        groupSmallFiles_ = iniFile_.ReadBool(kSettingsSection, kKeyGroupSmallFiles, groupSmallFiles_);
        groupFileSize_ = iniFile_.ReadInt64(kSettingsSection, kKeyGroupFileSize, groupFileSize_);
        language_ = iniFile_.ReadString(kSettingsSection, kKeyLanguage, language_);
        if (const std::string options = iniFile_.ReadString(kSettingsSection, kKeyPaintOptions, {});
            !options.empty())
            paintOptions_ = ParsePaintOptions(options);
        // Only the low 8 bits are kept, without a range check: the views cope with any value.
        fileSizeRounding_ = static_cast<std::uint8_t>(
            iniFile_.ReadInteger(kSettingsSection, kKeyFileSizeRounding, fileSizeRounding_));
        barChartPainterClass_ =
            ResolvePainterClass(iniFile_.ReadString(kSettingsSection, kKeyBarChartPainterClass, {}));
        SetScanJobs(iniFile_.ReadInteger(kSettingsSection, kKeyScanJobs, scanJobs_));
        allocatedSize_ = iniFile_.ReadBool(kSettingsSection, kKeyAllocatedSize, allocatedSize_);
        hardLinksOnce_ = iniFile_.ReadBool(kSettingsSection, kKeyHardLinksOnce, hardLinksOnce_);
        // Quoted comma text, as the recent folders are kept: a pattern may hold commas and blanks.
        std::vector<std::string> patterns =
            DecodeCommaText(iniFile_.ReadString(kSettingsSection, kKeyExcludePatterns, {}));
        std::erase(patterns, std::string());
        excludePatterns_ = std::move(patterns);
        SetHistoryScansPerRoot(
            iniFile_.ReadInteger(kSettingsSection, kKeyHistoryScansPerRoot, historyScansPerRoot_));
        SetHistoryBudgetMB(iniFile_.ReadInt64(kSettingsSection, kKeyHistoryBudgetMB, historyBudgetMB_));
    } catch (const std::exception& e) {
        ShowErrorDialog(e.what());
    }
}

void TSettings::Save() {
    try {
        iniFile_.WriteBool(kSettingsSection, kKeyGroupSmallFiles, groupSmallFiles_);
        iniFile_.WriteInt64(kSettingsSection, kKeyGroupFileSize, groupFileSize_);
        iniFile_.WriteString(kSettingsSection, kKeyLanguage, language_);
        iniFile_.WriteInteger(kSettingsSection, kKeyTreeViewRefreshRate, treeViewRefreshRate_);
        iniFile_.WriteSet(kSettingsSection, kKeyPaintOptions, kPaintOptionNames, paintOptions_.Bits());
        iniFile_.WriteInteger(kSettingsSection, kKeyFileSizeRounding, fileSizeRounding_);
        iniFile_.WriteString(kSettingsSection, kKeyBarChartPainterClass, barChartPainterClass_);
        iniFile_.WriteBool(kSettingsSection, kKeyAllocatedSize, allocatedSize_);
        iniFile_.WriteBool(kSettingsSection, kKeyHardLinksOnce, hardLinksOnce_);
        iniFile_.WriteString(kSettingsSection, kKeyExcludePatterns, EncodeCommaText(excludePatterns_));
        iniFile_.WriteInteger(kSettingsSection, kKeyHistoryScansPerRoot, historyScansPerRoot_);
        iniFile_.WriteInt64(kSettingsSection, kKeyHistoryBudgetMB, historyBudgetMB_);
    } catch (const std::exception& e) {
        ShowErrorDialog(e.what());
    }
}

std::string TSettings::ReadString(std::string_view key, const std::string& defaultValue) const {
    return iniFile_.ReadString(kSettingsSection, key, defaultValue);
}

std::int32_t TSettings::ReadInteger(std::string_view key, std::int32_t defaultValue) const {
    return iniFile_.ReadInteger(kSettingsSection, key, defaultValue);
}

void TSettings::WriteString(std::string_view key, std::string_view value) {
    iniFile_.WriteString(kSettingsSection, key, value);
}

void TSettings::WriteInteger(std::string_view key, std::int32_t value) {
    iniFile_.WriteInteger(kSettingsSection, key, value);
}

std::string TSettings::ReadScreenString(std::string_view key, const std::string& defaultValue) const {
    const std::string section = ScreenSectionName();
    return section.empty() ? defaultValue : iniFile_.ReadString(section, key, defaultValue);
}

void TSettings::WriteScreenString(std::string_view key, std::string_view value) {
    if (const std::string section = ScreenSectionName(); !section.empty())
        iniFile_.WriteString(section, key, value);
}

void TSettings::SetGroupFileSize(std::int64_t value) {
    if (value == groupFileSize_)
        return;
    groupFileSize_ = value;
    groupingChanged_ = true;
}

void TSettings::SetGroupSmallFiles(bool value) {
    if (value == groupSmallFiles_)
        return;
    groupSmallFiles_ = value;
    groupingChanged_ = true;
}

void TSettings::SetExcludePatterns(std::vector<std::string> patterns) {
    if (patterns == excludePatterns_)
        return;
    excludePatterns_ = std::move(patterns);
    groupingChanged_ = true;
}

void TSettings::SetPaintOption(int option, bool on) {
    if (option < 0 || option > 7)
        return;
    if (on)
        paintOptions_.Include(static_cast<TQxPaintOption>(option));
    else
        paintOptions_.Exclude(static_cast<TQxPaintOption>(option));
}

TSettings& GlobalSettings() {
    GlobalSlot& slot = TheGlobalSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.settings)
        slot.settings = std::make_unique<TSettings>();
    return *slot.settings;
}

void SetGlobalSettings(std::unique_ptr<TSettings> settings) {
    std::unique_ptr<TSettings> old;
    std::lock_guard lock(TheGlobalSlot().mutex);
    old = std::exchange(TheGlobalSlot().settings, std::move(settings));
}

void FreeGlobalSettings() {
    std::unique_ptr<TSettings> old;
    {
        std::lock_guard lock(TheGlobalSlot().mutex);
        old = std::move(TheGlobalSlot().settings);
    }
}

std::string FileSizeRoundingName(int value) {
    switch (value) {
    case 1:
        return TranslateText("banker's rounding");
    case 2:
        return TranslateText("round down, as the Windows Explorer does");
    default:
        return {};
    }
}

std::uint8_t FileSizeRoundingFromName(const std::string& name) {
    for (int value = 0; value <= 2; ++value) {
        if (FileSizeRoundingName(value) == name)
            return static_cast<std::uint8_t>(value);
    }
    return 0;
}

std::vector<std::string> GetFileSizeRoundingNames() {
    std::vector<std::string> names;
    for (int value = 0; value <= 2; ++value) {
        if (std::string name = FileSizeRoundingName(value); !name.empty())
            names.push_back(std::move(name));
    }
    return names;
}

} // namespace quorvex
