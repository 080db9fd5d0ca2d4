// event!: one user-interface event, carried from the interface engine to
// the script side and back.
//
// An event cell:
//   header  type id 54; bit 12 set on an event a script made with `make`
//   word 1  the event type id (1-38, `Type`; 0 when none was given)
//   word 2  script-made: the node of its values block (face, window,
//           offset, picked), or 0 when none was given;
//           engine-made: the serial of the record it reads (see `LiveRecord`)
//   word 3  bits 22-31 the flag bits (`flag`); script-made: bits 0-20 the
//           key's code point (0 = none); engine-made: bit 0 set when the
//           record's key is a special-key code rather than a character
//
// An engine-made event reads a native record that lives only while the event
// is dispatched. Each record gets a serial when it goes live; an event whose
// serial names no live record is stale, and its record fields (face, offset,
// key, picked) answer none instead of reading memory that is gone.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/roots.h"

namespace qor::event {

// Event type ids; the words are their names with '-' for '_' (dbl-click).
enum class Type : uint8_t {
    down = 1, up, mid_down, mid_up, alt_down, alt_up, aux_down, aux_up, click, dbl_click,
    wheel, over, key, key_down, key_up, ime, focus, unfocus, enter, zoom,
    pan, rotate, two_tap, press_tap, select, change, menu, close, move, resize,
    moving, resizing, time, drawing, scroll, minimize, maximize, restore,
};
inline constexpr uint32_t type_count = 38;

// Flag bits of word 3.
namespace flag {
inline constexpr uint32_t control = 0x10000000;
inline constexpr uint32_t shift = 0x20000000;
inline constexpr uint32_t alt = 0x40000000;
inline constexpr uint32_t command = 0x80000000;
inline constexpr uint32_t away = 0x04000000;
inline constexpr uint32_t down = 0x02000000;
inline constexpr uint32_t mid_down = 0x01000000;
inline constexpr uint32_t alt_down = 0x00800000;
inline constexpr uint32_t aux_down = 0x00400000;
inline constexpr uint32_t all = 0xFFC00000;
// Engine-made events: the record's key is a special-key code.
inline constexpr uint32_t special_key = 0x1;
}  // namespace flag

// Header bit of a script-made event.
inline constexpr uint32_t script_made = cell_flag::event_script_made;
// Bits of a script-made event's key code point.
inline constexpr uint32_t key_mask = 0x1FFFFF;

// Special-key codes (negative, so they never collide with a character).
namespace key {
inline constexpr int32_t up = -20;
inline constexpr int32_t down = -21;
inline constexpr int32_t right = -22;
inline constexpr int32_t left = -23;
inline constexpr int32_t end = -24;
inline constexpr int32_t home = -25;
inline constexpr int32_t insert = -26;
inline constexpr int32_t del = -27;
inline constexpr int32_t page_up = -28;
inline constexpr int32_t page_down = -29;
inline constexpr int32_t f1 = -31;  // F2 .. F12 follow down to -42
inline constexpr int32_t f12 = -42;
// Shift-Tab as the terminal decoder reports it; delivered as a tab with the
// shift flag.
inline constexpr int32_t back_tab = 10;
}  // namespace key

// The record an engine-made event reads: the face of the widget the event
// is for, the position relative to that widget, the key (a character or a
// special-key code) or the picked index, and the wheel direction.
struct Record {
    Cell face = unset_cell;
    float x = 0;
    float y = 0;
    int32_t key = 0;
    float amount = 0;
};

// Makes a record live for the scope of one dispatch: events made for it read
// it until the scope ends, and are stale afterwards. Scopes nest (an event
// handler may dispatch further events); the record's face stays reachable
// for the collector while the record is live.
class LiveRecord {
public:
    explicit LiveRecord(Record& record);
    ~LiveRecord();
    LiveRecord(const LiveRecord&) = delete;
    LiveRecord& operator=(const LiveRecord&) = delete;

    [[nodiscard]] uint32_t serial() const { return serial_; }

private:
    collector::RootGuard face_guard_;
    uint32_t serial_;
};

// An engine-made event of the type for the live record, with the flags
// (flag bits, and `flag::special_key` when the record's key is a special
// code).
[[nodiscard]] Cell make_for(Type type, const LiveRecord& record, uint32_t flags);

// The record an event reads, or nullptr when it is script-made or stale.
[[nodiscard]] const Record* record_of(const Cell& event);

// Registers event! (no parent).
void init();

}  // namespace qor::event
