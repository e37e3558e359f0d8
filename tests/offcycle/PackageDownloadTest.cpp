#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <set>
#include <string>

#include "OffCycleTestSupport.h"
#include "PackageTestSupport.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "offcycle/OffCycleFileSelector.h"
#include "offcycle/ulip/UrlDownload.h"

using octest::CountLines;
using octest::LinesStartingWith;
using tw::COffCycleFileSelector;
using twtest::LoopbackServer;
using twtest::TempDir;

namespace {

class DownloadSelector : public COffCycleFileSelector {
public:
    using COffCycleFileSelector::CheckInternetConnection;
    using COffCycleFileSelector::ExtractFromTwcFile;
    using COffCycleFileSelector::ReleaseHeldFiles;
    using COffCycleFileSelector::SendRequestAndGetResponse;
    using COffCycleFileSelector::VerifyTwcSignature;
};

const char kPackagePath[] = "/http.veltra/us/ulip/33/r5/x64/original.twc";
const char kEntered[] = "Entered into SendRequestAndGetResponse";
const char kExited[] = "Exited from SendRequestAndGetResponse";
const char kOffline[] =
    "CheckInternetConnection(): no internet connection, con has value other than NLM_CONNECTIVITY_IPV4_INTERNET and "
    "NLM_CONNECTIVITY_IPV6_INTERNET";

// True when the Internet cache holds an entry for the address.
bool InInternetCache(const std::string& address) {
    DWORD size = 0;
    if (::GetUrlCacheEntryInfoA(address.c_str(), nullptr, &size)) return true;
    return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// A server root with the good cabinet at the package's address.
class PackageServerRoot {
public:
    PackageServerRoot() {
        const std::string folder = root / "http.veltra\\us\\ulip\\33\\r5\\x64";
        EXPECT_TRUE(twtest::MakeDirs(folder));
        EXPECT_TRUE(
            ::CopyFileA((octest::CabinetFolder() + "\\good.twc").c_str(), (folder + "\\original.twc").c_str(), FALSE));
    }
    twtest::LoopbackServer::Options Served(const char* mode = "serve") const {
        return octest::PackageServer(root.Path(), mode);
    }
    TempDir root{"www"};
};

class PackageDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(octest::CabinetFolder().empty()) << "the test cabinets could not be made";
        octest::Lines().clear();
        selector.SetLogger(octest::RecordLine);
    }
    twtest::SeamGuard seams;
    DownloadSelector selector;
    TempDir target{"download"};
    std::string targetPath = target / "original.twc";
};

TEST_F(PackageDownloadTest, ServedCabinetIsDownloadedByteForByteAndChecksIntact) {
    PackageServerRoot www;
    LoopbackServer server(www.Served());
    ASSERT_NE(0, server.Port());
    const std::string address = server.Url(kPackagePath);
    EXPECT_EQ(S_OK, selector.SendRequestAndGetResponse(address.c_str(), targetPath.c_str()));
    EXPECT_EQ(octest::ReadBinaryFile(octest::CabinetFolder() + "\\good.twc"), octest::ReadBinaryFile(targetPath));
    EXPECT_EQ(std::set<std::string>({"original.twc"}), octest::FilesUnder(target.Path()));
    auto lines = octest::Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(kEntered, lines[0]);
    EXPECT_EQ(0u, lines[1].find("Successfully downloaded the  TWC from URL : " + address + "  with GetLastError : "));
    EXPECT_EQ(kExited, lines[2]);
    EXPECT_NE(std::string::npos, server.AccessLog().find(std::string("GET ") + kPackagePath));
    EXPECT_FALSE(InInternetCache(address));
    EXPECT_TRUE(selector.VerifyTwcSignature(targetPath.c_str()));
    EXPECT_EQ(S_OK, selector.ExtractFromTwcFile(targetPath.c_str()));
    selector.ReleaseHeldFiles();
}

