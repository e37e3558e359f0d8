#pragma once
// Real patch packages for the installer tests, written by the fixture generator's own
// writer: a one-transform package that sets the product version, for the given product.

#include <windows.h>

#include <cstdio>
#include <string>

#include "MspWriter.h"
#include "common/Handles.h"

namespace twtest {

inline std::string NewPatchGuid() {
    GUID guid{};
    ::CoCreateGuid(&guid);
    char text[40];
    std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

// Writes a patch package for productCode at path; false with the reason on failure.
inline bool WritePatchPackage(const std::string& path, const std::string& productCode, std::string* error = nullptr,
                              const std::string& fromVersion = "28.0.4005.1",
                              const std::string& toVersion = "28.0.4006.1") {
    tw::ComInit com;
    mspgen::PatchDefinition patch{path,           productCode, "{5D0B7E44-2A61-4C3E-9F17-8B2C6E0A4D93}",
                                  NewPatchGuid(), fromVersion, toVersion};
    mspgen::MspWriter writer(patch);
    writer.Transform().AddRow("Property", {mspgen::Cell::Str("ProductVersion"), mspgen::Cell::Str(toVersion)});
    ::DeleteFileA(path.c_str());
    std::string reason;
    const bool ok = writer.Write(reason);
    if (error) *error = reason;
    return ok;
}

// Cuts the file to its first size bytes.
inline bool TruncateFile(const std::string& path, long long size) {
    tw::FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = size;
    return file && ::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.Get());
}

}  // namespace twtest
