// The measuring compile's kept image: placed in the program area it must give
// the very bytes, messages and exports a full compile into that area gives,
// and any change of input between the two compiles must make the second one
// compile in full.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "vm/script_memory.h"

using namespace tob;
using namespace tob::compiler;

namespace {

// Data, labels and addresses of every kind: initialised globals pointing into
// the data area, strings in code and data, function addresses taken before
// the function is defined, externs, a static local, exports in both
// directions, struct members, floats and a switch.
const char kProgram[] =
    "#include \"lib.h\"\n"
    "extern int shared_a, shared_b;\n"
    "int counter = 5, table[4] = {1, 2, , 4};\n"
    "char *greeting = \"hello\\n\";\n"
    "int *pointer = &table[2];\n"
    "struct P { int x; char c; short w[3]; } point;\n"
    "short *wp = &point.w[1];\n"
    "int *outside = &shared_b;\n"
    "int later();\n"
    "int (*early)() = later;\n"
    "int (*imported)() = from_before;\n"
    "float ratio = 2.5;\n"
    "char *names[3] = {\"one\", , \"three\"};\n"
    "extern int twice(int v) { return v * 2; }\n"
    "static int hidden(int v) { static int calls = 3; calls++; return v + calls; }\n"
    "int later() { return counter + table[3]; }\n"
    "int main() {\n"
    "    int i, s; char *p;\n"
    "    s = 0;\n"
    "    p = \"text\";\n"
    "    for (i = 0; i < 4; i++)\n"
    "        switch (table[i] & 3) { case 0: s++; break; case 1: s += i; default: s -= 1; }\n"
    "    if (counter) s = s + hidden(s);\n"
    "    if (!shared_a) shared_a = s;\n"
    "    shared_b = *pointer;\n"
    "    point.x = early() + imported() + from_outside(3);\n"
    "    return s + twice(point.x) + *wp + p[1] + greeting[0] + (int)ratio + lib_value(2) +\n"
    "        names[2][0];\n"
    "}\n";

// Many functions: the code outgrows every first guess of its size.
std::string many_functions(int count) {
    std::string s = "int g;\n";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        s += "int f" + n + "(int a) { int b; b = a * " + n + " + g; while (b > 9) b = b / 2;\n";
        s += "  return b + " + (i > 0 ? "f" + std::to_string(i - 1) + "(a & 3)" : "0") + "; }\n";
    }
    return s + "int main() { return f" + std::to_string(count - 1) + "(7); }\n";
}

class ImageCacheTest : public ::testing::Test {
  public:
    static constexpr uint32_t kArea = 1u << 20;
    static constexpr uint32_t kExternalSize = 64;

    ImageCacheTest() : memory(uint64_t(16) << 20) {
        external = memory.allocate(kExternalSize);
        area = memory.allocate(kArea + 4, BlockKind::Program);
        files["lib.h"] = "#define TWICE(x) ((x) * 2)\nint lib_value(int x) { return TWICE(x); }\n";
        files["main.c"] = kProgram;
        ExportedFunction f;
        f.name = "from_before";
        f.address = 0x12345;
        exports.put(f);
        f.name = "from_outside";
        f.address = 0x23456;
        exports.put(f);
    }

    CompileOptions options(ImageCache* cache) {
        CompileOptions o;
        o.source_path = "main.c";
        o.reader = [this](std::string_view path) {
            ++reads;
            auto it = files.find(std::string(path));
            if (it == files.end()) return SourceData{};
            return SourceData{SourceStatus::Ok, it->second};
        };
        o.external_base = external;
        o.external_size = kExternalSize;
        o.exports = &exports;
        o.collect_messages = true;
        o.report_messages = false;
        o.reuse = cache;
        return o;
    }

