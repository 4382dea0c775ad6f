// Table trigonometry, the random generator and the float built-ins, called
// through the dispatcher with real argument words.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "runtime/math_tables.h"
#include "runtime/random_generator.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

using namespace tob;
using tob::test::CallSite;
using tob::test::word;

namespace {
struct Math : ::testing::Test {
    CallSite site;
    Math() { site.table.bind_all(math_builtins()); }
    int32_t call(std::string_view name, std::vector<uint32_t> args) {
        return int32_t(site.call(name, args));
    }
};
}  // namespace

TEST_F(Math, SineAndArctangentTables) {
    EXPECT_EQ(sine_table().size(), 2560u);
    EXPECT_EQ(atan_table().size(), 257u);
    EXPECT_EQ(atan_table()[0], 0);
    EXPECT_EQ(atan_table()[128], 151);
    EXPECT_EQ(atan_table()[256], 256);
    for (int i = 0; i < 512; ++i) EXPECT_EQ(sine_table()[2048 + i], sine_table()[i]);

    struct Case {
        const char* name;
        int32_t angle, expected;
    } cases[] = {{"tsin", 512, 65536},   {"tcos", 0, 65536},   {"tsin", 1024, 0},
                 {"tsin", -512, -65536}, {"tsin", 256, 46341}, {"tcos", 1024, -65536},
                 {"tcos", 1536, 0},      {"tsin", 2049, 201},  {"tcos", INT32_MAX, 65536},
                 {"tsin", INT32_MIN, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(call(c.name, {uint32_t(c.angle)}), c.expected) << c.name << " " << c.angle;
}

TEST_F(Math, ArctangentOfVectors) {
    struct Case {
        int32_t x, y, expected;
    } cases[] = {{0, 0, 0},
                 {1, 0, 0},
                 {0, 1, 512},
                 {-1, 0, 1024},
                 {0, -1, 1536},
                 {1, 1, 256},
                 {-1, 1, 768},
                 {-1, -1, 1280},
                 {1, -1, 1792},
                 {INT32_MIN, 0, 1024},
                 {INT32_MIN, INT32_MIN, 1280},
                 {1, INT32_MIN, 1536},
                 {INT32_MAX, INT32_MAX, 256},
                 {INT32_MAX, 1, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(call("tatan", {uint32_t(c.x), uint32_t(c.y)}), c.expected) << c.x << "," << c.y;
    // Within two units of the exact angle all around the circle, at any scale.
    for (int32_t scale : {1000, 1 << 20, INT32_MAX}) {
        for (int step = 0; step < 2048; step += 7) {
            double a = step * 2 * std::numbers::pi / 2048;
            auto x = int32_t(std::cos(a) * scale), y = int32_t(std::sin(a) * scale);
            double exact = std::atan2(double(y), double(x)) * 1024 / std::numbers::pi;
            int32_t got = table_atan(x, y);
            double diff = std::remainder(got - exact, 2048.0);
            EXPECT_LE(std::fabs(diff), 2.0) << step << " " << scale;
        }
    }
}

TEST_F(Math, RandomGenerator) {
    // An unseeded generator seeds itself with 4357; the 1998 reference seeding
    // gives these first outputs for that seed.
    RandomGenerator fresh, seeded;
    seeded.seed(4357);
    const uint32_t reference[] = {2867219139u, 1585203162u, 3113124129u, 2953900839u, 2463794868u};
    for (uint32_t r : reference) {
        EXPECT_EQ(fresh.next(), r);
        EXPECT_EQ(seeded.next(), r);
    }
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(fresh.next(), seeded.next());

    EXPECT_EQ(call("srand", {4357}), 1);
    EXPECT_EQ(call("rand", {}), int32_t(reference[0] & 0x7FFFFFFF));
    EXPECT_FLOAT_EQ(site.call_real("random", {0}), float((reference[1] & 0xFFFFFF) / 16777215.0));
    for (int i = 0; i < 1000; ++i) {
        float r = site.call_real("random", {0});
        ASSERT_GE(r, 0.0f);
        ASSERT_LE(r, 1.0f);
        ASSERT_GE(call("rand", {}), 0);
    }
    EXPECT_EQ(call("srand", {0}), 1);  // seeds from the clock
}

TEST_F(Math, RandomTakesItsOneWordUnderTheArgumentCheck) {
    site.dispatcher->set_check_arguments(true);
    float r = site.call_real("random", {123});
    EXPECT_EQ(site.machine.stop.load(), 0u);
    EXPECT_GE(r, 0.0f);
    EXPECT_LE(r, 1.0f);
}

TEST_F(Math, IntegerFunctions) {
    EXPECT_EQ(call("abs", {uint32_t(-5)}), 5);
    EXPECT_EQ(call("abs", {7}), 7);
    EXPECT_EQ(call("abs", {0}), 0);
    EXPECT_EQ(call("abs", {uint32_t(INT32_MIN)}), INT32_MIN);
    EXPECT_EQ(call("sgn", {uint32_t(-9)}), -1);
    EXPECT_EQ(call("sgn", {0}), 0);
    EXPECT_EQ(call("sgn", {uint32_t(INT32_MAX)}), 1);
}

TEST_F(Math, FloatFunctionsOnBitPatterns) {
    struct Case {
        const char* name;
        std::vector<float> args;
        float expected;
    } cases[] = {
        {"fabs", {-2.5f}, 2.5f},
        {"sqrt", {2.0f}, float(std::sqrt(2.0))},
        {"pow", {2.0f, 10.0f}, 1024.0f},
        {"log", {1.0f}, 0.0f},
        {"exp", {1.0f}, float(std::numbers::e)},
        {"floor", {-1.5f}, -2.0f},
        {"ceil", {-1.5f}, -1.0f},
        {"sin", {0.5f}, float(std::sin(double(0.5f)))},
        {"cos", {0.0f}, 1.0f},
        {"tan", {0.25f}, float(std::tan(double(0.25f)))},
        {"asin", {1.0f}, float(std::numbers::pi / 2)},
        {"acos", {1.0f}, 0.0f},
        {"atan", {1.0f}, float(std::numbers::pi / 4)},
        {"bezier", {0.0f, 1.0f, 0.0f, 0.5f}, 0.5f},
        {"bezier", {1.0f, 5.0f, 3.0f, 1.0f}, 3.0f},
        {"neville", {1.0f, 4.0f, 9.0f, 0.0f}, 1.0f},
        {"neville", {1.0f, 4.0f, 9.0f, 0.5f}, 4.0f},
        {"neville", {1.0f, 4.0f, 9.0f, 1.0f}, 9.0f},
        {"neville", {1.0f, 4.0f, 9.0f, 0.25f}, 2.25f},
        {"linear", {2.0f, 4.0f, 0.25f}, 2.5f},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> words;
        for (float f : c.args) words.push_back(word(f));
        EXPECT_FLOAT_EQ(site.call_real(c.name, words), c.expected) << c.name;
    }
    EXPECT_TRUE(std::isnan(site.call_real("sqrt", {word(-1.0f)})));
}
