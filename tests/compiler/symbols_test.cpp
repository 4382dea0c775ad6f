// Symbol lookup: hash and probing (which fix the listing's order), scopes,
// member names, keywords, and the table limits.
#include <gtest/gtest.h>

#include "front_end_support.h"

using namespace tob::compiler;
using namespace tob::compiler::testing;

namespace {

// A front end over `source`, keywords registered and the first line read.
struct Fixture {
    std::unique_ptr<FrontEnd> fe;
    explicit Fixture(const std::string& source) {
        FrontEndOptions o;
        o.source_path = "main.c";
        o.reader = memory_source_reader({{"main.c", source}});
        fe = std::make_unique<FrontEnd>(o);
        EXPECT_EQ(fe->run([&] {
            fe->lexer.register_keywords();
            fe->open_main();
        }),
                  FrontEnd::Outcome::Completed);
    }
    Tok next() {
        Tok t = Tok::Semicolon;
        EXPECT_EQ(fe->run([&] { t = fe->lexer.next(); }), FrontEnd::Outcome::Completed);
        return t;
    }
};

}  // namespace

TEST(Symbols, HashAndProbingPlaceEntries) {
    Fixture f("");
    SymbolTable& table = f.fe->symbols;
    // h = h * 7 ^ c with bytes taken as signed.
    EXPECT_EQ(hash_name("ab"), 709u);
    EXPECT_EQ(hash_name("\x81"), 0xFFFFFF81u);
    f.fe->run([&] {
        EXPECT_EQ(table.index_of(table.global("ab")), 709u);
        EXPECT_EQ(table.index_of(table.global("\x81")), 0xFFFFFF81u % 7168);
        EXPECT_EQ(table.index_of(table.local("\x81", table.global("\x81")->name)),
                  7168u + (0xFFFFFF81u & 1023));
    });

    // Names that hash to the last global entry: the second wraps to entry 0.
    std::vector<std::string> last;
    for (int i = 0; last.size() < 2; ++i) {
        std::string name = "n" + std::to_string(i);
        if (hash_name(name) % 7168 == 7167 && !table.find_global(name)) last.push_back(name);
    }
    f.fe->run([&] {
        Symbol* a = table.global(last[0]);
        Symbol* b = table.global(last[1]);
        EXPECT_EQ(table.index_of(a), 7167u);
        EXPECT_EQ(table.index_of(b), 0u);
        EXPECT_EQ(table.global(last[1]), b);
        EXPECT_EQ(table.find_global(last[0]), a);
    });
}

TEST(Symbols, CrowdedTableStillTakesTheFirstFreeSlotInProbeOrder) {
    // Names whose hashes bunch build long runs of used slots; every new name
    // must land where plain linear probing from hash % 7168 would put it,
    // right up to the last free slot.
    Fixture f("");
    SymbolTable& table = f.fe->symbols;
    std::vector<bool> used(SymbolTable::kGlobalSize);
    for (const Symbol& s : table.globals()) used[table.index_of(&s)] = s.kind != SymbolKind::Empty;
    uint32_t free_slots = 0;
    for (bool u : used) free_slots += u ? 0 : 1;
    EXPECT_EQ(f.fe->run([&] {
        for (uint32_t i = 0; i < free_slots; ++i) {
            std::string name = (i % 2 ? "v" : "w") + std::to_string(i);
            uint32_t want = hash_name(name) % SymbolTable::kGlobalSize;
            while (used[want]) want = (want + 1) % SymbolTable::kGlobalSize;
            used[want] = true;
            ASSERT_EQ(table.index_of(table.global(name)), want) << name;
        }
        EXPECT_EQ(table.index_of(table.global("v1")), table.index_of(table.find_global("v1")));
    }),
              FrontEnd::Outcome::Completed);
    EXPECT_EQ(f.fe->run([&] { table.global("one_too_many"); }), FrontEnd::Outcome::Failed);
}

