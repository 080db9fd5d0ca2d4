// The image codecs against files of another tool: ImageMagick writes test
// patterns in every format (and in several layouts of each), which decode
// to the expected pixels; images saved by the real `qor` read back through
// ImageMagick as the pixels they were made of. Pixels travel to and from
// ImageMagick as PAM files, which both sides hold exactly.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/image/codecs.h"
#include "tests/support/temp_dir.h"

namespace qor::image {
namespace {

// ---- test images

struct Image {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> px;  // the pixel words
};

using Pattern = uint32_t (*)(uint32_t x, uint32_t y);

Image make(uint32_t w, uint32_t h, Pattern f) {
    Image img{w, h, {}};
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++) img.px.push_back(f(x, y));
    return img;
}

// Colours that vary every way, opacity from 40 to 255.
uint32_t translucent(uint32_t x, uint32_t y) {
    return make_pixel(uint8_t(x * 37), uint8_t(y * 53), uint8_t(x * y * 11 + 5), uint8_t(40 + (x * 5 + y * 31) % 216));
}
uint32_t opaque(uint32_t x, uint32_t y) { return translucent(x, y) | 0xFF000000u; }
// Few colours and all-or-nothing opacity, as a palette holds them exactly.
uint32_t palette(uint32_t x, uint32_t y) {
    return make_pixel(uint8_t(x * 40), uint8_t(y * 60), 200, (x + y) % 4 == 0 ? 0 : 255);
}
// A smooth gradient, which JPEG keeps close.
uint32_t smooth(uint32_t x, uint32_t y) { return make_pixel(uint8_t(x * 15), uint8_t(y * 15), 128, 255); }

// ---- PAM files and ImageMagick

void write_pam(const std::string& path, const Image& img) {
    std::ofstream out(path, std::ios::binary);
    out << "P7\nWIDTH " << img.width << "\nHEIGHT " << img.height
        << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (uint32_t p : img.px) out << char(red(p)) << char(green(p)) << char(blue(p)) << char(opacity(p));
}

Image read_pam(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const size_t end = bytes.find("ENDHDR\n");
    EXPECT_NE(end, std::string::npos) << path;
    if (end == std::string::npos) return {};
    std::istringstream header(bytes.substr(0, end));
    Image img;
    uint32_t depth = 0;
    for (std::string key; header >> key;) {
        if (key == "WIDTH") header >> img.width;
        else if (key == "HEIGHT") header >> img.height;
        else if (key == "DEPTH") header >> depth;
    }
    EXPECT_EQ(depth, 4u) << path;
    const auto* d = reinterpret_cast<const uint8_t*>(bytes.data() + end + 7);
    EXPECT_EQ(bytes.size() - end - 7, size_t{img.width} * img.height * 4) << path;
    for (size_t i = 0; i < size_t{img.width} * img.height; i++, d += 4)
        img.px.push_back(make_pixel(d[0], d[1], d[2], d[3]));
    return img;
}

// ImageMagick's converter, called by its own name so that nothing standing
// in for it under the plain name changes the pixels.
std::string converter() {
    for (const char* name : {"convert-im6.q16", "magick", "convert"}) {
        const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) return std::string(name) == "magick" ? "magick convert" : name;
    }
    return "";
}

