// The built-in routines on events: the event! test, handing an event to the
// operating system's queue (the terminal has none), and the flag search of
// face facets.
#include "runtime/datatypes/logic.h"
#include "runtime/environment/routines.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::environment {

namespace {

Cell* arg(uint32_t i) { return stack::data.base + i; }

void event_q() { logic::box(type_of(*arg(0)) == TypeId::event); }

// The terminal has no queue of operating-system events to post to.
void send_event_os() { logic::box(false); }

bool names(const Cell& word, uint32_t wanted) {
    return symbol::resolve_alias(word::symbol_of(word)) == wanted;
}

// A word facet is the flag or not; a block facet holds it as a word or a
// lit-word.
void find_flag_q() {
    const Cell facet = *arg(0);
    const uint32_t wanted = symbol::resolve_alias(word::symbol_of(*arg(1)));
    bool found = false;
    if (type_of(facet) == TypeId::word) {
        found = names(facet, wanted);
    } else if (type_of(facet) == TypeId::block) {
        const uint32_t count = series_tail::cell_count(facet);
        for (uint32_t i = 0; i < count && !found; i++) {
            const Cell v = *series_tail::cell_at(facet, i);
            found = (type_of(v) == TypeId::word || type_of(v) == TypeId::lit_word) && names(v, wanted);
        }
    }
    logic::box(found);
}

}  // namespace

void define_event_routines() {
    define_routine("event?", R"(["Returns true if the value is this type" value [any-type!] return: [logic!]])",
                   event_q);
    define_routine("send-event-os", R"([event [event!] queued? [logic!] return: [logic!]])", send_event_os);
    define_routine("find-flag?", R"([facet [any-type!] flag [word!] return: [logic!]])", find_flag_q);
}

}  // namespace qor::environment
