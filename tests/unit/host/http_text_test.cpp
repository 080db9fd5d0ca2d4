// The texts of HTTP and of the clipboard: response header lines, method
// words, and file lists as text/uri-list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/host/clipboard.h"
#include "runtime/host/http.h"

namespace qor::host {
namespace {

TEST(HttpHeaders, ValueStartsAfterTheBlanksAndEndsAtCrLfOrTheEnd) {
    const struct {
        const char* text;
        std::vector<std::pair<std::string, std::string>> headers;
    } cases[] = {
        {"A: 1\r\nB: two words\r\n", {{"A", "1"}, {"B", "two words"}}},
        {"A:1\r\nB:\t \tx\r\n", {{"A", "1"}, {"B", "x"}}},              // no blank, or several
        {"Last: no line end", {{"Last", "no line end"}}},                // ends at the end of the text
        {"A: lf only\nB: b\n", {{"A", "lf only"}, {"B", "b"}}},         // bare LF
        {"Empty:\r\nE2: \r\n", {{"Empty", ""}, {"E2", ""}}},
        {"Url: http://x:8080/p\r\n", {{"Url", "http://x:8080/p"}}},     // later colons belong to the value
        {"no colon here\r\n: no name\r\nOk: y", {{"Ok", "y"}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, std::string>> got;
        for (const auto& h : http::parse_headers(c.text)) got.emplace_back(h.name, h.value);
        EXPECT_EQ(got, c.headers) << c.text;
    }
}

TEST(HttpHeaders, MethodWordsAreSentInUpperCase) {
    EXPECT_EQ(http::method_text("get"), "GET");
    EXPECT_EQ(http::method_text("Put"), "PUT");
    EXPECT_EQ(http::method_text("m-search"), "M-SEARCH");
}

TEST(ClipboardFiles, UriListRoundTrip) {
    const std::vector<std::string> paths = {"/tmp/a.txt", "/tmp/with blank/\xC3\xA9%#?.txt", "/"};
    const std::string list = clipboard::uri_list(paths);
    EXPECT_EQ(list, "file:///tmp/a.txt\r\nfile:///tmp/with%20blank/%C3%A9%25%23%3F.txt\r\nfile:///\r\n");
    EXPECT_EQ(clipboard::paths_of_uri_list(list), paths);
    // Other programs' lists: comments, a host part, bare LF, other schemes.
    EXPECT_EQ(clipboard::paths_of_uri_list("# c\nfile://localhost/x\nhttp://h/y\nfile:///z%2"),
              (std::vector<std::string>{"/x", "/z%2"}));
}

}  // namespace
}  // namespace qor::host
