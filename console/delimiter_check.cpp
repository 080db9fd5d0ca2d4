// Delimiter counting through the lexer's events.
//
// The listener ends the run as soon as it knows the answer, by throwing
// one of two markers: Incomplete (more lines will close what is open) or
// Broken. The lexer unwinds its own state when they pass through it.
#include "console/delimiter_check.h"

#include "runtime/core/type_ids.h"
#include "runtime/lexer/lexer.h"

namespace qor::console {

namespace {

struct Incomplete {};
struct Broken {};

// The opening character shown for each kind of open series.
char32_t opening_of(int32_t type) {
    switch (static_cast<TypeId>(type)) {
        case TypeId::block: return U'[';
        case TypeId::paren:
        case TypeId::map:
        case TypeId::point2d: return U'(';
        case TypeId::string: return U'{';
        case TypeId::path:
        case TypeId::lit_path:
        case TypeId::get_path:
        case TypeId::set_path: return U'/';
        default: return 0;
    }
}

// Consecutive `c` from text[at], forwards or backwards.
size_t count_run(std::string_view text, size_t at, char c, bool backwards) {
    size_t n = 0;
    while (at < text.size() && text[at] == c) {
        ++n;
        if (backwards) {
            if (at == 0) break;
            --at;
        } else {
            ++at;
        }
    }
    return n;
}

// Decides on an error event, throwing the answer.
[[noreturn]] void on_error(std::string_view text, const lexer::EventInfo& e, std::u32string& open) {
    const auto type = static_cast<TypeId>(e.type);
    const char32_t last = open.empty() ? 0 : open.back();
    if (type == TypeId::error) throw Broken{};
    // A series that the end of the text left open: more lines may close it.
    // An error before the end (a close that does not match, reported after
    // the closing token) is broken.
    if ((type == TypeId::block || type == TypeId::paren || type == TypeId::map || type == TypeId::point2d) &&
        opening_of(e.type) == last && e.position >= text.size())
        throw Incomplete{};
    if (type == TypeId::paren && !open.empty()) {
        size_t under = open.size() >= 2 ? open.size() - 2 : open.size() - 1;
        if (open[under] == U'/') {
            open.erase(under, 1);
            throw Incomplete{};
        }
    }
    if (type == TypeId::tag) {
        open.push_back(U'<');
        throw Incomplete{};
    }
    // The character before the final line feed.
    const char before_end = text.size() >= 2 ? text[text.size() - 2] : 0;
    if (type == TypeId::binary && before_end != '}') {
        open.push_back(U'{');
        throw Incomplete{};
    }
    if (type == TypeId::string) {
        if (e.start < text.size() && text[e.start] == '%') {
            // A raw string is closed by a run of "%" as long as its opening run.
            size_t begin = count_run(text, e.start, '%', false);
            size_t end = text.size() >= 2 ? count_run(text, text.size() - 2, '%', true) : 0;
            if (begin > end) {
                open.push_back(U'{');
                throw Incomplete{};
            }
        } else if (last == U'{') {
            throw Incomplete{};
        }
    }
    throw Broken{};
}

}  // namespace

DelimiterCheck check_delimiters(std::string_view text) {
    DelimiterCheck result;
    std::u32string& open = result.open;
    lexer::Listener listener;
    listener.mask = static_cast<uint8_t>(lexer::Event::open) | static_cast<uint8_t>(lexer::Event::close) |
                    static_cast<uint8_t>(lexer::Event::error);
    listener.on_event = [&](const lexer::EventInfo& e, uint32_t&) {
        switch (e.event) {
            case lexer::Event::open:
                open.push_back(opening_of(e.type));
                return true;
            case lexer::Event::close:
                if (open.empty() || open.back() != opening_of(e.type)) throw Broken{};
                open.pop_back();
                return true;
            case lexer::Event::error:
                on_error(text, e, open);
            default:
                return true;
        }
    };
    lexer::Options options;
    options.listener = &listener;
    try {
        (void)lexer::scan_buffer(nullptr, reinterpret_cast<const uint8_t*>(text.data()), text.size(), options);
    } catch (const Incomplete&) {
    } catch (const Broken&) {
        result.ok = false;
    }
    return result;
}

std::u32string continuation_prompt(const DelimiterCheck& check) {
    std::u32string cue;
    if (!check.open.empty()) cue.push_back(check.open.back());
    cue += U"    ";
    return cue;
}

}  // namespace qor::console
