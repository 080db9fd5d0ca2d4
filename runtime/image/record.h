// Image records: what an image! value refers to.
//
// A record is a byte series of 24 bytes reached through word 2 of an image!
// cell, holding five 32-bit words:
//   flags   bit 0: the bitmap holds the current pixels (always set: every
//           decoder here reads the whole image at once); bit 1: pixels were
//           written since the record was made
//   source  0: no lazy source exists on this platform
//   bitmap  the handle-table entry of the pixels
//   size    height << 16 | width, as in the image! cell
//   handle  the same entry: the record's own entry in the handle table
// The pixels themselves (a `Pixels` buffer) sit outside the collected heap,
// as the object of a handle-table entry of the kind "image". The collector
// marks that entry for every image cell it reaches (through the marker this
// file installs); an entry left unmarked is released with its pixels.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/image/pixels.h"
#include "runtime/memory/node.h"

namespace qor::image {

namespace record_flag {
inline constexpr uint32_t current = 1;
inline constexpr uint32_t modified = 2;
}  // namespace record_flag

// Registers the handle kind "image" and the collector's marker. Called by
// the registration of image!.
void init_records();

// Keeps a record's handle entry, and so its pixels, through a collection:
// the image! marker calls it for every record it reaches.
void mark_record(NodeId record);

// Makes a record owning the pixels (which must have pixels) and answers its
// node. The node is reachable from nowhere yet: the caller writes it into a
// cell the collector sees before anything else allocates.
[[nodiscard]] NodeId make_record(Pixels&& pixels);

// The pixels of a record.
[[nodiscard]] Pixels& pixels_of(NodeId record);

// Sets the modified flag (after pixels were written).
void mark_modified(NodeId record);

// Writes an image! into the cell: position 0, the record (0 for an image
// with a side of 0) and the size word. Keeps nothing else of the cell.
Cell* make_at(Cell& cell, NodeId record, uint32_t width, uint32_t height);

// make_at over pixels just made: a record when they have pixels, none when
// a side is 0 (the size stays as the pixels give it).
Cell* make_at(Cell& cell, Pixels&& pixels);

}  // namespace qor::image
