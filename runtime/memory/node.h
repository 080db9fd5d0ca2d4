// Nodes: the one level of indirection between values and series buffers.
//
// A value refers to its storage by a 32-bit node id (0 = no node). The node
// holds the address of the buffer, so a buffer can move (when it grows, or
// when the collector compacts its frame) by rewriting one slot while every
// value holding the id stays valid.
//
// All node slots live in one reserved array indexed by id, so resolving an
// id is one indexed load. The array is cut into node frames of 10,000 ids:
// the frame in range r owns the ids r × 10,000 + 1 to (r + 1) × 10,000. A
// range's slots are committed when a frame is made in it.
//
// A slot in use holds a buffer address (0 right after allocation). A free
// slot holds the next free id of its frame shifted left by one with bit 0
// set, so a live slot and a free-list link differ in bit 0 (buffers are
// never at odd addresses).
//
// Nodes go back to the free lists only through the collector; nothing else
// frees a node.
#pragma once

#include <cstdint>

#include "runtime/memory/memory_record.h"

namespace qor {

using NodeId = uint32_t;

namespace series {
struct Buffer;
}

namespace node {

inline constexpr uint32_t frame_capacity = 10000;
// Room for 65,530,000 nodes; the array is reserved once and committed per frame.
inline constexpr uint32_t max_frames = 6553;
inline constexpr uint32_t max_id = max_frames * frame_capacity;

namespace detail {
extern uintptr_t* slots;  // slots[id]; index 0 is never used
extern uint64_t links;    // counts link() calls
}

// The buffer the node refers to. The id must be one that alloc() returned
// and that is still in use.
[[nodiscard]] inline series::Buffer* resolve(NodeId id) {
    return reinterpret_cast<series::Buffer*>(detail::slots[id]);
}

// Points the node at a buffer (or at nothing with nullptr).
inline void link(NodeId id, series::Buffer* buffer) {
    detail::slots[id] = reinterpret_cast<uintptr_t>(buffer);
    detail::links++;
}

// Moves on at every link(): a series that grew or that the collector moved
// is linked anew, so an address inside a buffer taken while this count
// stood is valid as long as it stands (and the series lives).
[[nodiscard]] inline uint64_t link_count() { return detail::links; }

// The raw slot, for the collector: a live slot has bit 0 clear.
[[nodiscard]] inline uintptr_t raw_slot(NodeId id) { return detail::slots[id]; }
[[nodiscard]] inline bool slot_is_free_link(uintptr_t slot) { return (slot & 1) != 0; }

// Reserves the slot array on first use. Called by memory::init().
void reserve_slots();

// A node whose slot reads 0. Takes from the current frame, else from the
// first frame in list order with a free node that is not retired, else from
// a new frame appended to the list.
[[nodiscard]] NodeId alloc();

// Returns a node to its frame's free list (the collector's flush only).
void free(NodeId id);

// Makes a frame of 10,000 nodes at the tail of the list, its free list in
// ascending id order. The first frame made also becomes current. A full
// id space raises internal no-memory.
memory::NodeFrame* alloc_frame();

// The frame that owns an id (nullptr when no frame owns it).
[[nodiscard]] memory::NodeFrame* frame_of(NodeId id);

// Unlinks and releases a frame; when it was current the tail becomes current.
void free_frame(memory::NodeFrame* frame);

// End of a collection: releases frames that are retired or empty (but not
// the one frame left when all are empty), makes the
// first surviving frame with room current, and shifts each survivor's
// history (bit 0 set when its use did not change since the last time).
void release_empty_frames();

}  // namespace node
}  // namespace qor
