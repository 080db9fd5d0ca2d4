// Symbols the runtime knows by number.
//
// The runtime interns these spellings first, in this order, before any other
// symbol exists, so their ids are constants: the datatype names (in type-id
// order), the symbols the runtime compares against (function and object fields,
// type words of function specs, OS names, loop and PARSE keywords, event, date
// and money fields), the words it announces changes and events with, the
// keyword refinements and the issue #ooo. A spelling listed twice keeps the
// id of its first place.
//
// The global context is filled in a fixed order as well (the datatype words,
// then the global words the runtime reads by index, then the runtime's words),
// so those indexes are constants too.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qor {

// X(identifier, spelling), in interning order.
#define QOR_RUNTIME_SYMBOLS(X) \
    X(datatype_x, "datatype!") \
    X(unset_x, "unset!") \
    X(none_x, "none!") \
    X(logic_x, "logic!") \
    X(block_x, "block!") \
    X(paren_x, "paren!") \
    X(string_x, "string!") \
    X(file_x, "file!") \
    X(url_x, "url!") \
    X(char_x, "char!") \
    X(integer_x, "integer!") \
    X(float_x, "float!") \
    X(symbol_x, "symbol!") \
    X(context_x, "context!") \
    X(word_x, "word!") \
    X(set_word_x, "set-word!") \
    X(lit_word_x, "lit-word!") \
    X(get_word_x, "get-word!") \
    X(refinement_x, "refinement!") \
    X(issue_x, "issue!") \
    X(native_x, "native!") \
    X(action_x, "action!") \
    X(op_x, "op!") \
    X(function_x, "function!") \
    X(path_x, "path!") \
    X(lit_path_x, "lit-path!") \
    X(set_path_x, "set-path!") \
    X(get_path_x, "get-path!") \
    X(routine_x, "routine!") \
    X(bitset_x, "bitset!") \
    X(triple_x, "triple!") \
    X(object_x, "object!") \
    X(typeset_x, "typeset!") \
    X(error_x, "error!") \
    X(vector_x, "vector!") \
    X(hash_x, "hash!") \
    X(pair_x, "pair!") \
    X(percent_x, "percent!") \
    X(tuple_x, "tuple!") \
    X(map_x, "map!") \
    X(binary_x, "binary!") \
    X(series_x, "series!") \
    X(time_x, "time!") \
    X(tag_x, "tag!") \
    X(email_x, "email!") \
    X(handle_x, "handle!") \
    X(date_x, "date!") \
    X(port_x, "port!") \
    X(money_x, "money!") \
    X(ref_x, "ref!") \
    X(point2D_x, "point2D!") \
    X(point3D_x, "point3D!") \
    X(image_x, "image!") \
    X(event_x, "event!") \
    X(spec, "spec") \
    X(body, "body") \
    X(words, "words") \
    X(class_, "class") \
    X(any_type_x, "any-type!") \
    X(exit, "exit") \
    X(return_, "return") \
    X(Windows, "Windows") \
    X(Syllable, "Syllable") \
    X(macOS, "macOS") \
    X(Linux, "Linux") \
    X(NetBSD, "NetBSD") \
    X(repeat, "repeat") \
    X(foreach, "foreach") \
    X(map_each, "map-each") \
    X(remove_each, "remove-each") \
    X(any, "any") \
    X(break_, "break") \
    X(copy, "copy") \
    X(end, "end") \
    X(fail, "fail") \
    X(into, "into") \
    X(opt, "opt") \
    X(not_, "not") \
    X(quote, "quote") \
    X(case_, "case") \
    X(reject, "reject") \
    X(set, "set") \
    X(skip, "skip") \
    X(some, "some") \
    X(thru, "thru") \
    X(to, "to") \
    X(none, "none") \
    X(bar, "|") \
    X(minus, "-") \
    X(if_, "if") \
    X(remove, "remove") \
    X(while_, "while") \
    X(insert, "insert") \
    X(only, "only") \
    X(collect, "collect") \
    X(keep, "keep") \
    X(pick, "pick") \
    X(ahead, "ahead") \
    X(after, "after") \
    X(x, "x") \
    X(y, "y") \
    X(z, "z") \
    X(self, "self") \
    X(values, "values") \
    X(owner, "owner") \
    X(owned, "owned") \
    X(events_q, "events?") \
    X(true_, "true") \
    X(false_, "false") \
    X(yes, "yes") \
    X(no, "no") \
    X(on, "on") \
    X(off, "off") \
    X(type, "type") \
    X(face, "face") \
    X(window, "window") \
    X(offset, "offset") \
    X(key, "key") \
    X(flag, "flag") \
    X(code, "code") \
    X(picked, "picked") \
    X(flags, "flags") \
    X(away_q, "away?") \
    X(ctrl_q, "ctrl?") \
    X(shift_q, "shift?") \
    X(down_q, "down?") \
    X(mid_down_q, "mid-down?") \
    X(alt_down_q, "alt-down?") \
    X(aux_down_q, "aux-down?") \
    X(orientation, "orientation") \
    X(get, "get") \
    X(put, "put") \
    X(post, "post") \
    X(head, "head") \
    X(size, "size") \
    X(rgb, "rgb") \
    X(alpha, "alpha") \
    X(argb, "argb") \
    X(date, "date") \
    X(year, "year") \
    X(month, "month") \
    X(day, "day") \
    X(zone, "zone") \
    X(isoweek, "isoweek") \
    X(week, "week") \
    X(weekday, "weekday") \
    X(yearday, "yearday") \
    X(julian, "julian") \
    X(time, "time") \
    X(hour, "hour") \
    X(minute, "minute") \
    X(second, "second") \
    X(timezone, "timezone") \
    X(amount, "amount") \
    X(user, "user") \
    X(host, "host") \
    X(system, "system") \
    X(system_global, "system-global") \
    X(stack, "stack") \
    X(trace, "trace") \
    X(no_trace, "no-trace") \
    X(at, "at") \
    X(back, "back") \
    X(find, "find") \
    X(head_q, "head?") \
    X(index_q, "index?") \
    X(length_q, "length?") \
    X(next, "next") \
    X(select, "select") \
    X(tail, "tail") \
    X(tail_q, "tail?") \
    X(change, "change") \
    X(changed, "changed") \
    X(clear, "clear") \
    X(cleared, "cleared") \
    X(set_path, "set-path") \
    X(append, "append") \
    X(appended, "appended") \
    X(move, "move") \
    X(moved, "moved") \
    X(poke, "poke") \
    X(poked, "poked") \
    X(put_ed, "put-ed") \
    X(removed, "removed") \
    X(random, "random") \
    X(randomized, "randomized") \
    X(reverse, "reverse") \
    X(reversed, "reversed") \
    X(sort, "sort") \
    X(sorted, "sorted") \
    X(swap, "swap") \
    X(swaped, "swaped") \
    X(take, "take") \
    X(taken, "taken") \
    X(trim, "trim") \
    X(trimmed, "trimmed") \
    X(inserted, "inserted") \
    X(uppercase, "uppercase") \
    X(lowercase, "lowercase") \
    X(checksum, "checksum") \
    X(push, "push") \
    X(pop, "pop") \
    X(fetch, "fetch") \
    X(match, "match") \
    X(iterate, "iterate") \
    X(paren, "paren") \
    X(tag_anon, "<anon>") \
    X(tag_body, "<body>") \
    X(tag_not_found, "<not-found>") \
    X(add, "add") \
    X(subtract, "subtract") \
    X(divide, "divide") \
    X(on_parse_event, "on-parse-event") \
    X(on_change_star, "on-change*") \
    X(on_deep_change_star, "on-deep-change*") \
    X(id, "id") \
    X(try_, "try") \
    X(catch_, "catch") \
    X(name, "name") \
    X(multiply, "multiply") \
    X(browse, "browse") \
    X(open, "open") \
    X(create, "create") \
    X(close, "close") \
    X(delete_, "delete") \
    X(modify, "modify") \
    X(query, "query") \
    X(read, "read") \
    X(rename, "rename") \
    X(update, "update") \
    X(write, "write") \
    X(prescan, "prescan") \
    X(scan, "scan") \
    X(load, "load") \
    X(error, "error") \
    X(comment, "comment") \
    X(init, "init") \
    X(exec, "exec") \
    X(call, "call") \
    X(enter, "enter") \
    X(prolog, "prolog") \
    X(epilog, "epilog") \
    X(throw_, "throw") \
    X(expr, "expr") \
    X(tag_interp_callback, "<interp-callback>") \
    X(tag_lexer_callback, "<lexer-callback>") \
    X(tag_parse_callback, "<parse-callback>") \
    X(tag_compare_callback, "<compare-callback>") \
    X(note, "note") \
    X(syntax, "syntax") \
    X(script, "script") \
    X(math, "math") \
    X(access, "access") \
    X(internal, "internal") \
    X(invalid_error, "invalid-error") \
    X(local, "local") \
    X(tag_applied, "<applied>") \
    X(extern_, "extern") \
    X(compare, "compare") \
    X(part, "part") \
    X(with_, "with") \
    X(ooo, "ooo")

