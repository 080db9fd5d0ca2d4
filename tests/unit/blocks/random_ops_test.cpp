// Random sequences of series actions on blocks whose values may stand past
// their tail: every call either answers or raises a script error, and the
// block stays sound (run under the sanitizers, any stray read or write of a
// buffer shows).
#include <algorithm>
#include <random>

#include "tests/unit/blocks/blocks_fixture.h"

namespace qor::test {

using RandomOpsTest = BlocksTest;

namespace {

std::vector<int32_t> contents(const Cell& b) {
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < series::buffer(b.w2)->length(); i++) out.push_back(get_int(*block::cell_at(b, i)));
    return out;
}

}  // namespace

TEST_F(RandomOpsTest, ActionsOnStalePositionsStaySound) {
    std::mt19937 rng(12345);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Cell b = parse_block("1 2 3 4 5 6 7 8");
    Cell other = parse_block("100 200 300");
    int next_value = 1000;
    for (int step = 0; step < 3000; step++) {
        const int length = int(series::buffer(b.w2)->length());
        const Cell pos = at(b, uint32_t(pick(0, length + 2)));
        const Ref part = pick(0, 2) ? off : Ref::with(I(pick(-3, length + 3)));
        const Cell value = pick(0, 3) ? I(next_value++) : at(other, uint32_t(pick(0, 3)));
        const std::string err = error_of([&] {
            switch (pick(0, 15)) {
                case 0: act(Action::insert, {pos, value}, {part, off, pick(0, 3) ? off : Ref::with(I(pick(-1, 3)))}); break;
                case 1: act(Action::append, {pos, value}, {part}); break;
                case 2: act(Action::change, {pos, value}, {part}); break;
                case 3: act(Action::remove, {pos}, {part}); break;
                case 4: act(Action::take, {pos}, {part, off, pick(0, 1) ? Ref::on() : off}); break;
                case 5: act(Action::reverse, {pos}, {part}); break;
                case 6: act(Action::move, {pos, at(b, uint32_t(pick(0, length + 1)))}, {part}); break;
                case 7: act(Action::copy, {pos}, {part}); break;
                case 8: act(Action::find, {pos, I(pick(0, 1100))}, {part, off, off, off, off, off, off,
                        pick(0, 1) ? Ref::on() : off, pick(0, 1) ? Ref::on() : off, off, off}); break;
                case 9: act(Action::sort, {pos}, {off, off, off, part}); break;
                case 10: if (pick(0, 9) == 0) act(Action::clear, {pos}); break;
                case 11: act(Action::poke, {pos, I(pick(-3, 5)), I(next_value++)}); break;
                case 12: act(Action::pick, {pos, I(pick(-3, 5))}); break;
                case 13: act(Action::move, {pos, other}, {part}); break;
                case 14: act(Action::select, {pos, I(pick(0, 1100))}); break;
                default: (void)M(pos); break;
            }
        });
        EXPECT_TRUE(err.empty() || err.rfind("script/", 0) == 0) << err << " at step " << step;
        // Only integers ever enter, and mold writes each of them.
        const std::vector<int32_t> cells = contents(b);
        std::string expected = "[";
        for (size_t i = 0; i < cells.size(); i++) expected += (i ? " " : "") + std::to_string(cells[i]);
        ASSERT_EQ(M(b), expected + "]");
        if (cells.size() > 200) act(Action::clear, {at(b, 20)});
        if (series::buffer(other.w2)->length() < 2) other = parse_block("100 200 300");
    }
}

}  // namespace qor::test

namespace qor::test {

// The same kinds of change against a plain vector: the block's cells must
// match after every step.
TEST_F(RandomOpsTest, ChangesAgreeWithAVectorModel) {
    std::mt19937 rng(777);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Cell b = parse_block("");
    std::vector<int32_t> model;
    int next_value = 1;
    for (int step = 0; step < 4000; step++) {
        const int length = int(model.size());
        const int idx = pick(0, length + 1);
        const int at_ = std::min(idx, length);
        const bool with_part = pick(0, 1) == 1;
        const int part = pick(-2, length + 2);
        const Ref part_ref = with_part ? Ref::with(I(part)) : off;
        switch (pick(0, 6)) {
            case 0: {  // insert a few cells, or a part of them
                std::vector<int32_t> items;
                Cell src = parse_block("");
                for (int i = pick(1, 4); i > 0; i--) {
                    items.push_back(next_value);
                    block::append_cell(src, I(next_value++));
                }
                int n = int(items.size());
                if (with_part && part >= 0 && part < n) n = part;
                act(Action::insert, {at(b, uint32_t(idx)), src}, {part_ref});
                model.insert(model.begin() + at_, items.begin(), items.begin() + n);
                break;
            }
            case 1: {
                const int v = next_value++;
                act(Action::append, {at(b, uint32_t(idx)), I(v)});
                model.push_back(v);
                break;
            }
            case 2: {
                const int count = with_part ? part : 1;
                act(Action::remove, {at(b, uint32_t(idx))}, {part_ref});
                if (count >= 1 && idx < length) model.erase(model.begin() + idx, model.begin() + std::min(length, idx + count));
                break;
            }
            case 3: {
                act(Action::take, {at(b, uint32_t(idx))}, {part_ref});
                if (idx >= length) break;
                const int count = with_part ? part : 1;
                if (count > 0) model.erase(model.begin() + idx, model.begin() + std::min(length, idx + count));
                else if (count < 0) model.erase(model.begin() + std::max(0, idx + count), model.begin() + idx);
                break;
            }
            case 4: {
                act(Action::reverse, {at(b, uint32_t(idx))}, {part_ref});
                const int count = with_part ? part : length - idx;
                if (idx < length && count >= 1)
                    std::reverse(model.begin() + idx, model.begin() + std::min(length, idx + count));
                break;
            }
            case 5: {
                const int v = next_value++;
                act(Action::change, {at(b, uint32_t(idx)), I(v)}, {part_ref});
                const int replaced = std::min(length - at_, with_part ? std::max(part, 0) : 1);
                model.erase(model.begin() + at_, model.begin() + at_ + replaced);
                model.insert(model.begin() + at_, v);
                break;
            }
            default:
                if (model.size() > 60) {
                    act(Action::clear, {at(b, 10)});
                    model.resize(10);
                }
                break;
        }
        ASSERT_EQ(contents(b), model) << "step " << step;
    }
}

}  // namespace qor::test
