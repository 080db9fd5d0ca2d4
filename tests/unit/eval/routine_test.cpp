// Built-in routines registered by name and called by the interpreter, and
// the builders behind function values.
#include "runtime/datatypes/routine.h"

#include "runtime/datatypes/integer.h"
#include "runtime/memory/data_stack.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

// Routine bodies: each reads its frame from the argument base.

// a [integer!] b [integer!]: the sum.
void sum_code() { set_int(*stack::arg(0), get_int(*stack::arg(0)) + get_int(*stack::arg(1))); }

// a [integer!] /twice /plus b [integer!]: the frame holds every refinement
// as a flag followed by its arguments.
void scaled_code() {
    int32_t v = get_int(*stack::arg(0));
    if (logic::is_true(*stack::arg(2))) v += get_int(*stack::arg(3));
    if (logic::is_true(*stack::arg(1))) v *= 2;
    set_int(*stack::arg(0), v);
}

// Sets no result.
void nothing_code() {}

// No arguments: answers 42.
void answer_code() { stack::set_result(Cell{to_int(TypeId::integer), 0, 42, 0}); }

// Raises an error from inside the routine.
void raising_code() { error::fire(error::Id::invalid_arg, {*stack::arg(0)}); }

class RoutineTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        define_environment();
    }

    // Builds a routine over the interface text and binds it to the word.
    void define_routine(std::string_view name, std::string_view spec, routine::RoutineFn fn, bool flag = false) {
        const uint32_t code = routine::register_code(name, fn);
        Cell* spec_slot = stack::push(load(spec));
        const Cell r = *routine::push_new(*spec_slot, nullptr, code, 7, flag);
        define(name, r);
        stack::pop(2);
    }

    static Cell value_of(std::string_view name) { return *context::value_cell(word::load(name)); }
};

TEST_F(RoutineTest, RegistryNumbersNamesAndKeepsNumbersOnReplace) {
    const uint32_t first = routine::register_code("test-registry-a", sum_code);
    const uint32_t second = routine::register_code("test-registry-b", nothing_code);
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(routine::code_of("test-registry-a"), first);
    EXPECT_EQ(routine::register_code("test-registry-a", answer_code), first);
    EXPECT_EQ(routine::code(first), &answer_code);
    EXPECT_EQ(routine::code_of("test-registry-none"), 0u);
    EXPECT_EQ(routine::code(0), nullptr);
    EXPECT_EQ(routine::code(100000), nullptr);
}

TEST_F(RoutineTest, CallsCheckArgumentsAndLayOutRefinementsAsAFunctionFrame) {
    define_routine("sum2", "a [integer!] b [integer!]", sum_code);
    define_routine("scaled", "a [integer!] /twice /plus b [integer!]", scaled_code);
    define_routine("nothing", "a", nothing_code);
    define_routine("answer", "", answer_code);
    define_routine("quiet", "", nothing_code);
    define_routine("raising", "a", raising_code);
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"sum2 1 2 * 3", "== 7\n"},  // arguments take whole infix expressions
        {"sum2 1 \"x\"", "*** Script Error: sum2 does not allow string! for its b argument\n*** Where: sum2\n*** Near : sum2 1 \"x\" \n\n"},
        {"sum2 1", "*** Script Error: sum2 is missing its b argument\n*** Where: sum2\n*** Near : sum2 1 \n\n"},
        {"scaled 5", "== 5\n"},
        {"scaled/twice 5", "== 10\n"},
        {"scaled/plus 5 1", "== 6\n"},
        {"scaled/plus/twice 5 1", "== 12\n"},
        {"scaled/twice/plus 5 1", "== 12\n"},
        {"scaled/plus 5 \"x\"", "*** Script Error: scaled does not allow string! for its b argument\n*** Where: scaled\n*** Near : scaled/plus 5 \"x\" \n\n"},
        {"scaled/minus 5", "*** Script Error: scaled has no refinement called minus\n*** Where: scaled\n*** Near : scaled/minus 5 \n\n"},
        {"nothing [a b]", "== [a b]\n"},
        {"answer", "== 42\n"},
        {"quiet", ""},
        {"raising 1", "*** Script Error: invalid argument: 1\n*** Where: raising\n*** Near : raising 1 \n\n"},
        {"sum2 raising 1 2", "*** Script Error: invalid argument: 1\n*** Where: raising\n*** Near : sum2 raising 1 2 \n\n"},
        {"f: func [x] [sum2 x 1] f f 1", "== 3\n"},
        {"apply :sum2 [4 5]", "== 9\n"},
        {"plus2: make op! :sum2 1 plus2 2 plus2 3", "== 6\n"},
        {"mold :sum2", "== \"routine [a [integer!] b [integer!]] none\"\n"},
        {"form :sum2", "== \"?routine?\"\n"},
        {"reflect :sum2 'spec", "== [a [integer!] b [integer!]]\n"},
        {"reflect :sum2 'body", "== none\n"},
        {"equal? :sum2 :sum2", "== true\n"},
        {"equal? :sum2 :answer", "== false\n"},
        {"equal? :sum2 func [a b] []", "== false\n"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(run_line(input), expected) << input;
}

