#pragma once
// Shared fixture of the configuration tests: a scratch folder that holds patch.ini, the
// patch files and the patch log, recorded message boxes, and a scripted "VersionString".

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/PlatformSeams.h"
#include "common/TestSupport.h"
#include "logging/StatusLogMgr.h"

namespace configtest {

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override { tw::StatusLogMgr::RenameLogFile(dir.Path().c_str()); }

    // The patch log without CR characters.
    std::string Log() const {
        std::string raw = twtest::ReadTextFile(dir / "Patchlog.txt"), out;
        for (char c : raw)
            if (c != '\r') out += c;
        return out;
    }
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }

    void WritePatchIni(const std::string& content) { ASSERT_TRUE(twtest::WriteTextFile(dir / "patch.ini", content)); }
    // A patch file of the given size in the scratch folder.
    void WritePatchFile(const std::string& name, size_t size = 16) {
        ASSERT_TRUE(twtest::WriteTextFile(dir / name, std::string(size, 'x')));
    }

    // Windows Installer answers "VersionString" with this text; an empty text fails the call.
    void ScriptInstalledVersion(const std::string& version) {
        tw::Platform().Msi.GetProductInfo = [version, this](LPCSTR productCode, LPCSTR attribute, LPSTR buffer,
                                                            LPDWORD size) -> UINT {
            lastProductCode = productCode ? productCode : "";
            if (version.empty() || std::strcmp(attribute, "VersionString") != 0) return ERROR_UNKNOWN_PRODUCT;
            if (version.size() + 1 > *size) {
                *size = static_cast<DWORD>(version.size());
                return ERROR_MORE_DATA;
            }
            std::memcpy(buffer, version.c_str(), version.size() + 1);
            *size = static_cast<DWORD>(version.size());
            return ERROR_SUCCESS;
        };
    }

    twtest::SeamGuard guard;
    twtest::MessageBoxRecorder boxes;
    twtest::TempDir dir{"config"};
    std::string lastProductCode;
};

}  // namespace configtest
