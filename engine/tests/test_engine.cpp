// The engine as the program meets it: libtarnwick.so loaded by file name, one call per
// run, angle images and result images in real folders.
#include "bmp.h"
#include "bmp_variants.h"
#include "palette.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

using namespace testing_support;
using testing_bmp::Variant;

namespace {

const char* const angle_names[4] = {"0.bmp", "45.bmp", "90.bmp", "135.bmp"};
const char* const result_names[3] = {"a0.bmp", "a1.bmp", "a2.bmp"};

// Known pixels: each column is one row of the computation table, as grey samples.
const int samples[][4] = {
    {100, 150, 200, 150}, {200, 150, 100, 150}, {150, 100, 150, 200},
    {150, 200, 150, 100}, {10, 200, 250, 60},   {255, 255, 0, 0},
    {100, 100, 100, 100}, {0, 0, 0, 0},         {0, 0, 0, 3},
};
constexpr int columns = sizeof samples / sizeof samples[0];
// (mean, k, angle code) of each column with the default options
const int expected_codes[columns][3] = {
    {150, 85, 64},   {150, 85, 192}, {150, 85, 255}, {150, 85, 128}, {130, 255, 85},
    {127, 255, 160}, {100, 0, 0},    {1, 0, 0},      {1, 255, 255},
};

bmp::Image angle_image(int index, int rows = 2) {
    return make_image(columns, rows,
                      [index](int32_t x, int32_t) { return grey(samples[x][index]); });
}

class Engine : public ::testing::Test {
  protected:
    void SetUp() override {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.path()); // as the program does before each call
    }
    void TearDown() override { std::filesystem::current_path(old_cwd_); }

  public: // for the set-up steps of the table-driven cases
    void write_angle_set(Variant v = Variant::rgb32, int rows = 2) {
        for (int i = 0; i < 4; ++i)
            testing_bmp::write_file(dir.file(angle_names[i]),
                                    testing_bmp::encode(angle_image(i, rows), v));
    }
    void write_image(const std::string& name, int32_t w, int32_t h, Variant v = Variant::pal8) {
        testing_bmp::write_file(
            dir.file(name),
            testing_bmp::encode(make_image(w, h, [](int32_t, int32_t) { return grey(9); }), v));
    }
    int32_t run(const std::string& extra = "") {
        return execute_engine("-P \"" + dir.path() + "\" " + extra);
    }
    bmp::Image result(int n) {
        bmp::Image img;
        EXPECT_EQ(bmp::read_image_file(dir.file(result_names[n]), img), bmp::Status::ok)
            << result_names[n];
        return img;
    }

    TempFolder dir;

  private:
    std::filesystem::path old_cwd_;
};

} // namespace

TEST_F(Engine, ComputesTheResultImages) {
    write_angle_set();
    ASSERT_EQ(run(), 0);
    EXPECT_FALSE(file_exists(dir.file("tarnwick.sta")));
    const auto& pal = palette::false_colour();
    const bmp::Image a0 = result(0), a1 = result(1), a2 = result(2);
    for (int x = 0; x < columns; ++x) {
        const int m = expected_codes[x][0], k = expected_codes[x][1], e = expected_codes[x][2];
        EXPECT_EQ(a0.at(x, 1), grey(m)) << x;
        EXPECT_EQ(a1.at(x, 1), palette::pixel(pal[k ? k : palette::no_value])) << x;
        EXPECT_EQ(a2.at(x, 1), palette::pixel(pal[e ? e : palette::no_value])) << x;
    }
    // the files are 32-bit, 40-byte header, bottom-up, of the input's size
    const std::string bytes = read_bytes(dir.file("a1.bmp"));
    ASSERT_EQ(bytes.size(), 54u + 4u * columns * 2);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(bytes[14], 40);
    EXPECT_EQ(bytes[28], 32);
    EXPECT_GT(bytes[22], 0);
}

TEST_F(Engine, EveryInputVariantGivesTheSameResult) {
    write_angle_set(Variant::rgb32, 3);
    ASSERT_EQ(run(), 0);
    std::string reference[3];
    for (int n = 0; n < 3; ++n) reference[n] = read_bytes(dir.file(result_names[n]));
    for (Variant v : testing_bmp::all_variants()) {
        if (testing_bmp::colour_limit(v) && testing_bmp::colour_limit(v) < 16) continue;
        if (v == Variant::rgb16_555 || v == Variant::rgb16_565) continue; // they drop low bits
        write_angle_set(v, 3);
        ASSERT_EQ(run(), 0) << testing_bmp::name(v);
        for (int n = 0; n < 3; ++n)
            EXPECT_EQ(read_bytes(dir.file(result_names[n])), reference[n]) << testing_bmp::name(v);
    }
}

