#include "logging/SupportConfigDownload.h"

#include <wininet.h>

#include <cstring>
#include <vector>

#include "common/Handles.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"

namespace tw {
namespace {

bool IsHttpsUrl(const char* url) { return url && _strnicmp(url, "https://", 8) == 0; }

// Time-outs are set on the session; the connection and request handles inherit them.
void SetTimeouts(HINTERNET session, const CSupportConfigDownload::Bounds& bounds) {
    DWORD connect = bounds.connectTimeoutMs, send = bounds.sendTimeoutMs, receive = bounds.receiveTimeoutMs;
    ::InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    ::InternetSetOptionA(session, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof(send));
    ::InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
    ::InternetSetOptionA(session, INTERNET_OPTION_DATA_SEND_TIMEOUT, &send, sizeof(send));
    ::InternetSetOptionA(session, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof(receive));
}

CSupportConfigDownload::Result Fail(CSupportConfigDownload::Result result, std::string& text, std::string& error,
                                    const std::string& message) {
    text.clear();
    error = message;
    LogStatusF("In COSSupportGate::Run, %s", message.c_str());
    return result;
}

}  // namespace

CSupportConfigDownload::Result CSupportConfigDownload::Fetch(const char* url, const Bounds& bounds, std::string& text,
                                                             std::string& error) {
    text.clear();
    error.clear();
    const char* shown = url ? url : "";
    if (!IsHttpsUrl(url))
        return Fail(Result::kNotHttps, text, error, FormatString("refused to download %s: not an https address.", shown));

    const ULONGLONG start = ::GetTickCount64();
    InternetHandle session(::InternetOpenA(kAgentName, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session)
        return Fail(Result::kNoSession, text, error,
                    FormatString("InternetOpenA failed with error %lu.", ::GetLastError()));
    SetTimeouts(session.Get(), bounds);

    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    InternetHandle request(::InternetOpenUrlA(session.Get(), url, nullptr, 0, flags, 0));
    if (!request)
        return Fail(Result::kOpenFailed, text, error,
                    FormatString("could not open %s, error %lu.", shown, ::GetLastError()));

    DWORD status = 0, size = sizeof(status);
    if (!::HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return Fail(Result::kHttpStatus, text, error,
                    FormatString("no HTTP status for %s, error %lu.", shown, ::GetLastError()));
    if (status != HTTP_STATUS_OK)
        return Fail(Result::kHttpStatus, text, error, FormatString("%s answered HTTP status %lu.", shown, status));

    // Ask only for what has arrived, so a slow server cannot keep one read waiting for a
    // full chunk past the deadline.
    std::vector<char> chunk(kChunkSize);
    std::string body;
    for (;;) {
        if (::GetTickCount64() - start > bounds.deadlineMs)
            return Fail(Result::kDeadline, text, error,
                        FormatString("download of %s took longer than %lu ms.", shown, bounds.deadlineMs));
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request.Get(), &available, 0, 0))
            return Fail(Result::kReadFailed, text, error,
                        FormatString("reading %s failed, error %lu.", shown, ::GetLastError()));
        if (available == 0) break;  // end of the body
        const DWORD want = available < kChunkSize ? available : static_cast<DWORD>(kChunkSize);
        DWORD got = 0;
        if (!::InternetReadFile(request.Get(), chunk.data(), want, &got))
            return Fail(Result::kReadFailed, text, error,
                        FormatString("reading %s failed, error %lu.", shown, ::GetLastError()));
        if (got == 0) break;
        if (body.size() + got > bounds.maxBytes)
            return Fail(Result::kTooLarge, text, error,
                        FormatString("%s is larger than %lu bytes.", shown, static_cast<unsigned long>(bounds.maxBytes)));
        body.append(chunk.data(), got);
    }
    text = std::move(body);
    return Result::kOk;
}

}  // namespace tw
