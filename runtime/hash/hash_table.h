// Hash tables: one open-addressing index that serves five kinds of table.
//
//   kind 0  the index of a hash! block: every cell is a key; keys that are
//           equal? share one bucket through a list of their positions
//   kind 1  the key index of a map!: alternating key and value cells
//   kind 2  the symbol table and the word lists of contexts
//   kind 3  record tables keyed by a node id
//   kind 4  the ownership table (records of four cells)
//
// The index never holds values: it maps buckets to positions in a block of
// cells (or to records in a record block) that lives beside it. All of its
// storage is series memory reached through nodes, so tables move and are
// collected like any other series. Buckets are a power of two; a key's
// first bucket is its hash & (buckets - 1) and the k-th failed probe steps
// k buckets further (triangular probing, which visits every bucket).
// Bucket states take two bits each.
//
// Keys hash by content or by node id. Node ids never change while a node is
// alive, so a table never needs re-indexing after a collection.
//
// The table record is eleven signed 32-bit words in a byte series:
//   size, index (kind 0: position-index node) or record size (kinds 3-4),
//   lists (kind 0: duplicate-list array node), flags node, slots node,
//   block node, occupied (live + deleted buckets), buckets, limit, kind,
//   and a spare word kept at 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::hashtable {

enum class Kind : int32_t { hash = 0, map = 1, words = 2, records = 3, ownership = 4 };

struct Record {
    int32_t size;
    int32_t index;  // kind 0: position index node; kinds 3-4: record size in bytes
    int32_t lists;
    int32_t flags;
    int32_t slots;
    int32_t block;
    int32_t occupied;
    int32_t buckets;
    int32_t limit;
    int32_t kind;
    int32_t spare;
};
static_assert(sizeof(Record) == 44);

// The record of a table. Valid until the next allocation.
[[nodiscard]] Record& record(NodeId table);

// A key that stands for part of a string: hashes like a string from its
// index, word 3 (when not negative) giving the number of units; it matches
// keys of every string type.
inline constexpr uint8_t string_part_type = 56;

// The key comparison of kinds 0 and 1: the `compare` action of the two
// values with an operator code (0 equal?, 2 strict-equal?, ...); 0 means
// the test holds. Installed by the datatype layer.
using KeyCompare = int32_t (*)(const Cell& a, const Cell& b, int op);
void set_key_compare(KeyCompare compare);

// Checks and prepares a new map key after it is indexed (raises for a key
// type a map refuses). Installed by the map datatype; none by default.
using MapKeyCheck = void (*)(NodeId table, Cell& key);
void set_map_key_check(MapKeyCheck check);

// Operator codes the tables use.
inline constexpr int op_equal = 0;
inline constexpr int op_strict_equal = 2;

// ---- Making tables ----

// A table for `size` keys. Kinds 0-2: with a block value, the table indexes
// that block from the value's index (for a map, duplicate keys keep the
// last value); without one (block = nullptr) a new empty block of `size`
// cells is made. Kinds 3-4: records of extra + 1 cells. A kind-2 table of
// 4000 or more keys starts with room for twice as many.
[[nodiscard]] NodeId init(int32_t size, const Cell* block, Kind kind, int32_t extra);

// A copy of the table bound to another block (a cell-for-cell copy of the
// table's block).
[[nodiscard]] NodeId copy(NodeId table, NodeId new_block);

// Empties the table and its block (a hash! keeps its position index and
// list array).
void clear(NodeId table);

// The block node of a table.
[[nodiscard]] NodeId block_of(NodeId table);

// ---- Keys in a block (kinds 0-2) ----

// The hash of a key cell through its datatype's hasher; a type without one
// hashes to 0.
[[nodiscard]] uint32_t hash_value(const Cell& key);

// How the keys of one datatype hash, installed from the datatype's
// registration. Keys that are equal? must hash the same.
using ValueHasher = uint32_t (*)(const Cell& key);
void set_value_hasher(uint8_t type, ValueHasher hasher);
[[nodiscard]] ValueHasher value_hasher(uint8_t type);

// Hashers that several datatypes share.
// MurmurHash3 of the cell's 32-bit words `first` to `last` (0 is the header).
[[nodiscard]] uint32_t hash_cell_words(const Cell& key, int first, int last);
// Case-folded hash of a string's characters from its index.
[[nodiscard]] uint32_t hash_string_key(const Cell& key);

// Indexes the key cell at `position` of the table's block (the cell is
// already there). Answers the position of the key that holds the bucket:
// for kinds 1 and 2, an existing strictly equal key's; otherwise the new
// key's. `status` (when given) is 2 when the table was rebuilt instead
// (kind 0: the rebuild indexed every cell, the new one included).
int32_t put(NodeId table, int32_t position, int* status = nullptr);

