#include "logging/BoundedHttpRequest.h"

#include <memory>
#include <vector>

#include "common/Handles.h"

namespace tw {

namespace {

// What the worker owns: the request's inputs, its outcome and the event that says it ended.
struct Exchange {
    bool isPost = false;
    std::string url;
    std::string agent;
    std::string host;
    INTERNET_PORT port = 0;
    std::string path;
    std::string headers;
    std::string body;
    DWORD flags = 0;
    size_t chunkSize = 0;
    BoundedHttpRequest::Bounds bounds;
    ULONGLONG start = 0;
    BoundedHttpRequest::Outcome outcome;
    KernelHandle done;
};

void SetTimeouts(HINTERNET handle, const BoundedHttpRequest::Bounds& bounds) {
    // Set on every handle of the exchange: children copy them when they are created, and
    // WinINet versions differ in which handle they read them from.
    DWORD connect = bounds.connectTimeoutMs, send = bounds.sendTimeoutMs, receive = bounds.receiveTimeoutMs;
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof(send));
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
    InternetSetOptionA(handle, INTERNET_OPTION_DATA_SEND_TIMEOUT, &send, sizeof(send));
    InternetSetOptionA(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof(receive));
}

bool PastDeadline(const Exchange& ex) { return GetTickCount64() - ex.start > ex.bounds.deadlineMs; }

void Fail(Exchange& ex, const char* failure, DWORD error) {
    ex.outcome.ok = false;
    ex.outcome.failure = failure;
    ex.outcome.error = error;
}

DWORD StatusCode(HINTERNET request) {
    DWORD status = 0, size = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
    return status;
}

// Reads what is left of the answer, keeping it when keep is set. False after a failure.
bool ReadAnswer(Exchange& ex, HINTERNET request, bool keep) {
    std::vector<char> chunk(ex.chunkSize);
    size_t total = 0;
    for (;;) {
        if (PastDeadline(ex)) {
            Fail(ex, "the answer did not end in time", ERROR_INTERNET_TIMEOUT);
            return false;
        }
        DWORD read = 0;
        if (!InternetReadFile(request, chunk.data(), static_cast<DWORD>(chunk.size()), &read)) {
            Fail(ex, "the answer broke off", GetLastError());
            return false;
        }
        if (read == 0) return true;
        total += read;
        if (total > ex.bounds.maxBytes) {
            Fail(ex, "the answer is larger than allowed", 0);
            return false;
        }
        if (keep) ex.outcome.content.append(chunk.data(), read);
    }
}

void RunGet(Exchange& ex) {
    InternetHandle internet(InternetOpenA(ex.agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return Fail(ex, "could not open the Internet session", GetLastError());
    SetTimeouts(internet.Get(), ex.bounds);
    InternetHandle url(InternetOpenUrlA(internet.Get(), ex.url.c_str(), nullptr, 0, ex.flags, 0));
    if (!url) return Fail(ex, "could not open the address", GetLastError());
    ex.outcome.status = StatusCode(url.Get());
    if (!ReadAnswer(ex, url.Get(), true)) return;
    ex.outcome.ok = true;
}

void RunPost(Exchange& ex) {
    InternetHandle internet(InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return Fail(ex, "could not open the Internet session", GetLastError());
    SetTimeouts(internet.Get(), ex.bounds);
    InternetHandle connection(InternetConnectA(internet.Get(), ex.host.c_str(), ex.port, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return Fail(ex, "could not connect", GetLastError());
    SetTimeouts(connection.Get(), ex.bounds);
    InternetHandle request(
        HttpOpenRequestA(connection.Get(), "POST", ex.path.c_str(), nullptr, nullptr, nullptr, ex.flags, 0));
    if (!request) return Fail(ex, "could not open the request", GetLastError());
    SetTimeouts(request.Get(), ex.bounds);

    // Not HttpSendRequestA: HttpEndRequestA after it never returns on some WinINet
    // implementations. The Ex sequence sends the same headers and body.
    INTERNET_BUFFERSA buffers = {};
    buffers.dwStructSize = sizeof(buffers);
    buffers.lpcszHeader = ex.headers.c_str();
    buffers.dwHeadersLength = static_cast<DWORD>(ex.headers.size());
    buffers.dwHeadersTotal = static_cast<DWORD>(ex.headers.size());
    buffers.dwBufferTotal = static_cast<DWORD>(ex.body.size());
    if (!HttpSendRequestExA(request.Get(), &buffers, nullptr, 0, 0))
        return Fail(ex, "could not send the request", GetLastError());
    for (size_t sent = 0; sent < ex.body.size();) {
        if (PastDeadline(ex)) return Fail(ex, "the request did not end in time", ERROR_INTERNET_TIMEOUT);
        DWORD written = 0;
        if (!InternetWriteFile(request.Get(), ex.body.data() + sent, static_cast<DWORD>(ex.body.size() - sent),
                               &written))
            return Fail(ex, "could not send the body", GetLastError());
        if (written == 0) return Fail(ex, "could not send the body", 0);
        sent += written;
    }
    if (!HttpEndRequestA(request.Get(), nullptr, 0, 0)) return Fail(ex, "the request got no answer", GetLastError());
    ex.outcome.status = StatusCode(request.Get());
    if (!ReadAnswer(ex, request.Get(), false)) return;
    ex.outcome.ok = true;
}

DWORD WINAPI Worker(void* param) {
    std::unique_ptr<std::shared_ptr<Exchange>> holder(static_cast<std::shared_ptr<Exchange>*>(param));
    std::shared_ptr<Exchange> ex = *holder;
    holder.reset();
    try {
        if (ex->isPost)
            RunPost(*ex);
        else
            RunGet(*ex);
    } catch (...) {  // nothing may unwind out of a thread procedure
        Fail(*ex, "the exchange failed (out of memory)", ERROR_NOT_ENOUGH_MEMORY);
    }
    SetEvent(ex->done.Get());
    return 0;
}

BoundedHttpRequest::Outcome Run(const std::shared_ptr<Exchange>& ex) {
    BoundedHttpRequest::Outcome failed;
    ex->start = GetTickCount64();
    ex->done.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!ex->done) {
        failed.failure = "could not create an event";
        failed.error = GetLastError();
        return failed;
    }
    auto* holder = new std::shared_ptr<Exchange>(ex);
    KernelHandle thread(CreateThread(nullptr, 0, Worker, holder, 0, nullptr));
    if (!thread) {
        delete holder;
        failed.failure = "could not start the exchange";
        failed.error = GetLastError();
        return failed;
    }
    // A little over the deadline: the worker's own checks end most exchanges first, with
    // their own reason.
    if (WaitForSingleObject(ex->done.Get(), ex->bounds.deadlineMs + 500) != WAIT_OBJECT_0) {
        failed.failure = "the exchange did not end in time";
        failed.error = ERROR_INTERNET_TIMEOUT;
        return failed;  // the worker keeps its own reference and ends on its own
    }
    return ex->outcome;
}

}  // namespace

BoundedHttpRequest::Outcome BoundedHttpRequest::Get(const std::string& url, const char* agent, DWORD flags,
                                                    size_t chunkSize, const Bounds& bounds) {
    auto ex = std::make_shared<Exchange>();
    ex->url = url;
    ex->agent = agent ? agent : "";
    ex->flags = flags;
    ex->chunkSize = chunkSize ? chunkSize : 1;
    ex->bounds = bounds;
    return Run(ex);
}

BoundedHttpRequest::Outcome BoundedHttpRequest::Post(const std::string& host, INTERNET_PORT port,
                                                     const std::string& path, DWORD flags, const std::string& headers,
                                                     const std::string& body, size_t chunkSize,
                                                     const Bounds& bounds) {
    auto ex = std::make_shared<Exchange>();
    ex->isPost = true;
    ex->host = host;
    ex->port = port;
    ex->path = path;
    ex->headers = headers;
    ex->body = body;
    ex->flags = flags;
    ex->chunkSize = chunkSize ? chunkSize : 1;
    ex->bounds = bounds;
    return Run(ex);
}

bool BoundedHttpRequest::IsConnectionFailure(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_TIMEOUT:
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
        case ERROR_INTERNET_CANNOT_CONNECT:
        case ERROR_INTERNET_CONNECTION_ABORTED:
        case ERROR_INTERNET_CONNECTION_RESET:
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_NO_REV:
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
        case ERROR_INTERNET_SEC_INVALID_CERT:
        case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
        case ERROR_HTTP_INVALID_SERVER_RESPONSE:
            return true;
        default:
            return false;
    }
}

}  // namespace tw
