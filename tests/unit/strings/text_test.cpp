// Comparison, make and to, form and mold of the string family.
#include "tests/unit/strings/strings_fixture.h"

namespace qor::test {
namespace {

using TextTest = StringsTest;

std::string mold_of(const Cell& v, bool all = false) { return utf8_of(act(Action::mold, {v}, {off, all ? Ref::on() : off})); }
std::string form_of(const Cell& v) { return utf8_of(act(Action::form, {v})); }

TEST_F(TextTest, MoldPicksQuotesOrBraces) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::string p49(49, 'x'), p50(50, 'x');
    const Case cases[] = {
        {"abc", "\"abc\""},
        {"", "\"\""},
        {p49, "\"" + p49 + "\""},
        {p50, "{" + p50 + "}"},
        {"a\"b", "{a\"b}"},  // a double quote: braces, the quote as it is
        {"a\"b\tc", "{a\"b^-c}"},
        {"a\nb\nc", "\"a^/b^/c\""},  // two line feeds: quotes
        {"a\nb\nc\nd", "{a^/b^/c^/d}"},  // three: braces, still escaped
        {"a^b", "\"a^^b\""},
        {"{x}", "\"{x}\""},  // quote mode never escapes braces
        {"\"{x}", "{\"{x}}"},  // balanced braces stay
        {"\"{x", "{\"^{x}"},  // an open brace with no match
        {"\"x}", "{\"x^}}"},  // a close brace with no open one
        {"\"{a}{b", "{\"{a}^{b}"},
        {"\"{{a}", "{\"^{^{a^}}"},  // an unmatched open brace: every brace after it gets a caret
        {"\x1E", "\"^(1E)\""},
        {"\x7F", "\"^~\""},
        {"\xC2\x96", "\"^(96)\""},
        {"\u00E9", "\"\u00E9\""},
        {std::string("\0", 1), "\"^@\""},
        {"\x1B", "\"^[\""},
    };
    for (const Case& c : cases) EXPECT_EQ(mold_of(text(c.in)), c.out) << c.in;
    EXPECT_EQ(mold_of(text("\u00E9"), true), "\"^(E9)\"");
    // The brace rule counts the whole rest, not the /part range.
    EXPECT_EQ(utf8_of(act(Action::mold, {text(p50)}, {off, off, off, Ref::with(I(5))})), "{xxxx");
}

TEST_F(TextTest, Comparison) {
    EXPECT_TRUE(actions::compare(text("abc"), file("abc"), CompareOp::equal));
    EXPECT_TRUE(actions::compare(text("abc"), text("ABC"), CompareOp::equal));
    EXPECT_FALSE(actions::compare(text("abc"), text("ABC"), CompareOp::strict_equal));
    EXPECT_FALSE(actions::compare(text("abc"), file("abc"), CompareOp::strict_equal));
    EXPECT_EQ(error_of([&] { (void)actions::compare(text("abc"), file("abd"), CompareOp::lesser); }),
              "script/invalid-compare");
    EXPECT_TRUE(actions::compare(text(""), text("a"), CompareOp::lesser));
    EXPECT_TRUE(actions::compare(text("abc"), text("ABD"), CompareOp::lesser));
    EXPECT_TRUE(actions::compare(text("ab"), text("abc"), CompareOp::lesser));
    EXPECT_TRUE(actions::compare(text("\u00E9t\u00E9"), text("\u00C9T\u00C9"), CompareOp::equal));
    EXPECT_TRUE(actions::compare(text("\U0001F600"), text("\uFFFF"), CompareOp::greater));
    EXPECT_FALSE(actions::compare(text("abc"), I(1), CompareOp::equal));
    EXPECT_EQ(string_type::compare_values(text("abcdef"), text("ABC"), CompareOp::equal, true), 0);
    EXPECT_EQ(string_type::compare_values(text("ab"), text("abc"), CompareOp::equal, true), 1);
}

TEST_F(TextTest, MakeAndTo) {
    EXPECT_EQ(utf8_of(act(Action::to, {T(TypeId::string), K({I(1), I(2), I(3)})})), "123");
    EXPECT_EQ(utf8_of(act(Action::to, {T(TypeId::string), B({0xC3, 0xA9})})), "\u00E9");
    EXPECT_EQ(error_of([&] { act(Action::to, {T(TypeId::string), B({0xFF})}); }), "access/invalid-utf8");
    EXPECT_EQ(error_of([&] { act(Action::to, {T(TypeId::string), none_v}); }), "script/bad-to-arg");
    EXPECT_EQ(error_of([&] { act(Action::make, {T(TypeId::string), I(-1)}); }), "script/out-of-range");
    Cell made = act(Action::make, {T(TypeId::string), I(100)});
    EXPECT_EQ(type_of(made), TypeId::string);
    EXPECT_EQ(str::length_at(made), 0u);
    Cell f = act(Action::to, {T(TypeId::file), text("a b")});
    EXPECT_EQ(type_of(f), TypeId::file);
    EXPECT_EQ(utf8_of(f), "a b");
    EXPECT_EQ(utf8_of(act(Action::to, {T(TypeId::string), F(1.5)})), "1.5");
    EXPECT_EQ(type_of(act(Action::to, {T(TypeId::tag), text("x")})), TypeId::tag);
}

TEST_F(TextTest, FileMoldLoadsBack) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"", "%\"\""},
        {"dir/file.txt", "%dir/file.txt"},
        {"a b", "%\"a b\""},
        {"say\"hi\"", "%\"say^\"hi^\"\""},
        {"50%", "%\"50%\""},
        {"tab\there", "%\"tab^-here\""},
        {"caret^", "%\"caret^^\""},
        {"semi;colon", "%\"semi;colon\""},
        {"\u00E9t\u00E9", "%\u00E9t\u00E9"},
    };
    for (const Case& c : cases) EXPECT_EQ(mold_of(file(c.in)), c.out) << c.in;
    EXPECT_EQ(form_of(file("a b")), "a b");
}

