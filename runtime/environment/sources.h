// The environment library's sources as the build embeds them: one entry per
// file of environment/startup.list, in start-up order.
#pragma once

#include <cstddef>
#include <span>

namespace qor::environment {

struct Source {
    const char* name;            // the path named in the list
    const unsigned char* bytes;  // UTF-8 text
    size_t size;
};

// Defined by the generated file.
[[nodiscard]] std::span<const Source> sources();

}  // namespace qor::environment
