// HTTP requests through libcurl's easy interface. The library is loaded
// at the first request: it and the libraries it brings (TLS, name lookup,
// compression) would cost every start-up a few milliseconds that most
// sessions never use.
#include "runtime/platform/http_client.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

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

// The entry points of libcurl used here.
struct Curl {
    CURLcode (*global_init)(long) = nullptr;
    CURL* (*easy_init)() = nullptr;
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easy_perform)(CURL*) = nullptr;
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
    void (*easy_cleanup)(CURL*) = nullptr;
    const char* (*easy_strerror)(CURLcode) = nullptr;
    curl_slist* (*slist_append)(curl_slist*, const char*) = nullptr;
    void (*slist_free_all)(curl_slist*) = nullptr;
};

// Loads libcurl and initialises it, once; nullptr when it cannot be had.
// The library stays loaded for the rest of the process.
const Curl* load_curl() {
    static const Curl* const loaded = []() -> const Curl* {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library) return nullptr;
        static Curl c;
        bool found = true;
        const auto find = [&](auto& entry, const char* name) {
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(library, name));
            found = found && entry != nullptr;
        };
        find(c.global_init, "curl_global_init");
        find(c.easy_init, "curl_easy_init");
        find(c.easy_setopt, "curl_easy_setopt");
        find(c.easy_perform, "curl_easy_perform");
        find(c.easy_getinfo, "curl_easy_getinfo");
        find(c.easy_cleanup, "curl_easy_cleanup");
        find(c.easy_strerror, "curl_easy_strerror");
        find(c.slist_append, "curl_slist_append");
        find(c.slist_free_all, "curl_slist_free_all");
        if (!found || c.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
        return &c;
    }();
    return loaded;
}

struct EasyDeleter {
    const Curl* curl;
    void operator()(CURL* h) const { curl->easy_cleanup(h); }
};
struct ListDeleter {
    const Curl* curl;
    void operator()(curl_slist* l) const { curl->slist_free_all(l); }
};

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

// The header list in the caller's order, then the removals of libcurl's own
// headers that the caller did not set.
curl_slist* header_list(const Curl& curl, const std::vector<HttpHeader>& headers) {
    curl_slist* list = nullptr;
    auto add = [&](const std::string& line) {
        curl_slist* grown = curl.slist_append(list, line.c_str());
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
    const Curl* curl;
    CURL* easy;
    HttpBodySink* sink;
    bool told = false;
};

size_t on_body(char* data, size_t size, size_t count, void* target) {
    auto& t = *static_cast<BodyTarget*>(target);
    if (!t.told) {
        t.told = true;
        curl_off_t announced = -1;
        if (t.curl->easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK && announced > 0)
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
    const Curl* const curl = load_curl();
    if (!curl) {
        response.reason = "cannot load libcurl";
        return response;
    }
    const std::unique_ptr<CURL, EasyDeleter> easy(curl->easy_init(), EasyDeleter{curl});
    if (!easy) {
        response.reason = "cannot start a request";
        return response;
    }
    CURL* h = easy.get();
    const std::unique_ptr<curl_slist, ListDeleter> headers(header_list(*curl, request.headers), ListDeleter{curl});
    char error_text[CURL_ERROR_SIZE] = {};

    curl->easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl->easy_setopt(h, CURLOPT_ERRORBUFFER, error_text);
    curl->easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl->easy_setopt(h, CURLOPT_MAXREDIRS, max_redirects);
    curl->easy_setopt(h, CURLOPT_CONNECTTIMEOUT, connect_seconds);
    curl->easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl->easy_setopt(h, CURLOPT_LOW_SPEED_TIME, stalled_seconds);
    curl->easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl->easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body);
    BodyTarget target{curl, h, &body};
    curl->easy_setopt(h, CURLOPT_WRITEDATA, &target);
    curl->easy_setopt(h, CURLOPT_HEADERFUNCTION, on_header);
    curl->easy_setopt(h, CURLOPT_HEADERDATA, &response.headers);

    if (request.method == "GET") {
        curl->easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "HEAD") {
        curl->easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else {
        if (request.method != "POST") curl->easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (request.body || request.method == "POST") {
            // The bytes go as they are (binary-safe: the size is given).
            static const uint8_t empty[1] = {0};
            const uint8_t* bytes = request.body && !request.body->empty() ? request.body->data() : empty;
            const curl_off_t size = request.body ? static_cast<curl_off_t>(request.body->size()) : 0;
            curl->easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, size);
            curl->easy_setopt(h, CURLOPT_POSTFIELDS, bytes);
        }
    }

    const CURLcode done = curl->easy_perform(h);
    if (done != CURLE_OK) {
        response.reason = error_text[0] ? error_text : curl->easy_strerror(done);
        return response;
    }
    long status = 0;
    curl->easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    response.ok = true;
    return response;
}

}  // namespace qor::platform
