#include "logging/BoundedHttpRequest.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "common/BoundedWorker.h"
#include "common/Handles.h"

namespace tw {

namespace {

using Ending = BoundedHttpRequest::Ending;

// What the worker owns: the request's inputs, its outcome and, for a file download, the file.
struct Exchange {
    enum class Kind { kGet, kGetToFile, kPost } kind = Kind::kGet;
    std::string url;
    std::string agent;
    std::string host;
    INTERNET_PORT port = 0;
    std::string path;  // request path (POST) or file (GET into a file)
    std::string headers;
    std::string body;
    DWORD flags = 0;
    size_t chunkSize = 0;
    BoundedHttpRequest::Bounds bounds;
    ULONGLONG start = 0;
    BoundedHttpRequest::Outcome outcome;
    FileHandle file;
};

// The handles of one exchange, closed after the outcome is handed over: closing a request
// whose answer was not read to its end can take a while (WinINet drains it).
struct Connection {
    InternetHandle internet;
    InternetHandle connection;
    InternetHandle request;
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

void Fail(Exchange& ex, Ending ending, const char* failure, DWORD error) {
    ex.outcome.ok = false;
    ex.outcome.ending = ending;
    ex.outcome.failure = failure;
    ex.outcome.error = error;
}

DWORD StatusCode(HINTERNET request) {
    DWORD status = 0, size = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
    return status;
}

// The Content-Length the server announced; false when it gave none (or none readable).
bool ContentLength(HINTERNET request, unsigned long long& length) {
    char text[32] = {};
    DWORD size = sizeof(text) - 1;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return false;
    char* end = nullptr;
    length = std::strtoull(text, &end, 10);
    return end != text && *end == '\0';
}

// Reads what is left of the answer into the exchange's content or file (or nowhere), counting
// every byte. False after a failure.
bool ReadAnswer(Exchange& ex, HINTERNET request, CBoundedWorker::Activity& activity, bool keep) {
    unsigned long long announced = 0;
    const bool hasLength = ContentLength(request, announced);
    if (hasLength && announced > ex.bounds.maxBytes) {
        Fail(ex, Ending::kTooLarge, "the answer is larger than allowed", 0);
        return false;
    }
    std::vector<char> chunk(ex.chunkSize);
    for (;;) {
        if (activity.Abandoned()) return false;
        if (PastDeadline(ex)) {
            Fail(ex, Ending::kDeadline, "the answer did not end in time", ERROR_INTERNET_TIMEOUT);
            return false;
        }
        // Only what has arrived is asked for, so a slow server cannot hold one read until a
        // whole chunk is there.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
            Fail(ex, Ending::kFailed, "the answer broke off", GetLastError());
            return false;
        }
        if (available == 0) break;
        DWORD want = available < chunk.size() ? available : static_cast<DWORD>(chunk.size());
        DWORD read = 0;
        if (!InternetReadFile(request, chunk.data(), want, &read)) {
            Fail(ex, Ending::kFailed, "the answer broke off", GetLastError());
            return false;
        }
        if (read == 0) break;
        activity.Progress(read);
        ex.outcome.bytes += read;
        if (ex.outcome.bytes > ex.bounds.maxBytes) {
            Fail(ex, Ending::kTooLarge, "the answer is larger than allowed", 0);
            return false;
        }
        if (ex.file) {
            DWORD written = 0;
            if (!WriteFile(ex.file.Get(), chunk.data(), read, &written, nullptr) || written != read) {
                Fail(ex, Ending::kFailed, "could not write the file", GetLastError());
                return false;
            }
        } else if (keep) {
            ex.outcome.content.append(chunk.data(), read);
        }
    }
    if (hasLength && ex.outcome.bytes != announced) {
        Fail(ex, Ending::kShort, "the answer ended before its announced length", ERROR_HANDLE_EOF);
        return false;
    }
    return true;
}

void RunGet(Exchange& ex, CBoundedWorker::Activity& activity, Connection& net) {
    InternetHandle& internet = net.internet;
    internet.Reset(InternetOpenA(ex.agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return Fail(ex, Ending::kFailed, "could not open the Internet session", GetLastError());
    SetTimeouts(internet.Get(), ex.bounds);
    InternetHandle& url = net.request;
    url.Reset(InternetOpenUrlA(internet.Get(), ex.url.c_str(), nullptr, 0, ex.flags, 0));
    if (!url) return Fail(ex, Ending::kFailed, "could not open the address", GetLastError());
    activity.Step();  // the answer's headers arrived
    ex.outcome.status = StatusCode(url.Get());
    if (ex.kind == Exchange::Kind::kGetToFile) {
        if (ex.outcome.status != HTTP_STATUS_OK)
            return Fail(ex, Ending::kHttpStatus, "the server answered with an error status", ex.outcome.status);
        if (activity.Abandoned()) return;
        // Readable while it is written, and deletable by the waiter that gave up on it.
        ex.file.Reset(CreateFileA(ex.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!ex.file) return Fail(ex, Ending::kFailed, "could not create the file", GetLastError());
    }
    if (!ReadAnswer(ex, url.Get(), activity, true)) return;
    ex.outcome.ok = true;
    ex.outcome.ending = Ending::kCompleted;
}

void RunPost(Exchange& ex, CBoundedWorker::Activity& activity, Connection& net) {
    InternetHandle& internet = net.internet;
    internet.Reset(InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return Fail(ex, Ending::kFailed, "could not open the Internet session", GetLastError());
    SetTimeouts(internet.Get(), ex.bounds);
    InternetHandle& connection = net.connection;
    connection.Reset(
        InternetConnectA(internet.Get(), ex.host.c_str(), ex.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return Fail(ex, Ending::kFailed, "could not connect", GetLastError());
    SetTimeouts(connection.Get(), ex.bounds);
    InternetHandle& request = net.request;
    request.Reset(HttpOpenRequestA(connection.Get(), "POST", ex.path.c_str(), nullptr, nullptr, nullptr, ex.flags, 0));
    if (!request) return Fail(ex, Ending::kFailed, "could not open the request", GetLastError());
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
        return Fail(ex, Ending::kFailed, "could not send the request", GetLastError());
    for (size_t sent = 0; sent < ex.body.size();) {
        if (activity.Abandoned()) return;
        if (PastDeadline(ex))
            return Fail(ex, Ending::kDeadline, "the request did not end in time", ERROR_INTERNET_TIMEOUT);
        DWORD written = 0;
        if (!InternetWriteFile(request.Get(), ex.body.data() + sent, static_cast<DWORD>(ex.body.size() - sent),
                               &written))
            return Fail(ex, Ending::kFailed, "could not send the body", GetLastError());
        if (written == 0) return Fail(ex, Ending::kFailed, "could not send the body", 0);
        activity.Progress(written);
        sent += written;
    }
    if (!HttpEndRequestA(request.Get(), nullptr, 0, 0))
        return Fail(ex, Ending::kFailed, "the request got no answer", GetLastError());
    activity.Step();
    ex.outcome.status = StatusCode(request.Get());
    if (!ReadAnswer(ex, request.Get(), activity, false)) return;
    ex.outcome.ok = true;
    ex.outcome.ending = Ending::kCompleted;
}

void RunExchange(Exchange& ex, CBoundedWorker::Activity& activity) {
    Connection net;
    try {
        if (ex.kind == Exchange::Kind::kPost)
            RunPost(ex, activity, net);
        else
            RunGet(ex, activity, net);
    } catch (...) {  // nothing may unwind out of a thread procedure
        Fail(ex, Ending::kFailed, "the exchange failed (out of memory)", ERROR_NOT_ENOUGH_MEMORY);
    }
    if (ex.file) {
        ex.file.Reset();
        // Only a complete answer stays, and only for a waiter that still wants it.
        if (!ex.outcome.ok || activity.Abandoned()) DeleteFileA(ex.path.c_str());
    }
    activity.Finish();
}

BoundedHttpRequest::Outcome Run(const std::shared_ptr<Exchange>& ex) {
    ex->start = GetTickCount64();
    if (ex->kind == Exchange::Kind::kGetToFile) DeleteFileA(ex->path.c_str());
    CBoundedWorker::Bounds waitBounds;
    waitBounds.deadlineMs = ex->bounds.deadlineMs;
    waitBounds.idleMs = ex->bounds.idleMs;
    DWORD error = 0;
    std::shared_ptr<Exchange> own = ex;  // the worker's reference: it may outlive this call
    const CBoundedWorker::Ending ending = CBoundedWorker::Run(
        [own](CBoundedWorker::Activity& activity) { RunExchange(*own, activity); }, waitBounds, &error);
    if (ending == CBoundedWorker::Ending::kDone) return ex->outcome;

    BoundedHttpRequest::Outcome failed;
    switch (ending) {
        case CBoundedWorker::Ending::kDeadline:
            failed.ending = Ending::kDeadline;
            failed.failure = "the exchange did not end in time";
            failed.error = ERROR_INTERNET_TIMEOUT;
            break;
        case CBoundedWorker::Ending::kIdle:
            failed.ending = Ending::kIdle;
            failed.failure = "nothing arrived for too long";
            failed.error = ERROR_INTERNET_TIMEOUT;
            break;
        case CBoundedWorker::Ending::kCancelled:
            failed.ending = Ending::kCancelled;
            failed.failure = "the wait was cancelled";
            failed.error = ERROR_CANCELLED;
            break;
        default:
            failed.ending = Ending::kFailed;
            failed.failure = "could not start the exchange";
            failed.error = error;
            break;
    }
    // A file the worker is still writing goes now (it was opened for deletion by others);
    // the worker deletes it again when it ends.
    if (ex->kind == Exchange::Kind::kGetToFile) DeleteFileA(ex->path.c_str());
    return failed;
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

BoundedHttpRequest::Outcome BoundedHttpRequest::GetToFile(const std::string& url, const char* agent, DWORD flags,
                                                          const std::string& filePath, const Bounds& bounds) {
    auto ex = std::make_shared<Exchange>();
    ex->kind = Exchange::Kind::kGetToFile;
    ex->url = url;
    ex->agent = agent ? agent : "";
    ex->flags = flags;
    ex->path = filePath;
    ex->chunkSize = 64 * 1024;
    ex->bounds = bounds;
    return Run(ex);
}

BoundedHttpRequest::Outcome BoundedHttpRequest::Post(const std::string& host, INTERNET_PORT port,
                                                     const std::string& path, DWORD flags, const std::string& headers,
                                                     const std::string& body, size_t chunkSize, const Bounds& bounds) {
    auto ex = std::make_shared<Exchange>();
    ex->kind = Exchange::Kind::kPost;
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
        case ERROR_INTERNET_DISCONNECTED:
        case ERROR_INTERNET_SERVER_UNREACHABLE:
        case ERROR_INTERNET_PROXY_SERVER_UNREACHABLE:
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
