#include "export/HtmlTableExport.h"

#include "export/XmlEscape.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "model/SizeFormat.h"
#include "model/TreeOperations.h"

#include <cmath>
#include <cstdio>

namespace quorvex {
namespace {

constexpr const char* kHtmlLineEnd = "\r\n";

std::string HtmlCredit() {
    std::string credit = XmlEscape(GeneratedByText(), TMarkup::Html);
    if (*kProductWebAddress != '\0')
        credit += std::string(" <a href=\"") + kProductWebAddress + "\" title=\"" + kProductWebSiteName +
                  "\">" + kProductWebAddress + "</a>";
    return credit;
}

} // namespace

std::uint32_t ResolveExportColor(std::uint32_t color) {
    if ((color & 0xFF000000u) != 0x80000000u)
        return color & 0x00FFFFFFu;
    switch (color & 0xFFu) {
    case 2: // active caption
        return 0xD1B499;
    case 9: // caption text
        return 0x000000;
    case 10: // active border
        return 0xB4B4B4;
    case 5:  // window
    case 14: // highlight text
    case 20: // button highlight
        return 0xFFFFFF;
    case 13: // highlight
        return 0xD77800;
    case 15: // button face
        return 0xF0F0F0;
    case 16: // button shadow
        return 0xA0A0A0;
    case 17: // grey text
        return 0x6D6D6D;
    default: // window text, button text and the rest
        return 0x000000;
    }
}

std::string HtmlColor(std::uint32_t color) {
    const std::uint32_t rgb = ResolveExportColor(color);
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", rgb & 0xFFu, (rgb >> 8) & 0xFFu, (rgb >> 16) & 0xFFu);
    return text;
}

TGauge GaugeFor(std::int64_t size, std::int64_t rootSize, char decimalSeparator) {
    const double fraction =
        rootSize > 0
            ? static_cast<double>(static_cast<long double>(size) / static_cast<long double>(rootSize))
            : 0.0;
    // nearbyint under the default rounding mode: nearest, halves to even.
    const double width = std::nearbyint(100 * fraction);
    const double percent = std::nearbyint(100 * fraction / 0.1) * 0.1;
    return {FormatGeneral(width, '.'), FormatGeneral(percent, decimalSeparator)};
}

std::string THtmlTableExport::GetDescription() {
    return TranslateText("HTML File");
}

void THtmlTableExport::WriteHeader(std::ostream& stream) {
    // The root path is escaped here as in the rows: a directory named <script> must stay text.
    const std::string rootPath = XmlEscape(GetFullPath(Root()), TMarkup::Html);
    std::string header;
    header += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"\r\n"
              "\t\"http://www.w3.org/TR/html4/loose.dtd\">\r\n";
    header += "<!-- " + XmlEscape(GeneratedByText(), TMarkup::Html) + " -->\r\n";
    header += "<html>\r\n<head>\r\n";
    header += "\t<meta http-equiv=\"content-type\" content=\"text/html; charset=UTF-8\">\r\n";
    header += "\t<title>Quorvex - " + rootPath + "</title>\r\n";
    header += "\t<style type=\"text/css\">\r\n<!--\r\n";
    header += "body { font-family:Arial,sans-serif; }\r\n";
    header += "h1 { font-size:1.2em; }\r\n";
    header += "th { color: " + HtmlColor(kColorCaptionText) + "; }\r\n";
    header += "td { font-size:0.7em; font-family:Tahoma,Arial,sans-serif; }\r\n";
    header += "table.gauge { empty-cells:show; }\r\n";
    header += "td.gauge { color: " + HtmlColor(0x000000) + "; border: 1px solid " + HtmlColor(0x5FC2E2) +
              "; background-color: " + HtmlColor(0x7BE0F6) + "; }\r\n";
    header += "-->\r\n\t</style>\r\n</head>\r\n<body>\r\n";
    header += "<code>" + HtmlCredit() + "</code>\r\n";
    header += "<h1>" + rootPath + "</h1>\r\n";
    header +=
        "<table cellpadding=\"3\" cellspacing=\"1\" bgcolor=\"" + HtmlColor(kColorActiveBorder) + "\">\r\n";
    header += "<tr bgcolor=\"" + HtmlColor(kColorActiveCaption) + "\">";
    for (const char* title : {N_("Directory"), N_("Size"), N_("Percent"), N_("Files")})
        header += "<th>" + XmlEscape(TranslateText(title), TMarkup::Html) + "</th>";
    header += "</tr>\r\n";
    WriteText(stream, header);
}

void THtmlTableExport::WriteFooter(std::ostream& stream) {
    WriteText(stream, std::string("</table>\r\n<code>") + HtmlCredit() + "</code>\r\n</body></html>\r\n");
}

void THtmlTableExport::WriteNode(const TFileSystemNode* node, std::ostream& stream) {
    rowToggle_ = !rowToggle_;
    const TGauge gauge = GaugeFor(node->GetSize(SizeKind()), Root()->GetSize(SizeKind()), DecimalSeparator());
    std::string row = "<tr bgcolor=\"" + HtmlColor(rowToggle_ ? 0xFFFFFF : 0xF0F0F0) + "\"><td>";
    row += XmlEscape(GetFullPath(node), TMarkup::Html);
    if (WasNotScanned(node)) {
        row += "</td><td align=\"right\"><i>" + XmlEscape(TranslateText("not scanned"), TMarkup::Html) +
               "</i></td><td></td><td></td></tr>" + kHtmlLineEnd;
        WriteText(stream, row);
        return;
    }
    row += "</td><td align=\"right\">" + SizeText(node->GetSize(SizeKind())) + "</td><td>";
    row += "<table class=\"gauge\" cellpadding=\"0\" cellspacing=\"0\"><tr><td class=\"gauge\" width=\"";
    row += gauge.Width + "\"></td><td>&nbsp;" + gauge.Percent + "%</td></tr></table></td>";
    row += "<td align=\"right\">" + std::to_string(node->GetFileCount()) + "</td></tr>";
    row += kHtmlLineEnd;
    WriteText(stream, row);
}

} // namespace quorvex
