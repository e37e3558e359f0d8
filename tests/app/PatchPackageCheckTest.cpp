#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/PatchPackageCheck.h"
#include "app/PatchPackageFixture.h"
#include "common/TestSupport.h"

namespace {

constexpr char kProduct[] = "{6F1D2C3B-0000-4000-8000-000000000028}";
constexpr char kOtherProduct[] = "{0B7F3E21-9C4D-4A55-8E6F-112233445566}";

// Real packages from the generator, and what becomes of them on the way to the user.
TEST(PatchPackageCheck, OnlyCompletePatchPackagesForTheProductPass) {
    twtest::TempDir dir("packages");
    std::string error;
    const std::string good = dir / "good.msp";
    ASSERT_TRUE(twtest::WritePatchPackage(good, kProduct, &error)) << error;
    const std::string goodSize = std::to_string(twtest::ReadTextFile(good).size());

    struct Case {
        const char* name;
        const char* problem;  // start of the reason; null: the package passes
    };
    const Case cases[] = {
        {"good.msp", nullptr},
        {"lowercase.msp", nullptr},
        {"empty.msp", "it is empty"},
        {"cut2048.msp", "it is damaged"},
        {"cuthalf.msp", "it is damaged"},
        {"foreign.msp", "it is for another product ("},
        {"text.msp", "it is not a Windows Installer package"},
        {"missing.msp", "it cannot be found"},
    };
    ASSERT_TRUE(twtest::WritePatchPackage(dir / "lowercase.msp", "{6f1d2c3b-0000-4000-8000-000000000028}"));
    ASSERT_TRUE(twtest::WriteTextFile(dir / "empty.msp", ""));
    ASSERT_TRUE(::CopyFileA(good.c_str(), (dir / "cut2048.msp").c_str(), FALSE));
    ASSERT_TRUE(twtest::TruncateFile(dir / "cut2048.msp", 2048));
    ASSERT_TRUE(::CopyFileA(good.c_str(), (dir / "cuthalf.msp").c_str(), FALSE));
    ASSERT_TRUE(twtest::TruncateFile(dir / "cuthalf.msp", std::stoll(goodSize) / 2));
    ASSERT_TRUE(twtest::WritePatchPackage(dir / "foreign.msp", kOtherProduct));
    ASSERT_TRUE(twtest::WriteTextFile(dir / "text.msp", "[R5->R6]\r\nthis is no package\r\n"));

    for (const Case& c : cases) {
        std::string problem;
        const bool ok = tw::CPatchPackageCheck::Check(dir / c.name, kProduct, &problem);
        if (!c.problem) {
            EXPECT_TRUE(ok) << c.name << ": " << problem;
            EXPECT_TRUE(problem.empty()) << c.name;
        } else {
            EXPECT_FALSE(ok) << c.name;
            EXPECT_EQ(0u, problem.find(c.problem)) << c.name << ": " << problem;
        }
    }
}

}  // namespace
