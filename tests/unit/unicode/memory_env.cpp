// The memory manager, made once for every test of this program: the
// codecs allocate strings and the error values they raise.
#include <gtest/gtest.h>

#include "runtime/memory/memory_record.h"

namespace {

class MemoryEnvironment : public ::testing::Environment {
public:
    void SetUp() override { qor::memory::init(); }
    void TearDown() override { qor::memory::release_all(); }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new MemoryEnvironment);

}  // namespace
