// Loaded values molded back to source text, for the datatypes whose mold
// exists: what loads is what the source says.
#include "../datatypes/fixture.h"
#include "lexer_fixture.h"

namespace qor::test {
namespace {

using MoldTest = LexerTest;

// The molded top-level values, one space apart.
std::string molded(std::string_view text) {
    Cell block = unset_cell;
    lexer::scan_buffer(&block, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::string out;
    const uint32_t n = series::buffer(block.w2)->length();
    for (uint32_t i = 0; i < n; i++) {
        const Cell v = series::buffer(block.w2)->cells()[i];
        out += (i ? " " : "") + mold(v);
    }
    return out;
}

TEST_F(MoldTest, LoadedValuesMoldBack) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"12h FFFFFFFFh 1'000'000 -7", "18 -1 1000000 -7"},
        {"2147483648 1.5 .5 1e3", "2147483648.0 1.5 0.5 1000.0"},
        {"\"abc\" {a{b}c} %%{x}%% \"^(41)^-\"", "\"abc\" \"a{b}c\" \"x\" \"A^-\""},
        {"#\"a\" #\"^/\"", "#\"a\" #\"^/\""},
        {"64#{AQID} #{FF00}", "#{010203} #{FF00}"},
        {"[1 [2 3] (4)]", "[1 [2 3] (4)]"},
        {"a b: :c 'd /e #f", "a b: :c 'd /e #f"},
        {"a/b/c a/b: :a/b 'a/b", "a/b/c a/b: :a/b 'a/b"},
        {"%a.txt <b> http://x.y a@b.c", "%a.txt <b> http://x.y a@b.c"},
        {"#(true) #(none)", "true none"},
    };
    for (const auto& [source, expected] : cases) EXPECT_EQ(molded(source), expected) << source;
}

}  // namespace
}  // namespace qor::test