// The position of a key in the table's block that holds under the
// operator, or -1. Kind 0 takes the rules of find on a hash!: from head
// position `head`, every `skip`-th position, the last one with `last`, the
// last one before head with `reverse`.
[[nodiscard]] int32_t find(NodeId table, const Cell& key, int32_t head = 0, int32_t skip = 1, int op = op_equal,
                           bool last = false, bool reverse = false);

// For a map: the next key after a previous call that is equal? to `key`
// and of its datatype; `bucket` starts at -1 and carries the search state
// between calls together with `start` and `step`. Answers -1 at the end.
[[nodiscard]] int32_t find_next(NodeId table, const Cell& key, int32_t& bucket, int32_t& start, int32_t& step);

// Indexes every key of the block from `start`, every `step`-th cell (2 for
// a map). For a map, a key equal to an earlier one overwrites that key's
// value and its pair is removed from the block.
void index_block(NodeId table, int32_t start, int32_t step);

// Rebuilds the bucket arrays of a kind 1 or 2 table for `request` buckets.
void resize(NodeId table, int32_t request);

// Rebuilds a kind-0 table from its block for about `hint` keys.
void rebuild(NodeId table, int32_t hint);

// ---- Keeping a hash! index in step with its block (kind 0) ----

// Before the cell at `position` is removed from the block. For a map, marks
// the pair at `position` removed (its value cell's header becomes 0).
void remove_at(NodeId table, int32_t position);

// Before n cells at `position` are removed.
void remove_range(NodeId table, int32_t position, int32_t n);

// After the `count` cells from `position` moved by `shift` positions (an
// insertion moves them up, a removal down). With `move_index`, the position
// index moves with them (and for a removal the -shift positions before
// `position` lose their buckets). Answers 1 and changes nothing for more
// than 30,000 cells (the caller rebuilds instead), else 0.
int reindex_range(NodeId table, int32_t shift, int32_t position, int32_t count, bool move_index);

// After `count` cells moved within the block from `from` to before the
// cell that stood at `to` (a position counted before the move); nothing
// moved when `to` lies in [from, from + count].
void move_range(NodeId table, int32_t to, int32_t from, int32_t count);

// ---- Symbols and word lists (kind 2) ----

// The symbol id (1-based position in the symbol block) of a spelling. An
// exact match answers its id; with `any_case`, a match ignoring ASCII case
// does. Otherwise a new symbol is appended: when a symbol spelled the same
// ignoring ASCII case exists, the new one's alias is that symbol's
// canonical id, else -1.
int32_t intern_symbol(NodeId table, const uint8_t* spelling, size_t length, bool any_case);

// The hash of a spelling: MurmurHash3 of its bytes with A-Z folded to a-z.
[[nodiscard]] uint32_t hash_spelling(const uint8_t* spelling, size_t length);

// The symbol table whose aliases words resolve through (for hashing and
// comparing words ignoring case). Set by the runtime boot.
void set_symbol_table(NodeId table);
[[nodiscard]] NodeId symbol_table();

// The canonical id of a symbol: its alias when it has one.
[[nodiscard]] int32_t resolve_alias(int32_t symbol);

// Looks a symbol up in a context's word list (a kind-2 table of word
// cells). Found: writes its position to `position` and answers it. Not
// found: with a context node, appends a word! cell (context, symbol,
// position) and answers -1 with `position` set; without one answers -1.
// With `any_case` symbols compare by canonical id.
int32_t find_or_add_word(NodeId table, int32_t symbol, bool any_case, NodeId context, int32_t* position);

// ---- Record tables (kinds 3 and 4) ----

// The payload cells of the key's record, made when missing (every cell of
// the record is reset to unset!). Valid until the next allocation.
[[nodiscard]] Cell* put_key(NodeId table, uint32_t key);
// The payload of the key's record, or nullptr.
[[nodiscard]] Cell* find_key(NodeId table, uint32_t key);
// Removes the key's record and answers its payload, or nullptr.
Cell* remove_key(NodeId table, uint32_t key);

// ---- For the collector ----

// Calls visit with every series node the table holds (record, index, list
// array and lists, flags, slots, block; for kinds 3-4 each live record's
// key node).
void for_each_node(NodeId table, void (*visit)(NodeId node, void* context), void* context);

// Calls visit with the key and the payload cells of every live record of a
// record table (kinds 3-4). Visit may remove the record it is given; it must
// not allocate.
void for_each_record(NodeId table, void (*visit)(uint32_t key, Cell* payload, void* context), void* context);

}  // namespace qor::hashtable
