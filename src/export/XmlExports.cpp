#include "export/XmlExports.h"

#include "export/XmlEscape.h"
#include "i18n/Translation.h"
#include "model/FileSystemNode.h"

namespace quorvex {

// ---- TXmlTreeExport -------------------------------------------------------------------------

std::string TXmlTreeExport::GetDescription() {
    return TranslateText("XML File");
}

void TXmlTreeExport::WriteHeader(std::ostream& stream) {
    const std::string address =
        *kProductWebAddress != '\0' ? std::string(" (") + kProductWebAddress + ")" : "";
    WriteText(stream, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- " +
                          XmlEscape(GeneratedByText(), TMarkup::XmlContent) + address + " -->\r\n<Quorvex>");
}

void TXmlTreeExport::WriteFooter(std::ostream& stream) {
    WriteText(stream, "</Quorvex>");
}
void TXmlTreeExport::BeginNode(std::ostream& stream) {
    WriteText(stream, "<dir>");
}
void TXmlTreeExport::EndNode(std::ostream& stream) {
    WriteText(stream, "</dir>");
}
void TXmlTreeExport::BeginChildren(std::ostream& stream) {
    WriteText(stream, "<subdirs>");
}
void TXmlTreeExport::EndChildren(std::ostream& stream) {
    WriteText(stream, "</subdirs>");
}

void TXmlTreeExport::WriteNode(const TFileSystemNode* node, std::ostream& stream) {
    WriteText(stream, "<name>" + XmlEscape(node->Name(), TMarkup::XmlContent) + "</name><size>" +
                          std::to_string(node->GetSize(SizeKind())) + "</size><count>" +
                          std::to_string(node->GetFileCount()) + "</count>");
}

// ---- TXmlTreeExport2 ------------------------------------------------------------------------

std::string TXmlTreeExport2::GetDescription() {
    return TranslateText("XML File v2.0");
}

void TXmlTreeExport2::WriteNode(const TFileSystemNode* node, std::ostream& stream) {
    WriteText(stream, "<dir name=\"" + XmlEscape(node->Name(), TMarkup::XmlAttribute) + "\" size=\"" +
                          std::to_string(node->GetSize(SizeKind())) + "\" filecount=\"" +
                          std::to_string(node->GetFileCount()) + "\">");
}

} // namespace quorvex