TEST_F(RoutineTest, AValueWithoutRegisteredCodeRaisesNotDone) {
    Cell* spec = stack::push(load("a"));
    define("orphan", *routine::push_new(*spec, nullptr, 999999, 0, false));
    stack::pop(2);
    EXPECT_EQ(run_line("orphan 1"),
              "*** Internal Error: reserved for future use (or not yet implemented)\n*** Where: orphan\n*** Near : orphan 1 \n\n");
}

TEST_F(RoutineTest, BuildKeepsArityFlagCodeAndExtra) {
    const struct {
        std::string_view spec;
        uint32_t arity;
    } cases[] = {
        {"", 0},
        {"a b", 2},
        {"a 'b :c", 1},                   // lit-words and get-words are not counted
        {"a /r b [integer!] /local c", 3},  // words after refinements are
        {"\"doc\" a [block!] \"arg doc\"", 1},
    };
    for (const auto& c : cases) {
        define_routine("arity-probe", c.spec, nothing_code);
        const Cell r = value_of("arity-probe");
        EXPECT_EQ(type_of(r), TypeId::routine);
        EXPECT_EQ(routine::arity(r), c.arity) << c.spec;
        EXPECT_EQ(r.header & routine::flag_builder, 0u);
    }
    define_routine("flagged", "a", nothing_code, true);
    const Cell r = value_of("flagged");
    EXPECT_NE(r.header & routine::flag_builder, 0u);
    EXPECT_EQ(routine::code_number(r), routine::code_of("flagged"));
    EXPECT_EQ(get_int(*function::part(r, function::Part::extra)), 7);
    // The routine's context names the routine itself.
    EXPECT_EQ(context::self(r.w1)->w3, r.w3);
    // A bad interface block is refused before anything is built.
    Cell* spec = stack::push(load("a a"));
    EXPECT_THROW((void)routine::push_new(*spec, nullptr, 1, 0, false), error::Raised);
}

TEST_F(RoutineTest, DuplicateNamesReportTheFirstRepetition) {
    const struct {
        std::string_view spec, repeated;
    } cases[] = {
        {"a A", "A"},
        {"a b /c B", "B"},
        {"a b b a", "a"},  // `a` repeats first, though `b` repeats earlier
        {"a 'x /c :A", "A"},
    };
    for (const auto& c : cases) {
        Cell* spec = stack::push(load(c.spec));
        try {
            (void)function::check_spec(*spec);
            ADD_FAILURE() << c.spec;
        } catch (const error::Raised& e) {
            EXPECT_TRUE(e.is(error::Id::dup_vars)) << c.spec;
            EXPECT_EQ(symbol::spelling(e.args[0].w2), c.repeated) << c.spec;
        }
        stack::pop();
    }
}

TEST_F(RoutineTest, AttributeBlockSetsTraceFlags) {
    const struct {
        std::string_view spec;
        uint32_t flags;
    } cases[] = {
        {"[trace]", function::flag_trace},
        {"[no-trace] a", function::flag_no_trace},
        {"[catch trace] a", function::flag_trace},
        {"a", 0},
    };
    for (const auto& c : cases) {
        Cell* spec = stack::push(load(c.spec));
        EXPECT_EQ(function::check_spec(*spec), c.flags) << c.spec;
        stack::pop();
    }
}

TEST_F(RoutineTest, MakeAtWithAGivenContextLeavesTheBodyUnbound) {
    Cell* spec = stack::push(load("x"));
    Cell* body = stack::push(load("x"));
    NodeId ctx = context::make_from_spec(*spec, true, false, context::Kind::function);
    collector::NodeGuard guard(ctx);
    const Cell given = *function::make_at(*spec, body, ctx, 5, 9, 0);
    const Cell made = *function::push_new(*spec, *body);
    const Cell given_word = series::buffer(function::part(given, function::Part::body)->w2)->cells()[0];
    const Cell made_word = series::buffer(function::part(made, function::Part::body)->w2)->cells()[0];
    EXPECT_NE(word::context_of(given_word), ctx);
    EXPECT_EQ(word::context_of(made_word), made.w1);
    EXPECT_EQ(get_int(*function::part(given, function::Part::code)), 5);
    EXPECT_EQ(get_int(*function::part(given, function::Part::extra)), 9);
    EXPECT_EQ(type_of(*function::part(made, function::Part::code)), TypeId::unset);
    stack::pop(4);
}

}  // namespace
}  // namespace qor::test
