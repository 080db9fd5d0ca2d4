// The boot's registration order. A child copies its parent's routines when
// it registers, so every parent comes first: url! before file!, integer!
// before char!, block! before paren!, float! before percent! and time!.
//
// The full order, which each datatype's registration joins at its place:
//   datatype! unset! none! logic! series! block! string! binary! integer!
//   symbol! context! word! lit-word! set-word! get-word! refinement! char!
//   native! action! op! path! lit-path! set-path! get-path! function!
//   routine! paren! issue! url! file! object! bitset! triple! float!
//   typeset! error! vector! map! hash! pair! percent! tuple! time! tag!
//   email! handle! date! port! money! ref! point2D! point3D!, then the image
//   codec table and image!, and last event!.
#include "runtime/datatypes/register_all.h"

#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/paren.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/triple.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/symbol_context.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word_type.h"
#include "runtime/datatypes/vector.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/file_url.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/tag_email_ref.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::datatypes {

void register_all() {
    datatype::reset_tables();
    datatype::init();
    unset::init();
    none::init();
    logic::init();
    series_type::init();
    block::init();
    string_type::init();
    binary_type::init();
    integer::init();
    internal_types::init_symbol();
    internal_types::init_context();
    word_type::init_word();
    word_type::init_lit_word();
    word_type::init_set_word();
    word_type::init_get_word();
    word_type::init_refinement();
    char_::init();
    native::register_native();
    native::register_action();
    native::register_op();
    path::init_path();
    path::init_lit_path();
    path::init_set_path();
    path::init_get_path();
    function::register_datatype();
    routine::register_datatype();
    paren::init();
    word_type::init_issue();
    file_url::init_url();
    file_url::init_file();
    triple::init();
    float_::init();
    typeset::init();
    map::init();
    hash_type::init();
    pair::init();
    percent::init();
    tuple::init();
    tag_email_ref::init_tag();
    tag_email_ref::init_email();
    handle_type::init();
    time_::init();
    date::init();
    tag_email_ref::init_ref();
    point::init();
    object::init();
    bitset::init();
    vector_type::init();
    error_type::init();
    port::init();
    money::init();
    image_type::init();
    event::init();
}

}  // namespace qor::datatypes
