#include "SummaryCommand.h"

#include "CommandOutput.h"
#include "FileReports.h"
#include "InterruptNotifier.h"
#include "ScanProgress.h"
#include "TreemapCommand.h"

#include "export/NcduImport.h"
#include "export/ScanHistory.h"
#include "export/TreeTypesExport.h"
#include "i18n/CLibraryMessages.h"
#include "i18n/Translation.h"
#include "model/FileKinds.h"
#include "model/RootNodes.h"
#include "model/SizeFormat.h"
#include "model/TreeCompare.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThreadList.h"
#include "scan/DirScanner.h"
#include "scan/ScanExclusions.h"
#include "settings/QxSettings.h"
#include "support/PosixDir.h"
#include "support/PrintableText.h"
#include "support/Utilities.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <future>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {
namespace {

// A directory is scanned; a regular file is read as a scan file made elsewhere.
bool CheckPath(const std::string& path, bool& isFile) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        ReportError(path + ": " + SystemErrorMessage(errno));
        return false;
    }
    isFile = S_ISREG(st.st_mode);
    if (!S_ISDIR(st.st_mode) && !isFile) {
        ReportError(path + ": " + SystemErrorMessage(ENOTDIR));
        return false;
    }
    return true;
}

// The user's grouping, as the window would scan with it, and how much history to keep. A settings
// file that cannot be read costs the user's choices, not the summary.
std::int64_t GroupThresholdFromSettings(THistoryLimits& limits) {
    try {
        TSettings& settings = GlobalSettings();
        settings.Load();
        limits.ScansPerRoot = settings.HistoryScansPerRoot();
        limits.BudgetBytes = static_cast<std::uint64_t>(settings.HistoryBudgetMB()) << 20;
        return settings.GroupThreshold();
    } catch (const std::exception& e) {
        ReportError(e.what());
        return kDefaultGroupFileSize;
    }
}

struct TRootScan {
    std::string path;
    bool isFile = false;
    std::unique_ptr<TRootDirNode> root = std::make_unique<TRootDirNode>();
    double elapsedSeconds = 0;
};

