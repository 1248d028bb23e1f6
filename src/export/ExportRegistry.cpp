#include "export/ExportRegistry.h"

#include "export/HtmlTableExport.h"
#include "export/NcduExport.h"
#include "export/TextExports.h"
#include "export/XmlExports.h"

namespace quorvex {

std::string TExportRegistry::GetDialogFilter() const {
    std::string filter;
    for (const TExportClass* exportClass : classes_) {
        if (!filter.empty())
            filter += '|';
        const std::string extension = exportClass->GetFileExtension();
        filter += exportClass->GetDescription();
        filter += " (*" + extension + ")|*";
        filter += extension;
    }
    return filter;
}

TExportRegistry& ExportRegistry() {
    static const TExportClassOf<TCsvTextExport> csv;
    static const TExportClassOf<TTextTreeExport> textTree;
    static const TExportClassOf<THtmlTableExport> html;
    static const TExportClassOf<TXmlTreeExport> xml;
    static const TExportClassOf<TXmlTreeExport2> xml2;
    static const TExportClassOf<TNcduExport> ncdu;
    // A local class shares this function's access to the private constructor.
    struct TFilled {
        TExportRegistry registry;
        TFilled() {
            registry.Register(csv);
            registry.Register(textTree);
            registry.Register(html);
            registry.Register(xml);
            registry.Register(xml2);
            registry.Register(ncdu);
        }
    };
    static TFilled filled;
    return filled.registry;
}

} // namespace quorvex
