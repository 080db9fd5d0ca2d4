// The system's zlib and libzstd, loaded at run time with dlopen: the codec
// benchmarks compare with them, and nothing else depends on them.
#pragma once

#include <dlfcn.h>

#include <cstddef>

namespace qor::bench {

// An open shared library, closed when it goes out of scope.
class SharedLibrary {
public:
    explicit SharedLibrary(const char* name, const char* fallback = nullptr) {
        handle_ = dlopen(name, RTLD_NOW);
        if (!handle_ && fallback) handle_ = dlopen(fallback, RTLD_NOW);
    }
    ~SharedLibrary() {
        if (handle_) dlclose(handle_);
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    template <typename Fn>
    void bind(Fn*& fn, const char* symbol) const {
        fn = handle_ ? reinterpret_cast<Fn*>(dlsym(handle_, symbol)) : nullptr;
    }

private:
    void* handle_ = nullptr;
};

// The entry points of the system zlib that the benchmarks compare with.
struct SystemZlib {
    SharedLibrary lib{"libz.so.1", "libz.so"};
    int (*compress2)(unsigned char*, unsigned long*, const unsigned char*, unsigned long, int) = nullptr;
    int (*uncompress)(unsigned char*, unsigned long*, const unsigned char*, unsigned long) = nullptr;
    unsigned long (*crc32)(unsigned long, const unsigned char*, unsigned) = nullptr;
    unsigned long (*adler32)(unsigned long, const unsigned char*, unsigned) = nullptr;

    SystemZlib() {
        lib.bind(compress2, "compress2");
        lib.bind(uncompress, "uncompress");
        lib.bind(crc32, "crc32");
        lib.bind(adler32, "adler32");
    }
    [[nodiscard]] bool ok() const { return compress2 && uncompress && crc32 && adler32; }
};

// The entry points of the system libzstd.
struct SystemZstd {
    SharedLibrary lib{"libzstd.so.1", "libzstd.so"};
    std::size_t (*compress)(void*, std::size_t, const void*, std::size_t, int) = nullptr;
    std::size_t (*decompress)(void*, std::size_t, const void*, std::size_t) = nullptr;
    std::size_t (*bound)(std::size_t) = nullptr;
    unsigned (*is_error)(std::size_t) = nullptr;

    SystemZstd() {
        lib.bind(compress, "ZSTD_compress");
        lib.bind(decompress, "ZSTD_decompress");
        lib.bind(bound, "ZSTD_compressBound");
        lib.bind(is_error, "ZSTD_isError");
    }
    [[nodiscard]] bool ok() const { return compress && decompress && bound && is_error; }
};

}  // namespace qor::bench