// Reads the scan file in place of a scan; false (and the reason on stderr) when it cannot be read.
bool ImportScan(TRootScan& scan, std::int64_t threshold, bool hardLinksOnce) {
    const auto start = std::chrono::steady_clock::now();
    try {
        scan.root = ImportNcduFile(scan.path, threshold, hardLinksOnce);
    } catch (const EImportError& error) {
        ReportError(error.what());
        return false;
    }
    scan.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

using TJsonWriter = rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>,
                                      rapidjson::CrtAllocator, rapidjson::kWriteValidateEncodingFlag>;

// A name (or any text) in a JSON document, escaped as in the text: valid UTF-8 whatever its bytes, and the
// escapes give them back exactly.
void JsonText(TJsonWriter& json, std::string_view bytes) {
    const std::string text = PrintableText(bytes);
    if (!json.String(text.data(), static_cast<rapidjson::SizeType>(text.size())))
        throw std::logic_error("an escaped name is not UTF-8");
}

// The figures of one root, the same for the text and the JSON document.
struct TSummaryFigures {
    std::string Path;
    std::int64_t Size = 0;
    std::int64_t Files = 0;
    TTreeCounts Counts;
    std::string Seconds;
    bool Incomplete = false;
    bool Imported = false;
};

TSummaryFigures Figures(const TRootScan& scan, TTreeCounts counts, TSizeKind kind) {
    const TRootDirNode& root = *scan.root;
    TSummaryFigures figures;
    figures.Path = GetFullPath(&root);
    figures.Size = root.GetSize(kind);
    figures.Files = root.GetFileCount();
    figures.Counts = std::move(counts);
    char seconds[32];
    const auto end = std::to_chars(std::begin(seconds), std::end(seconds), scan.elapsedSeconds,
                                   std::chars_format::fixed, 3);
    figures.Seconds.assign(seconds, end.ptr);
    figures.Incomplete = root.HasFlag(nfIncomplete);
    figures.Imported = IsImportedTree(root);
    return figures;
}

// The block of one root. Scripts read these lines: the path is escaped so that no name can forge a
// line, and no figure takes the decimal separator of the user's locale.
std::string Block(const TSummaryFigures& figures) {
    std::string text = "path: " + PrintableText(figures.Path) + "\n";
    text += "size: " + std::to_string(figures.Size) + "\n";
    text += "size_formatted: " + FormatSizeTruncated(figures.Size) + "\n";
    text += "files: " + std::to_string(figures.Files) + "\n";
    text += "directories: " + std::to_string(figures.Counts.Directories) + "\n";
    text += "errors: " + std::to_string(figures.Counts.Errors) + "\n";
    text += "elapsed_seconds: " + figures.Seconds + "\n";
    if (figures.Incomplete)
        text += "incomplete: yes\n";
    if (figures.Imported)
        text += "imported: yes\n";
    return text;
}

void JsonSummary(const TSummaryFigures& figures, TJsonWriter& json) {
    json.Key("size");
    json.Int64(figures.Size);
    json.Key("size_formatted");
    JsonText(json, FormatSizeTruncated(figures.Size));
    json.Key("files");
    json.Int64(figures.Files);
    json.Key("directories");
    json.Int64(figures.Counts.Directories);
    json.Key("errors");
    json.Int64(figures.Counts.Errors);
    // The same three decimals as the text.
    json.Key("elapsed_seconds");
    json.RawValue(figures.Seconds.data(), figures.Seconds.size(), rapidjson::kNumberType);
    json.Key("imported");
    json.Bool(figures.Imported);
}

std::string ExtensionRow(const std::string& extension) {
    return extension.empty() ? std::string(kNoExtension) : PrintableText(extension);
}

// The lines of --largest, --by-type or --by-age for one root, or its entry in the JSON document.
void Report(const TRootDirNode& root, const TCommandLine& line, const TFileKinds* kinds, std::string& text,
            TJsonWriter* json) {
    const auto tab = [](const auto& value) { return "\t" + std::to_string(value); };
    if (line.Command == TCommand::Largest) {
        if (json != nullptr) {
            json->Key("largest");
            json->StartArray();
        }
        for (const TLargeFile& file : LargestFiles(root, line.Largest, line.Sizes)) {
            if (json == nullptr) {
                text += std::to_string(file.Size) + "\t" + PrintableText(file.Path) + "\n";
                continue;
            }
            json->StartObject();
            json->Key("size");
            json->Int64(file.Size);
            json->Key("path");
            JsonText(*json, file.Path);
            json->EndObject();
        }
    } else {
        const bool byType = line.Command == TCommand::ByType;
        if (json != nullptr) {
            json->Key(byType ? "by_type" : "by_age");
            json->StartArray();
        }
        for (const TFileTally& row :
             byType ? FilesByType(root, *kinds, line.Sizes) : FilesByAge(root, line.Sizes)) {
            if (json == nullptr) {
                text += (byType ? ExtensionRow(row.Extension) : std::to_string(row.Year)) + tab(row.Files) +
                        tab(row.Size) + "\n";
                continue;
            }
            json->StartObject();
            if (byType) {
                json->Key("extension");
                JsonText(*json, ExtensionRow(row.Extension));
            } else {
                json->Key("year");
                json->Int(row.Year);
            }
            json->Key("files");
            json->Int64(row.Files);
            json->Key("size");
            json->Int64(row.Size);
            json->EndObject();
        }
    }
    if (json != nullptr)
        json->EndArray();
}

std::string Signed(std::int64_t n) {
    return (n > 0 ? "+" : "") + std::to_string(n);
}

// The lines of --compare, or its JSON document.
std::string CompareReport(const TRootDirNode& older, const TRootDirNode& newer, const TCommandLine& line) {
    const std::vector<TTreeChange> changes = CompareTrees(older, newer, {line.Sizes.Kind, line.Depth});
    std::string out;
    if (!line.Json) {
        for (const TTreeChange& change : changes) {
            out += Signed(change.DeltaSize) + "\t" + Signed(change.DeltaFiles) + "\t" +
                   ChangeStateWord(change.State) + "\t" + PrintableText(change.Path);
            if (change.State == TChangeState::Moved)
                out += "\t" + PrintableText(change.NewPath);
            out += "\n";
        }
        return out;
    }
    rapidjson::StringBuffer document;
    TJsonWriter json(document);
    json.StartArray();
    for (const TTreeChange& change : changes) {
        json.StartObject();
        json.Key("delta_size");
        json.Int64(change.DeltaSize);
        json.Key("delta_files");
        json.Int64(change.DeltaFiles);
        json.Key("state");
        json.String(ChangeStateWord(change.State));
        json.Key("path");
        JsonText(json, change.Path);
        if (change.State == TChangeState::Moved) {
            json.Key("new_path");
            JsonText(json, change.NewPath);
        }
        json.EndObject();
    }
    json.EndArray();
    out.assign(document.GetString(), document.GetSize());
    return out + "\n";
}

// --keep: the scans of directories that ran to their end go to the history; false when one could not
// be saved.
bool KeepScans(const std::vector<std::unique_ptr<TRootScan>>& scans, const THistoryLimits& limits) {
    bool saved = true;
    for (const auto& scan : scans) {
        if (scan->isFile || scan->root->HasFlag(nfIncomplete))
            continue;
        try {
            SaveToHistory(HistoryFolder(), TakeHistorySnapshot(*scan->root), limits);
        } catch (const EExportError& e) {
            ReportError(e.what());
            saved = false;
        }
    }
    return saved;
}

} // namespace

