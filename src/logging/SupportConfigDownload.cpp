#include "logging/SupportConfigDownload.h"

#include <wininet.h>

#include <cstring>
#include <memory>
#include <vector>

#include "common/BoundedWorker.h"
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
Result Download(const std::string& url, const Bounds& bounds, CBoundedWorker::Activity& activity, Connection& net,
                std::string& body, std::string& error) {
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

    net.session.Reset(
        ::InternetOpenA(CSupportConfigDownload::kAgentName, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!net.session)
        return Failed(Result::kNoSession, error,
                      FormatString("InternetOpenA failed with error %lu.", ::GetLastError()));
    SetTimeouts(net.session.Get(), bounds);
    // The request is built step by step so that its own handle carries the time-outs before
    // it is sent.
    net.connection.Reset(
        ::InternetConnectA(net.session.Get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!net.connection)
        return Failed(Result::kOpenFailed, error,
                      FormatString("could not open %s, error %lu.", shown, ::GetLastError()));
    SetTimeouts(net.connection.Get(), bounds);
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    net.request.Reset(
        ::HttpOpenRequestA(net.connection.Get(), "GET", path[0] ? path : "/", nullptr, nullptr, nullptr, flags, 0));
    if (!net.request)
        return Failed(Result::kOpenFailed, error,
                      FormatString("could not open %s, error %lu.", shown, ::GetLastError()));
    SetTimeouts(net.request.Get(), bounds);
    if (!::HttpSendRequestA(net.request.Get(), nullptr, 0, nullptr, 0))
        return Failed(Result::kOpenFailed, error,
                      FormatString("could not open %s, error %lu.", shown, ::GetLastError()));

    activity.Step();  // the answer's headers arrived
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
        if (activity.Abandoned()) return Failed(Result::kDeadline, error, "given up");
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
        activity.Progress(got);
        if (body.size() + got > bounds.maxBytes)
            return Failed(
                Result::kTooLarge, error,
                FormatString("%s is larger than %lu bytes.", shown, static_cast<unsigned long>(bounds.maxBytes)));
        body.append(chunk.data(), got);
    }
    return Result::kOk;
}

// What the download worker hands over (read only after it ended).
struct Outcome {
    Result result = Result::kReadFailed;
    std::string text;
    std::string error;
};

}  // namespace

// The download runs on a worker of its own (CBoundedWorker), so the caller's wait is bounded
// even where a WinINet call ignores its time-out; a worker still closing its handles after
// the answer ends by itself. Only the caller logs.
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
        CBoundedWorker::Bounds waitBounds;
        waitBounds.deadlineMs = bounds.deadlineMs;
        waitBounds.idleMs = bounds.idleMs;
        const CBoundedWorker::Ending ending = CBoundedWorker::Run(
            [outcome, address, bounds](CBoundedWorker::Activity& activity) {
                // The handles are closed after the outcome is handed over: closing a request
                // whose body was not read to its end can take a while (WinINet drains it).
                Connection net;
                try {
                    std::string body, message;
                    const Result r = Download(address, bounds, activity, net, body, message);
                    outcome->result = r;
                    if (r == Result::kOk) outcome->text = std::move(body);
                    outcome->error = std::move(message);
                } catch (...) {  // nothing may unwind out of the worker
                    outcome->result = Result::kReadFailed;
                    outcome->error = "the download failed (out of memory)";
                }
                activity.Finish();
            },
            waitBounds);
        switch (ending) {
            case CBoundedWorker::Ending::kDone:
                result = outcome->result;
                text = std::move(outcome->text);
                error = outcome->error;
                break;
            case CBoundedWorker::Ending::kNotStarted:
                result = Result::kNoSession;
                error = FormatString("could not start the download of %s.", address.c_str());
                break;
            case CBoundedWorker::Ending::kCancelled:
                result = Result::kDeadline;
                error = FormatString("download of %s was cancelled.", address.c_str());
                break;
            case CBoundedWorker::Ending::kIdle:
                result = Result::kDeadline;
                error = FormatString("download of %s stalled: nothing arrived for %lu ms.", address.c_str(),
                                     static_cast<unsigned long>(bounds.idleMs));
                break;
            case CBoundedWorker::Ending::kDeadline:
                result = Result::kDeadline;
                error = FormatString("download of %s did not end within %lu ms.", address.c_str(),
                                     static_cast<unsigned long>(bounds.deadlineMs));
                break;
        }
    }
    if (result != Result::kOk) {
        text.clear();
        LogStatusF("In COSSupportGate::Run, %s", error.c_str());
    }
    return result;
}

}  // namespace tw
