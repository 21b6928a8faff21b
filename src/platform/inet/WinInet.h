#pragma once
// The asynchronous HTTP client calls that the web client makes, with the Windows
// shapes, status codes and 12xxx error numbers; served by our own HTTP/1.1 client on one background
// thread per session. Status callbacks run on that thread, never on the caller's.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zelora::inet {

using HINTERNET = void*;
using DWORD = std::uint32_t;
using DWORD_PTR = std::uintptr_t;
using BOOL = int;
using INTERNET_PORT = std::uint16_t;

struct INTERNET_ASYNC_RESULT {
    DWORD_PTR dwResult;
    DWORD dwError;
};

using INTERNET_STATUS_CALLBACK = void (*)(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                          DWORD infoLength);

// InternetOpen access types and flags.
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;
constexpr DWORD INTERNET_FLAG_ASYNC = 0x10000000;
constexpr DWORD INTERNET_SERVICE_HTTP = 3;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;

// Request flags (accepted; caching flags have no effect here).
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
constexpr DWORD INTERNET_FLAG_FORMS_SUBMIT = 0x00000040;

// HttpAddRequestHeaders modifiers.
constexpr DWORD HTTP_ADDREQ_FLAG_ADD_IF_NEW = 0x10000000;
constexpr DWORD HTTP_ADDREQ_FLAG_ADD = 0x20000000;
constexpr DWORD HTTP_ADDREQ_FLAG_REPLACE = 0x80000000;

// HttpQueryInfo levels.
constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;

// InternetSetOption options (milliseconds, DWORD buffer).
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;

// Status codes reported to the callback.
constexpr DWORD INTERNET_STATUS_RESOLVING_NAME = 10;
constexpr DWORD INTERNET_STATUS_NAME_RESOLVED = 11;
constexpr DWORD INTERNET_STATUS_CONNECTING_TO_SERVER = 20;
constexpr DWORD INTERNET_STATUS_CONNECTED_TO_SERVER = 21;
constexpr DWORD INTERNET_STATUS_SENDING_REQUEST = 30;
constexpr DWORD INTERNET_STATUS_REQUEST_SENT = 31;
constexpr DWORD INTERNET_STATUS_RECEIVING_RESPONSE = 40;
constexpr DWORD INTERNET_STATUS_RESPONSE_RECEIVED = 41;
constexpr DWORD INTERNET_STATUS_CLOSING_CONNECTION = 50;
constexpr DWORD INTERNET_STATUS_CONNECTION_CLOSED = 51;
constexpr DWORD INTERNET_STATUS_HANDLE_CREATED = 60;
constexpr DWORD INTERNET_STATUS_HANDLE_CLOSING = 70;
constexpr DWORD INTERNET_STATUS_REQUEST_COMPLETE = 100;
constexpr DWORD INTERNET_STATUS_REDIRECT = 110;
constexpr DWORD INTERNET_STATUS_INTERMEDIATE_RESPONSE = 120;
constexpr DWORD INTERNET_STATUS_STATE_CHANGE = 200;

// Error numbers.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_INVALID_OPERATION = 12016;
constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_INTERNET_INVALID_PROXY_REQUEST = 12033;
constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
constexpr DWORD ERROR_HTTP_DOWNLEVEL_SERVER = 12151;
constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr DWORD ERROR_HTTP_INVALID_HEADER = 12153;
constexpr DWORD ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
constexpr DWORD ERROR_HTTP_HEADER_ALREADY_EXISTS = 12155;
constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;

// A reply body above this many bytes fails its request with ERROR_INTERNET_INTERNAL_ERROR
// rather than growing the buffer without bound.
constexpr std::size_t kMaxReplyBytes = 16u * 1024u * 1024u;

// The last error of the calling thread, as set by the calls below.
DWORD GetLastError();
void SetLastError(DWORD error);

// Session. PRECONFIG takes the proxy from http_proxy/https_proxy/no_proxy (see InetProxy.h).
HINTERNET InternetOpen(const char* userAgent, DWORD accessType, const char* proxy, const char* proxyBypass,
                       DWORD flags);
// Returns the previous callback; a null callback stops all reports.
INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET session, INTERNET_STATUS_CALLBACK callback);
BOOL InternetSetOption(HINTERNET session, DWORD option, const void* buffer, DWORD length);

// Connection: reports HANDLE_CREATED once a TCP connection to the server (or the proxy)
// has been made or has definitely failed; a server that never answers reports nothing.
HINTERNET InternetConnect(HINTERNET session, const char* host, INTERNET_PORT port, const char* userName,
                          const char* password, DWORD service, DWORD flags, DWORD_PTR context);
HINTERNET HttpOpenRequest(HINTERNET connect, const char* verb, const char* objectName, const char* version,
                          const char* referrer, const char** acceptTypes, DWORD flags, DWORD_PTR context);
// `length` of (DWORD)-1 means up to the terminator.
BOOL HttpAddRequestHeaders(HINTERNET request, const char* headers, DWORD length, DWORD modifiers);
// Always asynchronous: FALSE with ERROR_IO_PENDING when started; REQUEST_COMPLETE follows
// once the whole reply has arrived (or failed).
BOOL HttpSendRequest(HINTERNET request, const char* headers, DWORD headersLength, const void* body, DWORD bodyLength);

// Reading after REQUEST_COMPLETE; before it both fail with ERROR_IO_PENDING.
BOOL InternetQueryDataAvailable(HINTERNET request, DWORD* available, DWORD flags, DWORD_PTR context);
BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD toRead, DWORD* read);
BOOL HttpQueryInfo(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* length, DWORD* index);

// Closing is asynchronous: the handle is invalid at once, HANDLE_CLOSING follows on the
// background thread and is the last report for it. Closing a session stops its thread.
BOOL InternetCloseHandle(HINTERNET handle);

} // namespace zelora::inet