    struct Load {
        CompileResult measured;
        CompileResult compiled;
        std::vector<uint8_t> bytes;  // the program area after the second compile
    };
    // Measures, then compiles into the area (`extra` bytes larger than needed)
    // with the option changes `between` makes, as a load does.
    template <typename Between>
    Load load(ImageCache* cache, uint32_t extra, Between between) {
        Load l;
        CompileOptions o = options(cache);
        l.measured = compile(o);
        const uint32_t size = l.measured.code_size + l.measured.data_size + extra;
        if (size > kArea) return l;
        std::memset(memory.host(area, kArea), 0, kArea);
        o.memory = &memory;
        o.base = area;
        o.size = size;
        between(o);
        l.compiled = compile(o);
        const uint8_t* p = memory.host(area, size);
        l.bytes.assign(p, p + size);
        return l;
    }
    Load load(ImageCache* cache, uint32_t extra = 0) {
        return load(cache, extra, [](CompileOptions&) {});
    }

    void expect_same(const Load& placed, const Load& full) {
        EXPECT_EQ(placed.compiled.ok, full.compiled.ok);
        EXPECT_EQ(placed.compiled.code_size, full.compiled.code_size);
        EXPECT_EQ(placed.compiled.data_size, full.compiled.data_size);
        EXPECT_EQ(placed.compiled.external_size, full.compiled.external_size);
        EXPECT_EQ(placed.compiled.messages, full.compiled.messages);
        EXPECT_TRUE(placed.bytes == full.bytes) << "the program areas differ";
    }

    ScriptMemory memory;
    ScriptAddr external = 0;
    ScriptAddr area = 0;
    ExportedFunctions exports;
    std::map<std::string, std::string> files;
    int reads = 0;
};

}  // namespace

TEST_F(ImageCacheTest, PlacedImageIsWhatAFullCompileWrites) {
    struct Case {
        std::string source;
        uint32_t extra;
    } cases[] = {
        {kProgram, 0},
        {kProgram, 100},  // a larger area: the data moves to its end
        {many_functions(400), 0},
        // A missing ';' is reported but does not fail: the message comes again.
        {"int main() { int a; a = 1\n return a; }\n", 0},
        {"int x = 7; int main() { return x; }\n", 12},
    };
    for (const Case& c : cases) {
        files["main.c"] = c.source;
        ImageCache cache;
        Load placed = load(&cache, c.extra);
        ASSERT_TRUE(placed.measured.ok) << placed.measured.messages;
        EXPECT_TRUE(placed.compiled.placed_image) << c.source;
        EXPECT_FALSE(cache.holds());
        const ScriptAddr twice = exports.find("twice") ? exports.find("twice")->address : 0;
        Load full = load(nullptr, c.extra);
        EXPECT_FALSE(full.compiled.placed_image);
        expect_same(placed, full);
        if (twice) {
            EXPECT_EQ(twice, exports.find("twice")->address);
        }
    }
}

TEST_F(ImageCacheTest, ChangedInputsCompileInFull) {
    struct Change {
        const char* what;
        std::function<void(ImageCacheTest&, CompileOptions&)> apply;
    };
    const Change changes[] = {
        {"an include's text",
         [](ImageCacheTest& t, CompileOptions&) { t.files["lib.h"] += "int more;\n"; }},
        {"the main file's text",
         [](ImageCacheTest& t, CompileOptions&) { t.files["main.c"] += "\n"; }},
        {"a file that cannot be read",
         [](ImageCacheTest& t, CompileOptions&) { t.files.erase("lib.h"); }},
        {"the exported functions",
         [](ImageCacheTest& t, CompileOptions&) {
             t.exports.put({"from_before", type::Char, 1, 0x5432});
         }},
        {"the external area", [](ImageCacheTest&, CompileOptions& o) { o.external_base += 4; }},
        {"the message switch",
         [](ImageCacheTest&, CompileOptions& o) { o.collect_messages = false; }},
        {"the listing", [](ImageCacheTest&, CompileOptions& o) { o.listing = true; }},
        {"too small an area", [](ImageCacheTest&, CompileOptions& o) { o.size -= 1; }},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        const std::map<std::string, std::string> original = files;
        ImageCache cache;
        Load placed = load(&cache, 0, [&](CompileOptions& o) { c.apply(*this, o); });
        EXPECT_FALSE(placed.compiled.placed_image);
        EXPECT_FALSE(cache.holds());
        // The same change without any image gives the same outcome.
        files = original;
        exports.put({"from_before", type::Long, 0, 0x12345});
        Load full = load(nullptr, 0, [&](CompileOptions& o) { c.apply(*this, o); });
        expect_same(placed, full);
        files = original;
        exports.put({"from_before", type::Long, 0, 0x12345});
    }
}