TEST(Symbols, StaticLocalListingNamesAreFoundByThePlainName) {
    EXPECT_TRUE(name_matches("count.3", "count"));
    EXPECT_TRUE(name_matches("count", "count"));
    EXPECT_FALSE(name_matches("count.3", "coun"));
    EXPECT_FALSE(name_matches("count.3", "count.3x"));
    EXPECT_FALSE(name_matches("count", "counts"));
    // A trail byte equal to "." does not end a name.
    EXPECT_FALSE(name_matches("\x81.x", "\x81"));
}

TEST(Symbols, KeywordsAreCaseSensitiveAndVoidIsInt) {
    Fixture f("int void Int main");
    EXPECT_EQ(f.next(), Tok::KwInt);
    EXPECT_EQ(f.next(), Tok::KwInt);
    EXPECT_EQ(f.next(), Tok::Identifier);
    EXPECT_EQ(f.next(), Tok::Identifier);
    Symbol* s = f.fe->symbols.find_global("extern");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->kind, SymbolKind::Keyword);
}

TEST(Symbols, ScopesDecideWhichEntryIsInForce) {
    Fixture f("x x x y y");
    Lexer& lx = f.fe->lexer;

    // At the top level the global entry is in force; no local is made.
    ASSERT_EQ(f.next(), Tok::Identifier);
    Symbol* global_x = lx.token().global;
    EXPECT_EQ(lx.token().sym, global_x);
    global_x->kind = SymbolKind::GlobalVar;

    // Declaring inside a function: the local entry, even though it is new.
    lx.set_scope(NameScope::Local);
    ASSERT_EQ(f.next(), Tok::Identifier);
    Symbol* local_x = lx.token().sym;
    EXPECT_NE(local_x, global_x);
    EXPECT_EQ(local_x->name, global_x->name);
    EXPECT_EQ(local_x->kind, SymbolKind::New);
    local_x->kind = SymbolKind::LocalVar;

    // In the body a declared local hides the global...
    lx.set_scope(NameScope::Body);
    ASSERT_EQ(f.next(), Tok::Identifier);
    EXPECT_EQ(lx.token().sym, local_x);
    // ...and a name that is no local refers to the global entry.
    ASSERT_EQ(f.next(), Tok::Identifier);
    EXPECT_EQ(lx.token().sym, lx.token().global);

    // Clearing the locals uncovers the global again.
    f.fe->symbols.clear_locals();
    EXPECT_EQ(local_x->kind, SymbolKind::Empty);
    ASSERT_EQ(f.next(), Tok::Identifier);
    EXPECT_EQ(lx.token().sym, lx.token().global);
}

TEST(Symbols, MemberNamesCarryTheStructNumber) {
    Fixture f("m m");
    Lexer& lx = f.fe->lexer;
    lx.set_member_suffix(12);
    ASSERT_EQ(f.next(), Tok::Identifier);
    EXPECT_EQ(lx.text(), "m_12");
    EXPECT_STREQ(lx.token().global->name, "m_12");
    lx.set_member_suffix(0);
    ASSERT_EQ(f.next(), Tok::Identifier);
    EXPECT_STREQ(lx.token().global->name, "m");
}

TEST(Symbols, TablesAreBounded) {
    std::string globals;
    for (int i = 0; i < 7200; ++i) globals += "g" + std::to_string(i) + "\n";
    EXPECT_EQ(error_number(scan(globals)), 18);

    Fixture f("");
    f.fe->lexer.set_scope(NameScope::Body);
    SymbolTable& table = f.fe->symbols;
    auto fill_locals = [&](int count) {
        return f.fe->run([&] {
            for (int i = 0; i < count; ++i) {
                std::string name = "l" + std::to_string(i);
                table.local(name, table.global(name)->name);
            }
        });
    };
    EXPECT_EQ(fill_locals(1024), FrontEnd::Outcome::Completed);
    table.clear_locals();
    EXPECT_EQ(fill_locals(1024), FrontEnd::Outcome::Completed);
    EXPECT_EQ(fill_locals(1025), FrontEnd::Outcome::Failed);
    EXPECT_NE(f.fe->diag.text().find("ローカルシンボルの数が多すぎます"), std::string::npos);
}