TEST_F(PackageDownloadTest, ErrorAnswerIsAFailedDownload) {
    PackageServerRoot www;
    LoopbackServer server(www.Served());
    ASSERT_NE(0, server.Port());
    const std::string address = server.Url("/http.veltra/xx/ulip/33/r5/x64/original.twc");
    // A 404 is not the package: nothing is written, and the failure names the status.
    EXPECT_EQ(static_cast<HRESULT>(0x80190194),
              selector.SendRequestAndGetResponse(address.c_str(), targetPath.c_str()));
    EXPECT_EQ(1u, LinesStartingWith("Failed downloading TWC file from URL : " + address + " GetLastError : ").size());
    EXPECT_EQ(0u, CountLines("Successfully downloaded"));
    EXPECT_EQ(std::set<std::string>(), octest::FilesUnder(target.Path()));
}

TEST_F(PackageDownloadTest, ClosedPortIsReportedAsInvalidAddress) {
    // Nothing listens on port 1 of the loopback.
    const std::string address = "http://127.0.0.1:1/http.veltra/us/ulip/33/r5/x64/original.twc";
    EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, selector.SendRequestAndGetResponse(address.c_str(), targetPath.c_str()));
    EXPECT_EQ(1u, LinesStartingWith("Patch: URL is invalid with GetLastError :  ").size());
    EXPECT_EQ(1u, CountLines(kExited));
    EXPECT_FALSE(twtest::FileExists(targetPath));
}

// Each server misbehaves in one way; each download fails within its bound (the deadline
// given, or the idle bound), logs its failure, and leaves nothing in the target folder and
// nothing in the Internet cache. The package the server has is a valid signed cabinet, so
// an error answer or a cut-short body that were taken as the download would be unpacked.
TEST_F(PackageDownloadTest, MisbehavingServersEndWithinTheBounds) {
    struct Case {
        const char* mode;
        DWORD timeoutMs;
        ULONGLONG maxBytes;
    } cases[] = {
        {"hang", 3000, 1024 * 1024},
        {"trickle", 3000, 1024 * 1024},
        {"endless", 3000, 1024 * 1024},            // the size cap ends it
        {"endless", 3000, 1024ull * 1024 * 1024},  // the deadline ends it
        {"big", 60000, 1024 * 1024},               // larger than the cap, then ends
        {"bigclose", 60000, 1024 * 1024},          // the same without a Content-Length
        {"status-404", 60000, 1024 * 1024},        // the signed cabinet as the body of a 404
        {"status-500", 60000, 1024 * 1024},
        {"short", 60000, 1024 * 1024},    // cut short before its Content-Length
        {"stall", 60000, 1024 * 1024},    // headers, then nothing: the idle bound ends it
        {"trickle", 60000, 1024 * 1024},  // a byte a second: too little, the idle bound ends it
    };
    PackageServerRoot www;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.maxBytes));
        octest::Lines().clear();
        {
            LoopbackServer server(www.Served(c.mode));
            ASSERT_NE(0, server.Port());
            selector.SetDownloadLimits(c.timeoutMs, c.maxBytes);
            const std::string address = server.Url(kPackagePath);
            const ULONGLONG start = ::GetTickCount64();
            HRESULT hr = selector.SendRequestAndGetResponse(address.c_str(), targetPath.c_str());
            const ULONGLONG elapsed = ::GetTickCount64() - start;
            std::printf("[ measured ] %s, cap %llu: 0x%08lX after %llu ms\n", c.mode, c.maxBytes,
                        static_cast<unsigned long>(hr), elapsed);
            EXPECT_TRUE(FAILED(hr));
            const DWORD bound = c.timeoutMs < tw::CUrlDownload::kIdleMs ? c.timeoutMs : tw::CUrlDownload::kIdleMs;
            EXPECT_LT(elapsed, bound + 4000ull);
            EXPECT_EQ(
                1u, LinesStartingWith("Failed downloading TWC file from URL : " + address + " GetLastError : ").size());
            EXPECT_EQ(0u, CountLines("Successfully downloaded"));
            EXPECT_FALSE(twtest::FileExists(targetPath));
            EXPECT_FALSE(InInternetCache(address));
        }
        // The server is gone; a download given up on while it still ran leaves nothing either.
        // Its worker may write a first block after the folder looked empty, so the folder must
        // stay empty for a second.
        const ULONGLONG stopped = ::GetTickCount64();
        ULONGLONG emptySince = 0;
        while (::GetTickCount64() - stopped < 8000) {
            if (!octest::FilesUnder(target.Path()).empty()) {
                emptySince = 0;
            } else if (emptySince == 0) {
                emptySince = ::GetTickCount64();
            } else if (::GetTickCount64() - emptySince >= 1000) {
                break;
            }
            ::Sleep(100);
        }
        std::printf("[ measured ] folder empty %llu ms after the server stopped\n",
                    emptySince ? emptySince - stopped : ::GetTickCount64() - stopped);
        EXPECT_EQ(std::set<std::string>(), octest::FilesUnder(target.Path()));
    }
}