TEST_F(Engine, ChannelAndSquaring) {
    // red 255, green 0, blue 1 in "0.bmp": channel m samples 85, r 255, b 1; -Q squares
    const uint32_t colours[4] = {0xff0001, 0x000000, 0x000000, 0x000000};
    for (int i = 0; i < 4; ++i)
        bmp::write_image_file(dir.file(angle_names[i]),
                              make_image(1, 1, [&](int32_t, int32_t) { return colours[i]; }));
    const struct {
        const char* options;
        int mean;
    } cases[] = {{"-C m", 21}, {"", 63}, {"-C r", 63}, {"-C g", 1}, {"-C b", 1}, {"-C m -Q", 7}};
    for (const auto& c : cases) {
        ASSERT_EQ(run(c.options), 0) << c.options;
        EXPECT_EQ(result(0).at(0, 0), grey(c.mean)) << c.options;
    }
}

TEST_F(Engine, ResultCodes) {
    using Setup = std::function<void(Engine&)>;
    const struct {
        const char* what;
        Setup setup;
        std::string options;
        int code;
    } cases[] = {
        {"no images", [](Engine&) {}, "", 1},
        {"no 45",
         [](Engine& e) {
             e.write_angle_set();
             std::remove(e.dir.file("45.bmp").c_str());
         },
         "", 2},
        {"no 90",
         [](Engine& e) {
             e.write_angle_set();
             std::remove(e.dir.file("90.bmp").c_str());
         },
         "", 3},
        {"no 135",
         [](Engine& e) {
             e.write_angle_set();
             std::remove(e.dir.file("135.bmp").c_str());
         },
         "", 4},
        {"damaged 0",
         [](Engine& e) {
             e.write_angle_set();
             std::filesystem::resize_file(e.dir.file("0.bmp"), 70);
         },
         "", 1},
        {"45 narrower",
         [](Engine& e) {
             e.write_angle_set();
             e.write_image("45.bmp", columns - 1, 2);
         },
         "", 5},
        {"135 taller",
         [](Engine& e) {
             e.write_angle_set();
             e.write_image("135.bmp", columns, 3);
         },
         "", 5},
        {"bad channel", [](Engine& e) { e.write_angle_set(); }, "-C x", 6},
        {"upper-case channel", [](Engine& e) { e.write_angle_set(); }, "-C R", 6},
        {"width without value", [](Engine& e) { e.write_angle_set(); }, "-w", 6},
        {"width 3201", [](Engine& e) { e.write_angle_set(); }, "-w 3201", 8},
        {"width 0", [](Engine& e) { e.write_angle_set(); }, "-w 0", 8},
        {"height 3201", [](Engine& e) { e.write_angle_set(); }, "-h 3201", 8},
        {"image wider than -w", [](Engine& e) { e.write_angle_set(); }, "-w 8", 8},
        {"status file cannot be created",
         [](Engine& e) {
             e.write_angle_set();
             std::filesystem::create_directory(e.dir.file("tarnwick.sta"));
         },
         "", 7},
        {"status file fails and width 0",
         [](Engine& e) { std::filesystem::create_directory(e.dir.file("tarnwick.sta")); }, "-w 0",
         8},
        {"tiny colour maximum", [](Engine& e) { e.write_angle_set(); }, "-U 1e-20", 9},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir.file("tarnwick.sta"));
        for (const char* n : angle_names) std::remove(dir.file(n).c_str());
        c.setup(*this);
        EXPECT_EQ(run(c.options), c.code) << c.what;
        EXPECT_FALSE(std::filesystem::is_regular_file(dir.file("tarnwick.sta"))) << c.what;
    }
}

TEST_F(Engine, FolderChecks) {
    TempFolder other;
    write_angle_set();
    const std::string missing = dir.path() + "missing/";
    EXPECT_EQ(execute_engine("-P " + missing), 7); // both fail; 7 wins
    EXPECT_EQ(execute_engine("-D " + missing + " -O " + other.path()), 1);
    EXPECT_EQ(execute_engine("-D " + dir.path() + " -O " + missing), 7);
    EXPECT_EQ(execute_engine("-D " + missing + " -O " + missing + " -C z"), 6); // 6 wins over 7
    // separate input and output folders; -P overrides both
    ASSERT_EQ(execute_engine("-D " + dir.path() + " -O " + other.path()), 0);
    EXPECT_TRUE(file_exists(other.file("a2.bmp")));
    EXPECT_FALSE(file_exists(dir.file("a2.bmp")));
    EXPECT_EQ(execute_engine("-D " + missing + " -O " + missing + " -P " + dir.path()), 0);
    // an empty quoted value ends the options: "-O" is not seen and both folders are the
    // host's own, which holds no angle images
    EXPECT_EQ(execute_engine("-D \"\" -O " + other.path() + " -P " + dir.path()), 1);
    EXPECT_EQ(execute_engine(""), 1);
}

