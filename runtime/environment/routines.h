// The environment's built-in routines: small operations written in C++ and
// bound to global words as routine! values, each with its interface block.
//
// Every routine runs in the frame of its call: its arguments are the cells
// from stack::data.base in interface order, already checked against their types,
// and it leaves its result in the first of them.
#pragma once

#include <string_view>

#include "runtime/datatypes/routine.h"

namespace qor::environment {

// Registers the code under the name, builds a routine from the interface text
// (one block in the language's own notation, doc strings included) and binds the name's
// global word to it.
void define_routine(std::string_view name, std::string_view spec, routine::RoutineFn code);

// The quiet setters, shifts, directories, stack introspection, clipboard
// and standard-output routines.
void define_system_routines();

// The datatype and typeset tests (integer?, any-list? ...).
void define_type_tests();

// The JSON decoder's unescape.
void define_json_routines();
// The JSON encoder's json-encode.
void define_json_encode_routine();
// The JSON decoder's json-decode.
void define_json_decode_routine();
// The CSV decoder's csv-rows.
void define_csv_routines();

// rejoin.
void define_series_routines();

// The profiler's profiler-step.
void define_tools_routines();

// event?, send-event-os and find-flag?.
void define_event_routines();

// The routines of system/view/platform (bound as platform-<field> while
// the library loads), and `wait`'s use of the event loop.
void define_view_routines();

// qorbin-encode and qorbin-decode, behind the qorbin codec.
void define_qorbin_routines();
// The decoder and the five encoders of the image codec objects.
void define_image_routines();
// Plugs the draw dialect (view/draw) into face rendering and into the
// platform's draw-image.
void install_draw_dialect();

}  // namespace qor::environment
