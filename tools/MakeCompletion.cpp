// Writes the bash completion from its template, with the export formats of the registry (names and
// numbers) in place of @EXPORT_FORMATS@: the completion then offers exactly what --export accepts.
//     quorvex_completion TEMPLATE OUTPUT

#include "export/ExportRegistry.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quorvex_completion TEMPLATE OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "quorvex_completion: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string completion = text.str();

    const auto& registry = quorvex::ExportRegistry();
    std::string formats;
    for (int i = 0; i < registry.Count(); ++i) {
        if (i > 0)
            formats += ' ';
        formats += registry.Items(i).GetCommandName();
    }
    // --export also takes a format's number.
    for (int i = 1; i <= registry.Count(); ++i)
        formats.append(" ").append(std::to_string(i));
    const std::string marker = "@EXPORT_FORMATS@";
    const auto at = completion.find(marker);
    if (at == std::string::npos) {
        std::fprintf(stderr, "quorvex_completion: %s has no %s\n", argv[1], marker.c_str());
        return 1;
    }
    completion.replace(at, marker.size(), formats);

    // A build step: written beside the target and renamed, so an interrupted build leaves no half file.
    const std::string temporary = std::string(argv[2]) + ".tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << completion;
    out.close();
    if (!out || std::rename(temporary.c_str(), argv[2]) != 0) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "quorvex_completion: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
