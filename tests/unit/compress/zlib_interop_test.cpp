// Interoperability with the reference zlib (through Python's zlib module):
// every zlib and raw deflate stream we write is read by it, and we read
// every stream it writes at levels 1 to 9, on the same data.
#include <gtest/gtest.h>

#include <string>

#include "runtime/compress/deflate.h"
#include "tests/unit/compress/deflate_test_util.h"

namespace qor::test {
namespace {

std::vector<Bytes> interop_inputs() {
    return {{}, {'q'}, make_text(150000), make_binary(150000), make_random(40000), make_mixed(200000),
            Bytes(70000, 'a')};
}

bool have_python_zlib() { return have_command("python3 -c 'import zlib'"); }

// Runs a Python snippet with the directory as argv[1]; true when it exits 0.
bool run_python(const std::string& code, const TempDir& dir, std::string* output) {
    const std::string script = dir.file("check.py");
    write_file(script, Bytes(code.begin(), code.end()));
    const std::string log = dir.file("log.txt");
    const int status = std::system(("python3 '" + script + "' '" + dir.file("") + "' >'" + log + "' 2>&1").c_str());
    const Bytes text = read_file(log);
    output->assign(text.begin(), text.end());
    return status == 0;
}

TEST(ZlibInterop, ReferenceZlibReadsOurStreams) {
    if (!have_python_zlib()) GTEST_SKIP() << "python3 with zlib is not installed";
    TempDir dir;
    const auto inputs = interop_inputs();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        write_file(dir.file("in" + std::to_string(i)), inputs[i]);
        for (int level = -1; level <= 9; ++level) {
            if (level == 0) continue;
            const std::string tag = std::to_string(i) + "_" + std::to_string(level + 1);
            write_file(dir.file("z" + tag), encode(zlib::compress, inputs[i], level));
            write_file(dir.file("d" + tag), encode(deflate::compress, inputs[i], level));
        }
    }
    const std::string code = R"(
import sys, zlib, glob, os
d = sys.argv[1]
bad = 0
for path in sorted(glob.glob(os.path.join(d, '[zd]*_*'))):
    name = os.path.basename(path)
    src = open(os.path.join(d, 'in' + name[1:].split('_')[0]), 'rb').read()
    data = open(path, 'rb').read()
    try:
        out = zlib.decompress(data) if name[0] == 'z' else zlib.decompress(data, -15)
    except Exception as e:
        out = repr(e)
    if out != src:
        bad += 1
        print('mismatch', name)
print('checked', len(glob.glob(os.path.join(d, '[zd]*_*'))))
sys.exit(1 if bad else 0)
)";
    std::string output;
    EXPECT_TRUE(run_python(code, dir, &output)) << output;
    EXPECT_NE(output.find("checked " + std::to_string(inputs.size() * 20)), std::string::npos) << output;
}

TEST(ZlibInterop, WeReadReferenceZlibStreams) {
    if (!have_python_zlib()) GTEST_SKIP() << "python3 with zlib is not installed";
    TempDir dir;
    const auto inputs = interop_inputs();
    for (std::size_t i = 0; i < inputs.size(); ++i) write_file(dir.file("in" + std::to_string(i)), inputs[i]);
    const std::string code = R"(
import sys, zlib, glob, os
d = sys.argv[1]
for path in glob.glob(os.path.join(d, 'in*')):
    n = os.path.basename(path)[2:]
    src = open(path, 'rb').read()
    for level in range(1, 10):
        open(os.path.join(d, 'z%s_%d' % (n, level)), 'wb').write(zlib.compress(src, level))
        c = zlib.compressobj(level, zlib.DEFLATED, -15)
        open(os.path.join(d, 'd%s_%d' % (n, level)), 'wb').write(c.compress(src) + c.flush())
    c = zlib.compressobj(6, zlib.DEFLATED, 9)  # smallest window
    open(os.path.join(d, 'z%s_w' % n), 'wb').write(c.compress(src) + c.flush())
    c = zlib.compressobj(6, zlib.DEFLATED, -15, 9, zlib.Z_FIXED)
    open(os.path.join(d, 'd%s_f' % n), 'wb').write(c.compress(src) + c.flush())
)";
    std::string output;
    ASSERT_TRUE(run_python(code, dir, &output)) << output;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::vector<std::string> tags = {"w", "f"};
        for (int level = 1; level <= 9; ++level) tags.push_back(std::to_string(level));
        for (const std::string& tag : tags) {
            const std::string n = std::to_string(i) + "_" + tag;
            Result r;
            if (tag != "f") {
                EXPECT_EQ(decode(zlib::decompress, read_file(dir.file("z" + n)), &r), inputs[i]) << "z" << n;
                EXPECT_EQ(r, Result::Done);
            }
            if (tag != "w") {
                EXPECT_EQ(decode(inflate::decompress, read_file(dir.file("d" + n)), &r), inputs[i]) << "d" << n;
                EXPECT_EQ(r, Result::Done);
            }
        }
    }
}

}  // namespace
}  // namespace qor::test