void convert(const std::string& args) {
    static const std::string tool = converter();
    ASSERT_FALSE(tool.empty()) << "ImageMagick is not installed (tools/install-deps.sh installs it)";
    const std::string cmd = tool + " " + args + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Every pixel within `tolerance` per channel; a pixel expected fully
// transparent only needs to be fully transparent (its colour is free).
void expect_near(const Image& want, uint32_t width, uint32_t height, const uint32_t* got, int tolerance,
                 const std::string& what) {
    ASSERT_EQ(width, want.width) << what;
    ASSERT_EQ(height, want.height) << what;
    int worst = 0;
    for (size_t i = 0; i < want.px.size(); i++) {
        const uint32_t a = want.px[i], b = got[i];
        if (opacity(a) == 0) {
            EXPECT_EQ(opacity(b), 0) << what << " pixel " << i;
            continue;
        }
        for (int shift = 0; shift < 32; shift += 8)
            worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    }
    EXPECT_LE(worst, tolerance) << what;
}

std::string hex(const std::vector<uint32_t>& px) {
    std::string out;
    char buf[3];
    for (uint32_t p : px)
        for (int shift = 0; shift < 32; shift += 8) {
            std::snprintf(buf, sizeof buf, "%02X", (p >> shift) & 0xFF);
            out += buf;
        }
    return out;
}

std::string run_qor(const std::string& dir, const std::string& body) {
    const std::string script = dir + "/script.qor";
    std::ofstream(script) << "Qor []\n" << body;
    const std::string cmd = std::string("cd '") + dir + "' && '" + QOR_BINARY + "' script.qor 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// ---- the files of another tool

struct Foreign {
    const char* name;     // file name, whose suffix tells qor the codec
    const char* options;  // ImageMagick options before the output
    const char* output;   // ImageMagick's output (format prefix and name)
    Pattern pattern;
    int tolerance;
};

const Foreign foreign[] = {
    {"rgba.png", "", "png32:rgba.png", translucent, 0},
    {"indexed.png", "", "png8:indexed.png", palette, 0},
    {"deep.png", "", "png64:deep.png", translucent, 1},
    {"v5.bmp", "", "bmp:v5.bmp", translucent, 0},
    {"rgb.bmp", "-alpha off", "bmp3:rgb.bmp", opaque, 0},
    {"indexed.bmp", "-alpha off -type palette -compress none", "bmp3:indexed.bmp", opaque, 0},
    {"le.tif", "", "tiff:le.tif", translucent, 0},
    {"be.tif", "-define tiff:endian=msb", "tiff:be.tif", translucent, 0},
    {"zip.tif", "-compress zip", "tiff:zip.tif", translucent, 0},
    {"premultiplied.tif", "-define tiff:alpha=associated", "tiff:premultiplied.tif", translucent, 3},
    {"indexed.tif", "-alpha off -type palette", "tiff:indexed.tif", opaque, 0},
    {"plain.gif", "", "gif:plain.gif", palette, 0},
    {"interlaced.gif", "-interlace GIF", "gif:interlaced.gif", palette, 0},
    {"smooth.jpg", "-quality 95", "jpg:smooth.jpg", smooth, 6},
    {"cmyk.jpg", "-quality 95 -colorspace CMYK", "jpg:cmyk.jpg", smooth, 8},
};

[[nodiscard]] Image pattern_of(const Foreign& f) {
    return make(f.pattern == smooth ? 16 : 7, f.pattern == smooth ? 16 : 5, f.pattern);
}

class Interop : public test::TempDirTest {
protected:
    // ImageMagick is slow to start: the files of the table are written once,
    // into a folder of their own that the tests share.
    static void SetUpTestSuite() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qor-foreign-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        foreign_dir = pattern;
        for (const Foreign& f : foreign) {
            write_pam(foreign_dir + "/in.pam", pattern_of(f));
            std::string output = f.output;
            output.insert(output.find(':') + 1, foreign_dir + "/");
            convert("'" + foreign_dir + "/in.pam' " + f.options + " '" + output + "'");
        }
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(foreign_dir, ignored);
    }
    [[nodiscard]] static std::string foreign_path(const Foreign& f) { return foreign_dir + "/" + f.name; }

    static std::string foreign_dir;
};

std::string Interop::foreign_dir;

TEST_F(Interop, FilesOfAnotherToolDecodeToTheirPixels) {
    for (const Foreign& f : foreign) {
        Pixels px;
        ASSERT_EQ(decode(read_file(foreign_path(f)), px), Status::ok) << f.name;
        expect_near(pattern_of(f), px.width, px.height, px.data.get(), f.tolerance, f.name);
    }
}

// The same files through `load` of the real qor: lossless ones give exactly
// the pattern's pixel words, lossy ones what the codec layer decodes.
TEST_F(Interop, QorLoadsFilesOfAnotherTool) {
    std::string body, want;
    for (const Foreign& f : foreign) {
        body += "print enbase/base to binary! load %" + foreign_path(f) + " 16\n";
        Image expected = pattern_of(f);
        if (f.tolerance > 0 || f.pattern == palette) {
            Pixels px;
            ASSERT_EQ(decode(read_file(foreign_path(f)), px), Status::ok) << f.name;
            expected.px.assign(px.data.get(), px.data.get() + px.count());
        }
        want += hex(expected.px) + "\n";
    }
    EXPECT_EQ(run_qor(dir_, body), want);
}

// Images saved by qor in every format read back through ImageMagick:
// exactly for PNG, BMP and TIFF, through the palette for GIF, and near for
// JPEG.
TEST_F(Interop, QorSavesFilesAnotherToolReads) {
    struct Saved {
        const char* name;
        Pattern pattern;
        int tolerance;
    };
    const Saved saved[] = {{"out.png", translucent, 0}, {"out.bmp", translucent, 0}, {"opaque.bmp", opaque, 0},
                           {"out.tif", translucent, 0}, {"opaque.tif", opaque, 0},  {"out.gif", palette, 0},
                           {"out.jpg", smooth, 16}};
    std::string body;
    for (const Saved& s : saved) {
        const Image img = make(s.pattern == smooth ? 16 : 7, s.pattern == smooth ? 16 : 5, s.pattern);
        std::string rgb, alpha;
        char buf[3];
        for (uint32_t p : img.px) {
            for (uint8_t c : {red(p), green(p), blue(p)}) std::snprintf(buf, sizeof buf, "%02X", c), rgb += buf;
            std::snprintf(buf, sizeof buf, "%02X", 255 - opacity(p)), alpha += buf;
        }
        body += "save %" + std::string(s.name) + " make image! [" + std::to_string(img.width) + "x" +
                std::to_string(img.height) + " #{" + rgb + "} #{" + alpha + "}]\n";
    }
    body += "print \"saved\"\n";
    ASSERT_EQ(run_qor(dir_, body), "saved\n");
    for (const Saved& s : saved) {
        convert("'" + path(s.name) + "' -depth 8 -type TrueColorAlpha '" + path("back.pam") + "'");
        const Image back = read_pam(path("back.pam"));
        const Image want = make(s.pattern == smooth ? 16 : 7, s.pattern == smooth ? 16 : 5, s.pattern);
        expect_near(want, back.width, back.height, back.px.data(), s.tolerance, s.name);
    }
}

TEST_F(Interop, AFileOfSeveralFramesGivesItsFirst) {
    convert("-size 3x2 xc:red xc:blue '" + path("frames.gif") + "'");
    convert("-size 3x2 xc:red xc:blue '" + path("frames.tif") + "'");
    for (const char* name : {"frames.gif", "frames.tif"}) {
        Pixels px;
        ASSERT_EQ(decode(read_file(path(name)), px), Status::ok) << name;
        expect_near(make(3, 2, [](uint32_t, uint32_t) { return make_pixel(255, 0, 0, 255); }), px.width, px.height,
                    px.data.get(), 0, name);
    }
}

}  // namespace
}  // namespace qor::image
