// System values by name, and the one list of built-in families.
#include <gtest/gtest.h>

#include "../support/call_site.h"
#include "base/settings.h"
#include "shell/builtin_families.h"
#include "shell/system_values.h"
#include "vm/trap.h"

using namespace tob;

namespace {

TEST(SystemValues, NamesIgnoreCaseAndSettableFlags) {
    EXPECT_EQ(system_value_index("FullScreen"), 0);
    EXPECT_EQ(system_value_index("SP_COUNT"), 14);
    EXPECT_EQ(system_value_index("cpu_vendor"), -1);  // the name is spelled "cpu_vender"
    EXPECT_EQ(get_system_value("nothing"), 0u);
    EXPECT_EQ(set_system_value("nothing", 1), 0u);
    EXPECT_EQ(get_system_value("OS_PLATFORM"), 2u);
    EXPECT_GT(get_system_value("width"), 0u);
    EXPECT_EQ(set_system_value("width", 5), 0u);

    EXPECT_EQ(set_system_value("Global_Focus", 0), 1u);
    EXPECT_EQ(get_system_value("global_focus"), 0u);
    EXPECT_EQ(settings().global_focus.load(), 0);
    EXPECT_EQ(set_system_value("global_focus", 1), 1u);
    EXPECT_EQ(set_system_value("color_mapping", 1), 1u);
    EXPECT_EQ(get_system_value("color_mapping"), 1u);
    set_system_value("color_mapping", 0);

    // Switching full screen goes through the hook, and only on a change.
    int switches = 0;
    system_value_hooks().get_fullscreen = [] { return 0u; };
    system_value_hooks().set_fullscreen = [&](int32_t) {
        ++switches;
        return 1u;
    };
    EXPECT_EQ(set_system_value("fullscreen", 0), 0u);
    EXPECT_EQ(set_system_value("fullscreen", 1), 1u);
    EXPECT_EQ(switches, 1);
    system_value_hooks() = {};
}

TEST(SystemValues, BuiltinsReadTheNameThroughScriptMemory) {
    test::CallSite site;
    site.table.bind_all(system_builtins());
    EXPECT_EQ(site.call("getsystem", {site.string("OS_MAJOR")}), 5u);
    EXPECT_EQ(site.call("getsystem", {0}), 0u);  // a null name
}

TEST(BuiltinFamilies, EveryBuiltinIsBoundExactlyOnce) {
    TrapTable table;
    BindReport report = bind_all_families(table);
    EXPECT_TRUE(report.ok()) << report.describe();
    for (uint32_t i = 0; i < kTrapCount; ++i) EXPECT_FALSE(table.is_stub(i)) << kTrapInfo[i].name;
}

TEST(BuiltinFamilies, BindingReportsUnknownDuplicateAndUnboundNames) {
    static constexpr TrapBinding kFirst[] = {{"abs", builtin_not_built},
                                             {"nothing", builtin_not_built}};
    static constexpr TrapBinding kSecond[] = {{"abs", builtin_not_built}};
    static constexpr BuiltinFamily kFamilies[] = {
        {"first", [] { return std::span<const TrapBinding>(kFirst); }},
        {"second", [] { return std::span<const TrapBinding>(kSecond); }},
    };
    TrapTable table;
    BindReport report = table.bind_families(kFamilies);
    EXPECT_EQ(report.unknown, std::vector<std::string>{"first: nothing"});
    EXPECT_EQ(report.duplicate, std::vector<std::string>{"second: abs"});
    EXPECT_EQ(report.unbound.size(), kTrapCount - 1);
    EXPECT_FALSE(report.ok());
}

}  // namespace