int RunSummaryCommand(int argc, char** argv, const TCommandLine& line) {
    const std::vector<std::string>& paths = line.Paths;
    bool allUsable = true;
    std::vector<bool> isFile(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        bool file = false;
        allUsable = CheckPath(paths[i], file) && allUsable;
        isFile[i] = file;
    }
    if (!allUsable)
        return 2;

    std::unique_ptr<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application = std::make_unique<QCoreApplication>(argc, argv);
    // The application object reset the C locale from the environment; the C library's messages follow
    // the program's language again.
    FollowLanguageInCLibrary(CurrentLanguage());
    THistoryLimits limits;
    const std::int64_t threshold = GroupThresholdFromSettings(limits);

    const std::size_t scanned = std::min(paths.size(), static_cast<std::size_t>(kSummaryMaxRoots));
    std::vector<std::unique_ptr<TRootScan>> scans;
    for (std::size_t i = 0; i < scanned; ++i) {
        scans.push_back(std::make_unique<TRootScan>());
        scans.back()->path = paths[i];
        scans.back()->isFile = isFile[i];
        // The history knows a root by its absolute path, as the window names it; a comparison with a
        // scan file names its items as the file does.
        std::string name = ExcludeTrailingPathDelimiter(paths[i]);
        if ((line.Keep || line.Command == TCommand::Compare) && !isFile[i]) {
            const std::unique_ptr<char, decltype(&std::free)> real(::realpath(paths[i].c_str(), nullptr),
                                                                   &std::free);
            if (real)
                name = real.get();
        }
        scans.back()->root->SetName(name);
        scans.back()->root->SetHardLinksOnce(line.Sizes.HardLinksOnce);
    }
    int exitCode = 0;
    // The files are read at once, each on its own thread: reading is most of the time a comparison
    // of two scan files takes.
    std::vector<std::future<bool>> imports;
    imports.reserve(scans.size());
    for (const auto& scan : scans) {
        imports.push_back(
            std::async(scan->isFile ? std::launch::async : std::launch::deferred, [&scan, threshold, &line] {
                return !scan->isFile || ImportScan(*scan, threshold, line.Sizes.HardLinksOnce);
            }));
    }
    std::vector<std::unique_ptr<TRootScan>> readable;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        if (imports[i].get())
            readable.push_back(std::move(scans[i]));
        else
            exitCode = 1;
    }
    scans = std::move(readable);

    QEventLoop loop;
    TDirScanThreadList threads(kSummaryMaxRoots, [threshold] { return threshold; });
    threads.SetJobs(line.Jobs);
    threads.SetExclusions(std::make_shared<const TScanExclusions>(line.Exclusions));
    TInterruptNotifier interrupt([&threads] { threads.StopAll(); });
    std::size_t running = 0;
    for (const auto& scan : scans) {
        if (scan->isFile)
            continue;
        TDirScanThread* thread = threads.AddThread(scan->root.get());
        if (thread == nullptr)
            break; // cannot happen: the list holds as many as are scanned
        thread->SetOnFinished([&, s = scan.get()](TDirScanThread& finished) {
            s->elapsedSeconds = finished.Scanner().ElapsedSeconds();
            threads.Remove(&finished);
            if (--running == 0)
                loop.quit();
        });
        ++running;
        thread->Resume();
    }
    if (running > 0) {
        TScanProgressTicker progress(STDERR_FILENO,
                                     [&](std::string& directory, std::int64_t& files, std::int64_t& bytes) {
                                         directory = threads.GetCurrentDir();
                                         for (const auto& scan : scans) {
                                             files += scan->root->GetFileCount();
                                             bytes += scan->root->GetSize(line.Sizes.Kind);
                                         }
                                     });
        loop.exec();
        progress.Finish();
    }
    threads.StopAllAndWait();
    if (line.Keep && !interrupt.Interrupted() && !KeepScans(scans, limits))
        exitCode = 1;
    if (line.Command == TCommand::Compare) {
        // A stopped scan would show everything it did not reach as gone.
        if (interrupt.Interrupted()) {
            ReportError(TranslateText("interrupted; nothing compared"));
            return interrupt.ExitStatus();
        }
        if (scans.size() != 2)
            return exitCode;
        for (const auto& scan : scans) {
            const TTreeCounts counts = CountTree(scan->root.get());
            if (!scan->isFile && counts.Errors > 0) {
                ReportUnreadable(counts);
                exitCode = 1;
            }
        }
        return WriteStandardOutput(CompareReport(*scans[0]->root, *scans[1]->root, line)) ? exitCode : 1;
    }
    if (line.Command == TCommand::Treemap) {
        // A picture of part of a tree would pass for the whole in a report.
        if (interrupt.Interrupted()) {
            ReportError(TranslateText("interrupted; nothing was written"));
            return interrupt.ExitStatus();
        }
        for (const auto& scan : scans) {
            if (const TTreeCounts counts = CountTree(scan->root.get()); !scan->isFile && counts.Errors > 0) {
                ReportUnreadable(counts);
                exitCode = 1;
            }
            if (!WriteTreemapFile(*scan->root, line))
                exitCode = 1;
        }
        return exitCode;
    }

    // Read-only and costly to build: once for all the paths.
    std::optional<TFileKinds> kinds;
    if (line.Command == TCommand::ByType)
        kinds.emplace();
    rapidjson::StringBuffer document;
    TJsonWriter json(document);
    if (line.Json)
        json.StartArray();
    std::string out;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        const TSummaryFigures figures = Figures(*scans[i], CountTree(scans[i]->root.get()), line.Sizes.Kind);
        // A scan file's errors are those of the machine that made it, not of this run.
        if (!scans[i]->isFile && figures.Counts.Errors > 0) {
            ReportUnreadable(figures.Counts);
            exitCode = 1;
        }
        if (line.Json) {
            json.StartObject();
            json.Key("path");
            JsonText(json, figures.Path);
            json.Key("incomplete");
            json.Bool(figures.Incomplete);
            if (line.Command == TCommand::Summary)
                JsonSummary(figures, json);
            else
                Report(*scans[i]->root, line, kinds ? &*kinds : nullptr, out, &json);
            json.EndObject();
            continue;
        }
        if (i > 0)
            out += "\n";
        if (line.Command == TCommand::Summary)
            out += Block(figures);
        else
            Report(*scans[i]->root, line, kinds ? &*kinds : nullptr, out, nullptr);
    }
    if (line.Json) {
        json.EndArray();
        out.assign(document.GetString(), document.GetSize());
        out += "\n";
    }
    if (!WriteStandardOutput(out))
        exitCode = 1;
    for (std::size_t i = scanned; i < paths.size(); ++i)
        ReportError(paths[i] + ": " +
                    Substitute(TranslateText("not scanned: at most %s paths are scanned at once"),
                               std::to_string(kSummaryMaxRoots)));
    if (interrupt.Interrupted()) {
        ReportError(TranslateText("interrupted; the totals above are incomplete"));
        return interrupt.ExitStatus();
    }
    return scanned < paths.size() ? kExitTooManyPaths : exitCode;
}

} // namespace quorvex