enum class Sym : uint32_t {
    none_ = 0,  // no symbol: ids start at 1
#define QOR_SYM_ENUM(id, text) id,
    QOR_RUNTIME_SYMBOLS(QOR_SYM_ENUM)
#undef QOR_SYM_ENUM
    end_of_runtime_,  // the first id the runtime does not know by number
};

inline constexpr uint32_t runtime_symbol_count = static_cast<uint32_t>(Sym::end_of_runtime_) - 1;

[[nodiscard]] constexpr uint32_t to_int(Sym s) { return static_cast<uint32_t>(s); }

// Spellings by id (entry 0 is empty).
inline constexpr std::array<std::string_view, runtime_symbol_count + 1> runtime_spellings{
    "",
#define QOR_SYM_TEXT(id, text) text,
    QOR_RUNTIME_SYMBOLS(QOR_SYM_TEXT)
#undef QOR_SYM_TEXT
};

// The symbol of a datatype's name: type id t is symbol t.
[[nodiscard]] constexpr Sym type_name_symbol(uint32_t type_id) { return static_cast<Sym>(type_id); }
inline constexpr uint32_t type_name_count = 54;

namespace runtime_words {

// Words the runtime reads by their index in the global context, made after
// the datatype words.
inline constexpr Sym global_indexed[] = {
    Sym::Windows, Sym::Syllable, Sym::macOS, Sym::Linux, Sym::NetBSD, Sym::to, Sym::thru,
    Sym::not_, Sym::remove, Sym::while_, Sym::collect, Sym::keep, Sym::ahead, Sym::bar, Sym::any,
    Sym::some, Sym::copy, Sym::opt, Sym::into, Sym::insert, Sym::if_, Sym::quote, Sym::collect,
    Sym::set, Sym::case_, Sym::end,
};

// The runtime's words (bound in the global context), made after those.
inline constexpr Sym words[] = {
    Sym::at, Sym::back, Sym::find, Sym::head, Sym::head_q, Sym::index_q, Sym::length_q, Sym::next,
    Sym::pick, Sym::skip, Sym::select, Sym::tail, Sym::tail_q, Sym::change, Sym::changed,
    Sym::clear, Sym::cleared, Sym::set_path, Sym::append, Sym::appended, Sym::move, Sym::moved,
    Sym::poke, Sym::poked, Sym::put, Sym::put_ed, Sym::removed, Sym::random, Sym::randomized,
    Sym::reverse, Sym::reversed, Sym::sort, Sym::sorted, Sym::swap, Sym::swaped, Sym::take,
    Sym::taken, Sym::trim, Sym::trimmed, Sym::inserted, Sym::uppercase, Sym::lowercase,
    Sym::checksum, Sym::push, Sym::pop, Sym::fetch, Sym::match, Sym::iterate, Sym::paren,
    Sym::tag_anon, Sym::tag_body, Sym::tag_not_found, Sym::add, Sym::subtract, Sym::divide,
    Sym::on_parse_event, Sym::on_change_star, Sym::on_deep_change_star, Sym::type, Sym::id,
    Sym::try_, Sym::catch_, Sym::name, Sym::multiply, Sym::browse, Sym::open, Sym::create,
    Sym::close, Sym::delete_, Sym::modify, Sym::query, Sym::read, Sym::rename, Sym::update,
    Sym::write, Sym::prescan, Sym::scan, Sym::load, Sym::error, Sym::comment, Sym::init, Sym::exec,
    Sym::call, Sym::return_, Sym::enter, Sym::exit, Sym::prolog, Sym::epilog, Sym::throw_,
    Sym::expr, Sym::tag_interp_callback, Sym::tag_lexer_callback, Sym::tag_parse_callback,
    Sym::tag_compare_callback, Sym::throw_, Sym::note, Sym::syntax, Sym::script, Sym::math,
    Sym::access, Sym::user, Sym::internal, Sym::invalid_error, Sym::local, Sym::tag_applied,
};

// The keyword refinements, unbound.
inline constexpr Sym keywords[] = {
    Sym::local, Sym::extern_, Sym::compare, Sym::part, Sym::skip, Sym::with_,
};

// The global context's word list as the runtime fills it at start: the
// datatype words, then the global-indexed words, then the runtime's words,
// each spelling once, in order of first appearance.
inline constexpr auto global_order = [] {
    std::array<Sym, 200> order{};
    uint32_t n = 0;
    auto add = [&](Sym s) {
        for (uint32_t i = 0; i < n; i++)
            if (order[i] == s) return;
        order[n++] = s;
    };
    for (uint32_t t = 1; t <= type_name_count; t++) add(type_name_symbol(t));
    for (Sym s : global_indexed) add(s);
    for (Sym s : words) add(s);
    return order;
}();

inline constexpr uint32_t global_word_count = [] {
    uint32_t n = 0;
    while (n < global_order.size() && global_order[n] != Sym::none_) n++;
    return n;
}();

}  // namespace runtime_words

// Index in the global context of a word the runtime makes at start, or -1.
[[nodiscard]] constexpr int32_t global_index(Sym s) {
    for (uint32_t i = 0; i < runtime_words::global_word_count; i++)
        if (runtime_words::global_order[i] == s) return static_cast<int32_t>(i);
    return -1;
}

static_assert(runtime_words::global_word_count == 183);
static_assert(runtime_symbol_count == 262);
static_assert(global_index(Sym::datatype_x) == 0 && global_index(Sym::Windows) == 54);

}  // namespace qor
