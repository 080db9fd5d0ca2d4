// HTTP requests through libcurl's easy interface.
#include "runtime/platform/http_client.h"

#include <curl/curl.h>

#include <cstring>
#include <memory>
#include <string_view>

namespace qor::platform {

namespace {

// Time-outs of the request: connecting may take a minute; a transfer that
// moves no byte for half a minute is given up.
constexpr long connect_seconds = 60;
constexpr long stalled_seconds = 30;
constexpr long max_redirects = 20;

// Headers libcurl would add of its own: an empty value removes them, so
// the request carries only what the caller gives.
constexpr std::string_view own_headers[] = {"Accept", "Expect", "Content-Type"};

void global_init() {
    static const bool done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)done;
}

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

// The header list in the caller's order, then the removals of libcurl's own
// headers that the caller did not set.
curl_slist* header_list(const std::vector<HttpHeader>& headers) {
    curl_slist* list = nullptr;
    auto add = [&list](const std::string& line) {
        curl_slist* grown = curl_slist_append(list, line.c_str());
        if (grown) list = grown;
    };
    for (const HttpHeader& h : headers) {
        // A header with an empty value is sent as "Name;" in libcurl's notation.
        add(h.value.empty() ? h.name + ";" : h.name + ": " + h.value);
    }
    for (std::string_view own : own_headers) {
        bool given = false;
        for (const HttpHeader& h : headers) given = given || same_name(h.name, own);
        if (!given) add(std::string(own) + ":");
    }
    return list;
}

// The sink and what the body callback needs to tell it the announced size.
struct BodyTarget {
    CURL* easy;
    HttpBodySink* sink;
    bool told = false;
};

size_t on_body(char* data, size_t size, size_t count, void* target) {
    auto& t = *static_cast<BodyTarget*>(target);
    if (!t.told) {
        t.told = true;
        curl_off_t announced = -1;
        if (curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK && announced > 0)
            t.sink->expect(static_cast<uint64_t>(announced));
    }
    const size_t n = size * count;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    return t.sink->take({bytes, n}) ? n : 0;
}

// Keeps the header lines of the latest response: a status line starts a
// new response (after a redirect or an interim 100), the blank line that
// ends the headers is dropped.
size_t on_header(char* data, size_t size, size_t count, void* target) {
    const size_t n = size * count;
    auto& text = *static_cast<std::string*>(target);
    const std::string_view line(data, n);
    if (line.starts_with("HTTP/")) text.clear();
    else if (line != "\r\n" && line != "\n") text.append(line);
    return n;
}

}  // namespace

HttpResponse http_perform(const HttpRequest& request, HttpBodySink& body) {
    HttpResponse response;
    global_init();
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        response.reason = "cannot start a request";
        return response;
    }
    CURL* h = easy.get();
    const std::unique_ptr<curl_slist, ListDeleter> headers(header_list(request.headers));
    char error_text[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_text);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, max_redirects);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, connect_seconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, stalled_seconds);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body);
    BodyTarget target{h, &body};
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &target);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &response.headers);

    if (request.method == "GET") {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else {
        if (request.method != "POST") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (request.body || request.method == "POST") {
            // The bytes go as they are (binary-safe: the size is given).
            static const uint8_t empty[1] = {0};
            const uint8_t* bytes = request.body && !request.body->empty() ? request.body->data() : empty;
            const curl_off_t size = request.body ? static_cast<curl_off_t>(request.body->size()) : 0;
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, size);
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, bytes);
        }
    }

    const CURLcode done = curl_easy_perform(h);
    if (done != CURLE_OK) {
        response.reason = error_text[0] ? error_text : curl_easy_strerror(done);
        return response;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    response.ok = true;
    return response;
}

}  // namespace qor::platform
