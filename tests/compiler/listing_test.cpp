// The assembly listing: a golden listing of a small program, source echo on
// and off, a listing cut short by an error, and the load widths it prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "program_support.h"

using namespace tob::compiler;
using namespace tob::compiler::testing;

namespace {

std::string read_file(const std::string& name) {
    std::ifstream in(std::string(TOB_TEST_DATA) + "/data/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

CompileResult list(const std::string& source, bool echo) {
    ProgramHarness h;
    CompileOptions o = h.options({{"sample.c", source}}, "sample.c");
    o.listing = true;
    o.echo_source = echo;
    return compile(o);
}

}  // namespace

TEST(Listing, MatchesTheGoldenListing) {
    std::string source = read_file("listing_sample.c");
    ASSERT_FALSE(source.empty());
    ProgramHarness h;
    CompileOptions o = h.options({{"listing_sample.c", source}}, "listing_sample.c");
    o.listing = true;
    o.echo_source = true;
    CompileResult r = compile(o);
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.listing, read_file("listing_sample.txt"));
}

TEST(Listing, SourceEchoAndErrors) {
    const std::string source = "int main()\n{\n\treturn 2;\n}\n";
    CompileResult quiet = list(source, false);
    EXPECT_EQ(quiet.listing.find("*\t"), std::string::npos);
    // The newline appended to every file makes a last, empty line.
    EXPECT_NE(quiet.listing.find("; Compiled 5 lines.\n"), std::string::npos);
    EXPECT_NE(list(source, true).listing.find("*\t\treturn 2;\n"), std::string::npos);

    CompileResult broken = list("int main()\n{\n\treturn 2;\n\t@\n}\n", true);
    EXPECT_FALSE(broken.ok);
    EXPECT_NE(broken.listing.find("\tmovl\tr0, $2\n"), std::string::npos);
    EXPECT_EQ(broken.listing.find(";===="), std::string::npos);
}

TEST(Listing, CompoundAssignmentsLoadByWidthAndSign) {
    CompileResult u = list("int main() { unsigned short w; short s; w += 1; s += 1; }", false);
    EXPECT_NE(u.listing.find("\tmovwl\tr2, (r2)\n"), std::string::npos) << u.listing;
    EXPECT_NE(u.listing.find("\tmovswl\tr2, (r2)\n"), std::string::npos) << u.listing;
}

TEST(Listing, CallsAndSpills) {
    CompileResult r = list(
        "int f();\n"
        "int main() { int a; f(1, 2, 3); f(); return ((((((((a*2)-1)*3)-2)*5)-3)*7)-4)*11; }\n",
        false);
    // Arguments last to first, then the clean-up; none without arguments.
    EXPECT_NE(r.listing.find("\tpush\t$3\n\tpush\t$2\n\tpush\t$1\n\tcall\tf\n"
                             "\tadd\t\tr7, $12\n\tcall\tf\n\tmovl"),
              std::string::npos)
        << r.listing;
    // More live values than registers: the rest go to the machine stack and back.
    EXPECT_NE(r.listing.find("\tpush\tr5\n"), std::string::npos);
    EXPECT_NE(r.listing.find("\tpop\t\tr1\n"), std::string::npos);
}

TEST(Listing, FileNameIsTheSourceBaseName) {
    EXPECT_EQ(listing_file_name("game\\scripts\\Main.C"), "Main.txt");
    EXPECT_EQ(listing_file_name("noext"), "noext.txt");
    EXPECT_EQ(listing_file_name("dir/sub.dir/x.c"), "x.txt");
}

TEST(Listing, DroppedFilesAreCheckedAndListedInTheCurrentDirectory) {
    namespace fs = std::filesystem;
    const fs::path previous = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("tob_drop_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    SourceReader reader = memory_source_reader(
        {{"games\\Main.C", "int main() { return 0; }"}, {"games\\notes.txt", "int main() {}"}});
    EXPECT_TRUE(compile_dropped_file("games\\Main.C", false, false, false, reader));
    EXPECT_FALSE(fs::exists("Main.txt"));  // no listing without Shift
    EXPECT_TRUE(compile_dropped_file("games\\Main.C", true, false, false, reader));
    std::ifstream in("Main.txt");
    std::stringstream listing;
    listing << in.rdbuf();
    EXPECT_NE(listing.str().find(".file \"Main.C\"\n"), std::string::npos);
    EXPECT_EQ(listing.str().find("*\t"), std::string::npos);  // no source without Ctrl
    EXPECT_FALSE(compile_dropped_file("games\\notes.txt", true, true, false, reader));
    EXPECT_FALSE(fs::exists("notes.txt"));
    fs::current_path(previous);
    fs::remove_all(dir);
}