TEST_F(Engine, FolderWithBlanksInQuotes) {
    const std::string spaced = dir.path() + "my data/";
    std::filesystem::create_directory(spaced);
    for (int i = 0; i < 4; ++i)
        testing_bmp::write_file(spaced + angle_names[i],
                                testing_bmp::encode(angle_image(i), Variant::rgb24));
    EXPECT_EQ(execute_engine("-P \"" + spaced + "\" -Q"), 0);
    EXPECT_TRUE(file_exists(spaced + "a0.bmp"));
}

TEST_F(Engine, BusyWhenTheStatusFileExists) {
    write_angle_set();
    bmp::write_image_file(dir.file("a0.bmp"),
                          make_image(1, 1, [](int32_t, int32_t) { return 7u; }));
    const std::string before = read_bytes(dir.file("a0.bmp"));
    { std::ofstream(dir.file("tarnwick.sta")) << "started\r\n"; }
    EXPECT_EQ(run(), 10);
    EXPECT_TRUE(file_exists(dir.file("tarnwick.sta")));
    EXPECT_EQ(read_bytes(dir.file("a0.bmp")), before);
    EXPECT_FALSE(file_exists(dir.file("a1.bmp")));
}

TEST_F(Engine, FailuresKeepLaterResultImages) {
    write_angle_set();
    for (const char* n : result_names)
        bmp::write_image_file(dir.file(n),
                              make_image(1, 1, [](int32_t, int32_t) { return 0x0a0b0cu; }));
    const std::string old_a2 = read_bytes(dir.file("a2.bmp"));

    // a numerical failure comes after "a0.bmp" is written; "a1.bmp" and "a2.bmp" stay old
    EXPECT_EQ(run("-U 1e-20"), 9);
    EXPECT_EQ(result(0).width, columns);
    EXPECT_EQ(result(1).width, 1);
    EXPECT_EQ(read_bytes(dir.file("a2.bmp")), old_a2);

    // "a1.bmp" cannot be replaced (a folder of that name): 7, "a0.bmp" new, "a2.bmp" old
    std::remove(dir.file("a0.bmp").c_str());
    std::remove(dir.file("a1.bmp").c_str());
    std::filesystem::create_directories(dir.file("a1.bmp/x"));
    EXPECT_EQ(run(), 7);
    EXPECT_EQ(result(0).width, columns);
    EXPECT_EQ(read_bytes(dir.file("a2.bmp")), old_a2);
    // and no temporary file is left behind
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST_F(Engine, SizeLimits) {
    const struct {
        int32_t w, h;
        const char* options;
        int code;
    } cases[] = {
        {3072, 1, "", 0}, {3073, 1, "", 8},        {3073, 1, "-w 3073", 0}, {3074, 1, "-w 3200", 8},
        {1, 3073, "", 8}, {1, 3073, "-h 3100", 0}, {1, 3074, "-h 3200", 8}, {1, 1, "", 0},
    };
    for (const auto& c : cases) {
        for (const char* n : angle_names) write_image(n, c.w, c.h);
        EXPECT_EQ(run(c.options), c.code) << c.w << "x" << c.h << " " << c.options;
        if (c.code == 0) {
            EXPECT_EQ(result(2).width, c.w);
            EXPECT_EQ(result(2).height, c.h);
        }
    }
}

TEST_F(Engine, FullSizeImageIsAccepted) {
    for (const char* n : angle_names) write_image(n, 3072, 3072);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(result(0).height, 3072);
}

TEST_F(Engine, RowOrderFollowsTheImage) {
    // top-down and bottom-up files of the same picture give the same results
    auto picture = [](int i) {
        return make_image(5, 4, [i](int32_t x, int32_t y) {
            return grey(static_cast<unsigned>((x * 40 + y * 9 + i * 50) % 256));
        });
    };
    for (int i = 0; i < 4; ++i) bmp::write_image_file(dir.file(angle_names[i]), picture(i));
    ASSERT_EQ(run(), 0);
    const bmp::Image reference = result(2);
    for (int i = 0; i < 4; ++i)
        testing_bmp::write_file(dir.file(angle_names[i]),
                                testing_bmp::encode(picture(i), Variant::rgb24_topdown));
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(result(2).pixels, reference.pixels);
}
