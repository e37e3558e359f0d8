#pragma once
// An update folder laid out as the demo lays it out: the installer program, patch.ini and
// the delta patches R5->R6 and R6->R7 of Tallyworks 28.0 (Release level), real patch
// packages written by the fixture generator. Tests break it in one place each.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MspWriter.h"
#include "common/Handles.h"
#include "common/TestSupport.h"
#include "logging/StatusLogMgr.h"

namespace checktest {

inline std::string NewGuid() {
    GUID guid{};
    ::CoCreateGuid(&guid);
    char text[64];
    std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

inline std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

class UpdateFolderFixture : public ::testing::Test {
protected:
    static constexpr const char kUpgradeCode[] = "{5D0B7E44-2A61-4C3E-9F17-8B2C6E0A4D93}";

    void SetUp() override {
        productCode = NewGuid();
        // The installer program of this build, which the checker predicts.
        ASSERT_TRUE(::CopyFileA(twtest::BinaryPath("twpatch.exe").c_str(), (dir / "twpatch.exe").c_str(), FALSE));
        ASSERT_TRUE(WritePatch("tw28_core_r6.msp", "28.0.4005.1", "28.0.4006.1"));
        ASSERT_TRUE(WritePatch("tw28_core_r7.msp", "28.0.4006.1", "28.0.4007.1"));
        ini = GoodIni();
        WriteIni();
    }

    // The demo's patch.ini.
    std::string GoodIni() const {
        return "[Title]\nProduct=Tallyworks 28.0 Release 7\n\n"
               "[PatchConfig]\nTWName=Tallyworks 28.0\nTWFileVersion=28.0\n\n"
               "[AutoPatch]\nTWVersion=284007001\nLastSchemaChangeReleaseNum=5\nCountry=US\nServer=PROD\n\n"
               "[MSI Info]\nProductCode=" +
               productCode +
               "\nReinstall=ALL\nReinstallMode=omus\nCmdOptions=\nLoggingEnable=1\n\n"
               "[R5->R6]\nDeltaPatch=tw28_core_r6.msp\n\n"
               "[R6->R7]\nDeltaPatch=tw28_core_r7.msp\n\n"
               "[Enable]\nIsNetEnabled=0\nIsFeatureEnabled=0\n";
    }

    void WriteIni() { ASSERT_TRUE(twtest::WriteTextFile(dir / "patch.ini", WithCrLf(ini))); }

    // Replaces the first occurrence of from in patch.ini.
    void EditIni(const std::string& from, const std::string& to) {
        size_t at = ini.find(from);
        ASSERT_NE(std::string::npos, at) << from;
        ini.replace(at, from.size(), to);
        WriteIni();
    }

    bool WritePatch(const std::string& name, const std::string& from, const std::string& to,
                    const std::string& forProduct = std::string(), const char* transformList = ":T1",
                    const std::vector<mspgen::TransformDefinition>& moreTransforms = {}) {
        mspgen::PatchDefinition patch{dir / name,    forProduct.empty() ? productCode : forProduct,
                                      kUpgradeCode,  NewGuid(),
                                      from,          to,
                                      transformList, moreTransforms};
        mspgen::MspWriter writer(patch);
        writer.Transform().AddRow("Property", {mspgen::Cell::Str("ProductVersion"), mspgen::Cell::Str(to)});
        std::string error;
        ::DeleteFileA(patch.outputPath.c_str());
        bool ok = writer.Write(error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }

    unsigned long long FileSize(const std::string& name) const {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExA((dir / name).c_str(), GetFileExInfoStandard, &data)) return 0;
        return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    tw::ComInit com;
    twtest::SeamGuard guard;
    // The checker must never show a box: the recorder sees every one that slips through.
    twtest::MessageBoxRecorder boxes;
    twtest::TempDir dir{"update"};
    std::string productCode;
    std::string ini;
};

}  // namespace checktest
