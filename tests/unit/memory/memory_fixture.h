// A fresh memory manager for each test, released afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "runtime/core/error_fire.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"

namespace qor::test {

class MemoryTest : public ::testing::Test {
protected:
    void SetUp() override { memory::init(); }
    void TearDown() override {
        collector::set_enabled(false);
        collector::install_cycle(nullptr);
        memory::release_all();
    }
};

// Runs body and answers the id of the internal error it raised ("" when none).
template <class Body>
std::string_view internal_error_of(Body&& body) {
    try {
        body();
    } catch (const error::Raised& raised) {
        return raised.category == error::Category::internal ? error::spelling(raised.id) : "other category";
    }
    return "";
}

}  // namespace qor::test