TEST_F(ImageCacheTest, AnImageIsPlacedOnceAndOnlyAfterASuccess) {
    ImageCache cache;
    CompileOptions o = options(&cache);
    ASSERT_TRUE(compile(o).ok);
    EXPECT_TRUE(cache.holds());
    o.memory = &memory;
    o.base = area;
    o.size = kArea;
    EXPECT_TRUE(compile(o).placed_image);
    // The next compile into memory has no measuring compile before it.
    CompileResult again = compile(o);
    EXPECT_TRUE(again.ok);
    EXPECT_FALSE(again.placed_image);

    // A failed measuring compile drops what an earlier one kept.
    o.memory = nullptr;
    o.base = 0;
    ASSERT_TRUE(compile(o).ok);
    files["main.c"] = "int main() { return @; }\n";
    EXPECT_FALSE(compile(o).ok);
    EXPECT_FALSE(cache.holds());

    // The area must lie in script memory, as for a full compile.
    files["main.c"] = kProgram;
    ASSERT_TRUE(compile(o).ok);
    o.memory = &memory;
    o.base = 0x7FFFFF00;
    o.size = 4096;
    CompileResult outside = compile(o);
    EXPECT_FALSE(outside.ok);
    EXPECT_FALSE(outside.placed_image);
}

TEST_F(ImageCacheTest, ExportsFailAsInAFullCompile) {
    // A name too long for the list, and a list with no room left.
    const std::string long_name(ExportedFunctions::kNameSize, 'n');
    const std::string sources[] = {
        "extern int " + long_name + "() { return 1; }\nint main() { return 0; }\n",
        "extern int fresh() { return 1; }\nint main() { return fresh(); }\n",
    };
    for (size_t i = 0; i < std::size(sources); ++i) {
        files["main.c"] = sources[i];
        for (size_t n = 0; i == 1 && exports.size() < ExportedFunctions::kCapacity; ++n)
            exports.put({"filler" + std::to_string(n), type::Long, 0, 0x1000});
        const size_t before = exports.size();
        ImageCache cache;
        Load placed = load(&cache);
        ASSERT_TRUE(placed.measured.ok) << placed.measured.messages;
        EXPECT_FALSE(placed.compiled.ok);
        EXPECT_FALSE(placed.compiled.placed_image);
        Load full = load(nullptr);
        expect_same(placed, full);
        EXPECT_EQ(exports.size(), before);
    }
}

TEST(ExportedFunctionsList, PutAllEntersEverythingOrNothing) {
    ExportedFunctions list;
    list.put({"a", type::Long, 0, 1});
    const uint64_t generation = list.generation();
    std::vector<ExportedFunction> more = {{"a", type::Long, 0, 2}, {"b", type::Long, 0, 3}};
    EXPECT_FALSE(list.put_all(more, generation + 1));
    EXPECT_EQ(list.find("a")->address, 1u);
    EXPECT_TRUE(list.put_all(more, generation));
    EXPECT_EQ(list.find("a")->address, 2u);
    EXPECT_EQ(list.find("b")->address, 3u);
    EXPECT_NE(list.generation(), generation);

    // One name short of room: a name given twice counts once.
    for (size_t n = list.size(); n + 1 < ExportedFunctions::kCapacity; ++n)
        list.put({"x" + std::to_string(n), type::Long, 0, 0});
    std::vector<ExportedFunction> twice = {{"c", type::Long, 0, 4}, {"c", type::Long, 0, 5}};
    EXPECT_TRUE(list.put_all(twice, list.generation()));
    EXPECT_EQ(list.find("c")->address, 5u);
    std::vector<ExportedFunction> over = {{"a", type::Long, 0, 6}, {"d", type::Long, 0, 7}};
    EXPECT_FALSE(list.put_all(over, list.generation()));
    EXPECT_EQ(list.find("a")->address, 2u);
    EXPECT_FALSE(list.find("d"));
}
