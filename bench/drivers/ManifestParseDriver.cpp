// The installer's manifest parser over one file: the same reader, the installer's content
// handler and table.
//
//   manifest_driver <manifest file>
#include <windows.h>
#include <msxml2.h>

#include <cstdio>
#include <memory>

#include "common/BenchReport.h"
#include "common/Handles.h"
#include "offcycle/ManifestParser.h"
#include "offcycle/ManifestTable.h"
#include "offcycle/MsxmlGuids.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: manifest_driver <manifest file>\n");
        return 2;
    }
    tw::ComInit com;
    tw::ComPtr<ISAXXMLReader> reader;
    HRESULT hr = ::CoCreateInstance(tw::Manifest::kClsidSAXXMLReader60, nullptr, CLSCTX_ALL,
                                    tw::Manifest::kIidISAXXMLReader, reader.PutVoid());
    if (FAILED(hr)) {
        std::fprintf(stderr, "manifest_driver: no SAX reader: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::unique_ptr<tw::Manifest::SAXContentHandlerStateFactory> factory;
    size_t items = 0;
    twbench::CBenchReport report;
    twbench::CBenchReport parse;
    {
        tw::Manifest::ManifestTable table;
        hr = tw::Manifest::ParseManifestFile(factory, table, argv[1], reader.Get());
        parse.Stop();
        items = table.items.size();
    }
    report.Stop();

    // work_s includes freeing the table; parse_s ends when the table is complete.
    char extra[96];
    std::snprintf(extra, sizeof(extra), "hr=0x%08lx items=%zu parse_s=%.6f", static_cast<unsigned long>(hr), items,
                  parse.Seconds());
    report.Print(extra);
    return SUCCEEDED(hr) ? 0 : 1;
}
