#pragma once

#include "export/TreeTypesExport.h"

#include <memory>
#include <string>
#include <vector>

namespace quorvex {

class TFileSystemNode;

// A class reference: answers the class-level questions of one format and creates its exporters.
class TExportClass {
public:
    virtual ~TExportClass() = default;
    // With its leading dot: ".csv".
    virtual std::string GetFileExtension() const = 0;
    // The file-type name, translated at each call.
    virtual std::string GetDescription() const = 0;
    // 0: exact byte counts; 2: human-readable sizes in the user's size style.
    virtual int GetDefaultSizeRounding() const = 0;
    // The FORMAT word of the command line: csv, txt, html, xml, xml2, ncdu.
    virtual std::string GetCommandName() const = 0;
    virtual std::unique_ptr<TTreeTypesExport> Create(const TFileSystemNode* root) const = 0;
};

// The class reference of a format class T, which answers through static members of the same names.
template <typename T> class TExportClassOf final : public TExportClass {
public:
    std::string GetFileExtension() const override { return T::GetFileExtension(); }
    std::string GetDescription() const override { return T::GetDescription(); }
    int GetDefaultSizeRounding() const override { return T::GetDefaultSizeRounding(); }
    std::string GetCommandName() const override { return T::GetCommandName(); }
    std::unique_ptr<TTreeTypesExport> Create(const TFileSystemNode* root) const override {
        return std::make_unique<T>(root);
    }
};

// The ordered list of formats; the order is the save dialog's (1-based filter index = position + 1).
// Only ExportRegistry() makes one, so a second registry cannot exist.
class TExportRegistry {
public:
    TExportRegistry(const TExportRegistry&) = delete;
    TExportRegistry& operator=(const TExportRegistry&) = delete;

    // Appends; no duplicate check. The class reference must outlive the registry.
    void Register(const TExportClass& exportClass) { classes_.push_back(&exportClass); }
    int Count() const { return static_cast<int>(classes_.size()); }
    // 0-based; raises std::out_of_range outside 0 .. Count() - 1.
    const TExportClass& Items(int index) const { return *classes_.at(static_cast<std::size_t>(index)); }
    std::string ExtensionAt(int index) const { return Items(index).GetFileExtension(); }
    // "CSV (Comma separated) (*.csv)|*.csv|..." : a display text and a pattern per format.
    std::string GetDialogFilter() const;

private:
    friend TExportRegistry& ExportRegistry();
    TExportRegistry() = default;

    std::vector<const TExportClass*> classes_;
};

// The process-wide registry, made on first use with the six formats in their fixed order.
TExportRegistry& ExportRegistry();

} // namespace quorvex
