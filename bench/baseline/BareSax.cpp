// Baseline of a manifest parse: the file read and converted from the ANSI code page, then
// the MSXML 6 SAX reader with an empty content handler over the same text.
//
//   bare_sax <manifest file>
#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "baseline/EmptyContentHandler.h"
#include "common/BenchReport.h"
#include "common/Handles.h"

namespace {
// SAXXMLReader60 and ISAXXMLReader.
const CLSID kClsidReader = {0x88d96a0c, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const IID kIidReader = {0xa4f96ed0, 0xf829, 0x476e, {0x81, 0xc0, 0xcd, 0xc7, 0xbd, 0x2a, 0x08, 0x02}};
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_sax <manifest file>\n");
        return 2;
    }
    tw::ComInit com;
    tw::ComPtr<ISAXXMLReader> reader;
    HRESULT hr = ::CoCreateInstance(kClsidReader, nullptr, CLSCTX_ALL, kIidReader, reader.PutVoid());
    if (FAILED(hr)) {
        std::fprintf(stderr, "bare_sax: no SAX reader: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    twbench::CEmptyContentHandler handler;
    reader->putContentHandler(&handler);

    twbench::CBenchReport report;
    BSTR text = nullptr;
    {
        std::ifstream stream(argv[1], std::ios::in | std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        bytes.push_back('\0');
        int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), -1, nullptr, 0);
        text = ::SysAllocStringLen(nullptr, static_cast<UINT>(length > 0 ? length - 1 : 0));
        if (text && length > 0) ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), -1, text, length);
    }
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = text;
    hr = reader->parse(source);
    ::VariantClear(&source);
    report.Stop();
    reader->putContentHandler(nullptr);

    char extra[64];
    std::snprintf(extra, sizeof(extra), "hr=0x%08lx elements=%ld", static_cast<unsigned long>(hr), handler.elements);
    report.Print(extra);
    return SUCCEEDED(hr) ? 0 : 1;
}
