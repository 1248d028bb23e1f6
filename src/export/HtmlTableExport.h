#pragma once

#include "export/TreeTypesExport.h"

#include <cstdint>
#include <string>

namespace quorvex {

// Colour values are 0x00BBGGRR; 0x800000nn names system colour nn.
inline constexpr std::uint32_t kColorActiveCaption = 0x80000002;
inline constexpr std::uint32_t kColorCaptionText = 0x80000009;
inline constexpr std::uint32_t kColorActiveBorder = 0x8000000A;

// A system colour as the exports see it: caption text, active border and active caption have no
// palette role on this platform and always take fixed values; the others take the fixed defaults of
// a light scheme, since an export may run without any GUI.
std::uint32_t ResolveExportColor(std::uint32_t color);
// "#RRGGBB", upper-case hexadecimal.
std::string HtmlColor(std::uint32_t color);

// A self-contained HTML page with one table row per directory: path, size, a gauge of its share of
// the scan, file count. Rows alternate white and light grey across all levels.
class THtmlTableExport : public TTextExport {
public:
    explicit THtmlTableExport(const TFileSystemNode* root) : TTextExport(root) {}

    static std::string GetFileExtension() { return ".html"; }
    static std::string GetDescription();
    static int GetDefaultSizeRounding() { return 2; }
    static std::string GetCommandName() { return "html"; }

protected:
    void WriteHeader(std::ostream& stream) override;
    void WriteFooter(std::ostream& stream) override;
    void WriteNode(const TFileSystemNode* node, std::ostream& stream) override;

private:
    bool rowToggle_ = false;
};

struct TGauge {
    std::string Width;   // whole pixels, 0 to 100 for shares of the root
    std::string Percent; // one decimal at most, without trailing zeros
};
// The gauge of a node of `size` bytes in a scan of `rootSize` bytes; halves round to even.
TGauge GaugeFor(std::int64_t size, std::int64_t rootSize, char decimalSeparator);

} // namespace quorvex
