#pragma once

#include "export/TreeTypesExport.h"

#include <string>

namespace quorvex {

// Dialect 1: <dir><name/><size/><count/><subdirs>...</subdirs></dir> per directory, exact byte counts.
// The document is UTF-8 and always well-formed, whatever bytes the names hold.
class TXmlTreeExport : public TTextExport {
public:
    explicit TXmlTreeExport(const TFileSystemNode* root) : TTextExport(root) {}

    static std::string GetFileExtension() { return ".xml"; }
    static std::string GetDescription();
    static std::string GetCommandName() { return "xml"; }

protected:
    void WriteHeader(std::ostream& stream) override;
    void WriteFooter(std::ostream& stream) override;
    void BeginNode(std::ostream& stream) override;
    void EndNode(std::ostream& stream) override;
    void BeginChildren(std::ostream& stream) override;
    void EndChildren(std::ostream& stream) override;
    void WriteNode(const TFileSystemNode* node, std::ostream& stream) override;
};

// Dialect 2: <dir name="" size="" filecount=""> with the subdirectories nested directly.
class TXmlTreeExport2 : public TXmlTreeExport {
public:
    explicit TXmlTreeExport2(const TFileSystemNode* root) : TXmlTreeExport(root) {}

    static std::string GetDescription();
    static std::string GetCommandName() { return "xml2"; }

protected:
    void BeginNode(std::ostream& /*stream*/) override {}
    void BeginChildren(std::ostream& /*stream*/) override {}
    void EndChildren(std::ostream& /*stream*/) override {}
    void WriteNode(const TFileSystemNode* node, std::ostream& stream) override;
};

} // namespace quorvex
