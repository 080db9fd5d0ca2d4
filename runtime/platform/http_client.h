// One synchronous HTTP request on libcurl's easy interface.
//
// The request sends exactly the method, the headers in their order and the
// body bytes given: libcurl adds the Host line (and Content-Length for a
// body) and nothing else of its own. Redirects are followed. The answer is
// the final response's status, its header lines and its body, which goes to
// a sink as it arrives.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qor::platform {

struct HttpHeader {
    std::string name;
    std::string value;
};

struct HttpRequest {
    std::string method;  // "GET", "HEAD", "POST", or any other method in upper case
    std::string url;     // with its special characters percent-encoded
    std::vector<HttpHeader> headers;
    std::optional<std::span<const uint8_t>> body;  // none: the request has no body
};

// Receives the body in pieces as they arrive; false stops the transfer,
// which then fails.
class HttpBodySink {
public:
    virtual ~HttpBodySink() = default;
    [[nodiscard]] virtual bool take(std::span<const uint8_t> bytes) = 0;
    // The size the response announced, told before its first piece, so
    // the room can be made once.
    virtual void expect(uint64_t size) { (void)size; }
};

struct HttpResponse {
    bool ok = false;
    std::string reason;   // why the request failed
    int status = 0;       // the final response's status code
    std::string headers;  // its header lines, "Name: value" each ended by CR LF, without the status line
};

[[nodiscard]] HttpResponse http_perform(const HttpRequest& request, HttpBodySink& body);

}  // namespace qor::platform
