#include "logging/SupportConfigDownload.h"

#include <wininet.h>

#include <condition_variable>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Handles.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"

namespace tw {
namespace {

using Result = CSupportConfigDownload::Result;
using Bounds = CSupportConfigDownload::Bounds;

bool IsHttpsUrl(const char* url) { return url && _strnicmp(url, "https://", 8) == 0; }

void SetTimeouts(HINTERNET handle, const Bounds& bounds) {
    DWORD connect = bounds.connectTimeoutMs, send = bounds.sendTimeoutMs, receive = bounds.receiveTimeoutMs;
    ::InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    ::InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof(send));
    ::InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
}

// The handles of one download. They are closed after the outcome is handed over: closing
// a request whose body was not read to its end can take a while (WinINet drains it).
struct Connection {
    InternetHandle session;
    InternetHandle connection;
    InternetHandle request;
};

Result Failed(Result result, std::string& error, std::string message) {
    error = std::move(message);
    return result;
}

// The download itself; time-outs bound each step and the deadline the reads.
Result Download(const std::string& url, const Bounds& bounds, Connection& net, std::string& body,
                std::string& error) {
    const ULONGLONG start = ::GetTickCount64();
    const char* shown = url.c_str();
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    char path[INTERNET_MAX_URL_LENGTH + 1] = {};
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof(path);
    if (!::InternetCrackUrlA(shown, 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS || host[0] == '\0')
        return Failed(Result::kNotHttps, error, FormatString("%s is not a usable https address.", shown));

    net.session.Reset(::InternetOpenA(CSupportConfigDownload::kAgentName, INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                      nullptr, 0));
    if (!net.session)
        return Failed(Result::kNoSession, error, FormatString("InternetOpenA failed with error %lu.", ::GetLastError()));
    SetTimeouts(net.session.Get(), bounds);
    // The request is built step by step so that its own handle carries the time-outs before
    // it is sent.
    net.connection.Reset(
        ::InternetConnectA(net.session.Get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!net.connection)
        return Failed(Result::kOpenFailed, error, FormatString("could not open %s, error %lu.", shown, ::GetLastError()));
    SetTimeouts(net.connection.Get(), bounds);
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    net.request.Reset(
        ::HttpOpenRequestA(net.connection.Get(), "GET", path[0] ? path : "/", nullptr, nullptr, nullptr, flags, 0));
    if (!net.request)
        return Failed(Result::kOpenFailed, error, FormatString("could not open %s, error %lu.", shown, ::GetLastError()));
    SetTimeouts(net.request.Get(), bounds);
    if (!::HttpSendRequestA(net.request.Get(), nullptr, 0, nullptr, 0))
        return Failed(Result::kOpenFailed, error, FormatString("could not open %s, error %lu.", shown, ::GetLastError()));

    DWORD status = 0, size = sizeof(status);
    if (!::HttpQueryInfoA(net.request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return Failed(Result::kHttpStatus, error,
                      FormatString("no HTTP status for %s, error %lu.", shown, ::GetLastError()));
    if (status != HTTP_STATUS_OK)
        return Failed(Result::kHttpStatus, error, FormatString("%s answered HTTP status %lu.", shown, status));

    // Only what has arrived is asked for, so a slow server cannot keep one read waiting
    // for a full chunk past the deadline.
    std::vector<char> chunk(CSupportConfigDownload::kChunkSize);
    for (;;) {
        if (::GetTickCount64() - start > bounds.deadlineMs)
            return Failed(Result::kDeadline, error,
                          FormatString("download of %s took longer than %lu ms.", shown, bounds.deadlineMs));
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(net.request.Get(), &available, 0, 0))
            return Failed(Result::kReadFailed, error,
                          FormatString("reading %s failed, error %lu.", shown, ::GetLastError()));
        if (available == 0) break;  // end of the body
        const DWORD want = available < chunk.size() ? available : static_cast<DWORD>(chunk.size());
        DWORD got = 0;
        if (!::InternetReadFile(net.request.Get(), chunk.data(), want, &got))
            return Failed(Result::kReadFailed, error,
                          FormatString("reading %s failed, error %lu.", shown, ::GetLastError()));
        if (got == 0) break;
        if (body.size() + got > bounds.maxBytes)
            return Failed(Result::kTooLarge, error,
                          FormatString("%s is larger than %lu bytes.", shown, static_cast<unsigned long>(bounds.maxBytes)));
        body.append(chunk.data(), got);
    }
    return Result::kOk;
}

// What the download thread hands over.
struct Outcome {
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
    Result result = Result::kReadFailed;
    std::string text;
    std::string error;
};

}  // namespace

// The download runs on a thread of its own, so the caller's wait is bounded even where a
// WinINet call ignores its time-out; a thread still closing its handles after the answer
// ends by itself. Only the caller logs.
CSupportConfigDownload::Result CSupportConfigDownload::Fetch(const char* url, const Bounds& bounds, std::string& text,
                                                             std::string& error) {
    text.clear();
    error.clear();
    const std::string address = url ? url : "";
    Result result = Result::kNotHttps;
    if (!IsHttpsUrl(url)) {
        error = FormatString("refused to download %s: not an https address.", address.c_str());
    } else {
        auto outcome = std::make_shared<Outcome>();
        try {
            std::thread([outcome, address, bounds]() {
                Connection net;
                std::string body, message;
                const Result r = Download(address, bounds, net, body, message);
                {
                    std::lock_guard<std::mutex> lock(outcome->mutex);
                    outcome->result = r;
                    if (r == Result::kOk) outcome->text = std::move(body);
                    outcome->error = std::move(message);
                    outcome->done = true;
                }
                outcome->ready.notify_all();
            }).detach();
            // The thread keeps to the deadline between reads; one read may still be under way.
            const auto limit = std::chrono::milliseconds(static_cast<long long>(bounds.deadlineMs) +
                                                         static_cast<long long>(bounds.receiveTimeoutMs) + 1000);
            std::unique_lock<std::mutex> lock(outcome->mutex);
            if (outcome->ready.wait_for(lock, limit, [&] { return outcome->done; })) {
                result = outcome->result;
                text = std::move(outcome->text);
                error = outcome->error;
            } else {
                result = Result::kDeadline;
                error = FormatString("download of %s did not end within %lld ms.", address.c_str(),
                                     static_cast<long long>(limit.count()));
            }
        } catch (const std::exception& e) {
            result = Result::kNoSession;
            error = FormatString("could not start the download of %s: %s", address.c_str(), e.what());
        }
    }
    if (result != Result::kOk) {
        text.clear();
        LogStatusF("In COSSupportGate::Run, %s", error.c_str());
    }
    return result;
}

}  // namespace tw