TEST_F(TextTest, UrlsPercentEncode) {
    EXPECT_EQ(mold_of(url("http://a.b/c d")), "http://a.b/c%20d");
    EXPECT_EQ(mold_of(url("http://x/\u00E9")), "http://x/%C3%A9");
    EXPECT_EQ(mold_of(url("http://x/~a-b_c.d?e=f&g#h")), "http://x/~a-b_c.d?e=f&g#h");
    EXPECT_EQ(mold_of(url("ftp://x/[1]{2}|\"%")), "ftp://x/%5B1%5D%7B2%7D%7C%22%25");
    EXPECT_EQ(form_of(url("http://a.b/c d")), "http://a.b/c d");

    auto decoded = [](const char* in) {
        Cell out = text("");
        url_text::decode(text(in), out);
        return utf8_of(out);
    };
    EXPECT_EQ(decoded("%41%A9"), "A\u00A9");
    EXPECT_EQ(decoded("%C3%A9"), "\u00E9");
    EXPECT_EQ(decoded("%c3%a9x"), "\u00E9x");
    EXPECT_EQ(decoded("%C3"), "%C3");
    EXPECT_EQ(decoded("%E9"), "%E9");
    EXPECT_EQ(decoded("a%2"), "a%2");
    EXPECT_EQ(decoded("%E2%98%BA"), "\u263A");

    Cell enc = text("");
    url_text::encode(text("a b~/\u00E9"), enc, url_text::EncodeMode::unreserved);
    EXPECT_EQ(utf8_of(enc), "a%20b~%2F%C3%A9");
}

TEST_F(TextTest, UrlFromBlockAndPaths) {
    const Cell spec = K({word::load("http"), text("example.org"), I(8080), word::load("a"), word::load("b")});
    EXPECT_EQ(utf8_of(act(Action::make, {T(TypeId::url), spec})), "http://example.org:8080/a/b");
    const Cell issue = word::issue("top");
    EXPECT_EQ(utf8_of(act(Action::to, {T(TypeId::url), K({word::load("http"), text("h"), text("p"), issue})})),
              "http://h/p#top");
    EXPECT_EQ(utf8_of(act(Action::make, {T(TypeId::url), K({word::load("http"), text("h"), I(80)})})),
              "http://h:80");
    EXPECT_EQ(error_of([&] { act(Action::make, {T(TypeId::url), K({})}); }), "script/bad-to-arg");

    auto path = [](const Cell& base, const Cell& key) {
        Cell parent = base, element = key, p = none_v;
        actions::EvalPathArgs a{};
        a.parent = &parent;
        a.element = &element;
        a.path = &p;
        a.get_mode = true;
        return *actions::call_eval_path(a);
    };
    EXPECT_EQ(utf8_of(path(url("http://h/"), file("/x"))), "http://h/x");
    EXPECT_EQ(utf8_of(path(url("http://h/"), file("x"))), "http://h/x");
    EXPECT_EQ(utf8_of(path(url("http://h"), word::load("x"))), "http://h/x");
    const Cell joined = path(file("dir"), file("f.txt"));
    EXPECT_EQ(type_of(joined), TypeId::file);
    EXPECT_EQ(utf8_of(joined), "dir/f.txt");
}

TEST_F(TextTest, TagEmailRef) {
    EXPECT_EQ(mold_of(text("a href", TypeId::tag)), "<a href>");
    EXPECT_EQ(form_of(text("a href", TypeId::tag)), "<a href>");
    EXPECT_EQ(mold_of(text("me@host.org", TypeId::email)), "me@host.org");
    EXPECT_EQ(mold_of(text("name", TypeId::ref)), "@name");
    EXPECT_EQ(error_of([&] { act(Action::append, {text("name", TypeId::ref), text("x")}); }), "script/expect-arg");

    auto field = [](Cell& e, const char* name, const Cell* value = nullptr) {
        Cell element = word::load(name), p = none_v, v = value ? *value : none_v;
        Cell parent = e;
        actions::EvalPathArgs a{};
        a.parent = &parent;
        a.element = &element;
        a.path = &p;
        a.value = value ? &v : nullptr;
        return *actions::call_eval_path(a);
    };
    Cell e = text("me@host.org", TypeId::email);
    EXPECT_EQ(utf8_of(field(e, "user")), "me");
    EXPECT_EQ(utf8_of(field(e, "host")), "host.org");
    const Cell other = text("example.com");
    field(e, "host", &other);
    EXPECT_EQ(utf8_of(e), "me@example.com");
    const Cell you = text("you");
    field(e, "user", &you);
    EXPECT_EQ(utf8_of(e), "you@example.com");
    Cell plain = text("nobody", TypeId::email);
    EXPECT_EQ(utf8_of(field(plain, "user")), "nobody");
    EXPECT_EQ(utf8_of(field(plain, "host")), "");
    EXPECT_EQ(error_of([&] { field(plain, "port"); }), "script/invalid-path");
}

}  // namespace
}  // namespace qor::test