bool g_timerFired = false;

// Stands for the wait dialog's Cancel: its message reaches it only if the waiting thread
// dispatches its messages.
void CALLBACK PressCancel(HWND window, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(window, id);
    g_timerFired = true;
    ++tw::CRunState::Get().cancelPresses;
}

// While the download runs the main thread keeps dispatching its messages, and the user's
// Cancel ends the download as its failure.
TEST_F(PackageDownloadTest, CancelDuringTheDownloadEndsItAsItsFailure) {
    PackageServerRoot www;
    LoopbackServer server(www.Served("stall"));
    ASSERT_NE(0, server.Port());
    selector.SetDownloadLimits(60000, 1024 * 1024);
    const std::string address = server.Url(kPackagePath);
    g_timerFired = false;
    // A window of this thread, as the wait dialog is, whose timer message stands for the click.
    HWND window = ::CreateWindowExA(0, "STATIC", "wait", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    ASSERT_NE(0u, ::SetTimer(window, 1, 500, &PressCancel));
    const HRESULT hr = selector.SendRequestAndGetResponse(address.c_str(), targetPath.c_str());
    ::KillTimer(window, 1);
    ::DestroyWindow(window);
    EXPECT_TRUE(g_timerFired);
    EXPECT_EQ(E_ABORT, hr);
    EXPECT_EQ(1u, LinesStartingWith("Failed downloading TWC file from URL : " + address +
                                    " GetLastError : 1223 and ret : 80004004.")
                      .size());
    EXPECT_FALSE(twtest::FileExists(targetPath));
    // A later download is not cancelled by that press.
    LoopbackServer good(www.Served());
    ASSERT_NE(0, good.Port());
    EXPECT_EQ(S_OK, selector.SendRequestAndGetResponse(good.Url(kPackagePath).c_str(), targetPath.c_str()));
}

TEST_F(PackageDownloadTest, OnlineMachineTriesTheDownload) {
    if (std::getenv("TW_EXPECT_OFFLINE")) GTEST_SKIP() << "run offline";
    EXPECT_NE(0u, selector.CheckInternetConnection());
    EXPECT_EQ(0u, CountLines("CheckInternetConnection(): no internet connection"));
}

// Run by its own test entry inside a network namespace with loopback only, where Windows
// reports no internet connectivity; skipped elsewhere.
TEST(OfflineDownload, OfflineMachineDoesNotTryTheDownload) {
    if (!std::getenv("TW_EXPECT_OFFLINE")) GTEST_SKIP() << "only inside the offline namespace";
    twtest::SeamGuard seams;
    octest::Lines().clear();
    DownloadSelector selector;
    selector.SetLogger(octest::RecordLine);
    TempDir target("offline");
    const std::string targetPath = target / "original.twc";
    LoopbackServer server(octest::PackageServer(""));
    ASSERT_NE(0, server.Port());
    const std::string address = server.Url(kPackagePath);
    EXPECT_EQ(E_FAIL, selector.SendRequestAndGetResponse(address.c_str(), targetPath.c_str()));
    const auto lines = octest::Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(kEntered, lines[0]);
    EXPECT_EQ(kOffline, lines[1]);
    EXPECT_EQ(kExited, lines[2]);
    EXPECT_EQ("", server.AccessLog());
    EXPECT_FALSE(twtest::FileExists(targetPath));
}

}  // namespace
