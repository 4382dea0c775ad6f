// The trap table: the built-ins' fixed numbering, their argument counts,
// failure values and script declarations, and the handlers bound to them.
#include <algorithm>
#include <cstring>
#include <utility>

#include "vm/trap.h"
#include "vm/trap_list.h"

namespace tob {

const std::array<TrapInfo, kTrapCount> kTrapInfo = {{
#define TOB_TRAP_INFO(number, name, argc, fail, decl) \
    TrapInfo{number, #name, argc, uint32_t(fail), decl},
    TOB_TRAP_LIST(TOB_TRAP_INFO)
#undef TOB_TRAP_INFO
}};

namespace {

#define TOB_TRAP_COUNT(number, name, argc, fail, decl) +1
static_assert(0 TOB_TRAP_LIST(TOB_TRAP_COUNT) == kTrapCount, "the trap list must have 314 entries");
#undef TOB_TRAP_COUNT

uint32_t not_available(TrapCall& call) {
    return call.info().fail;
}

}  // namespace

int trap_number(std::string_view name) {
    // Built-in names sorted once, so that a look-up is a binary search.
    static const auto kByName = [] {
        std::array<std::pair<std::string_view, uint16_t>, kTrapCount> by_name;
        for (size_t i = 0; i < kTrapCount; ++i)
            by_name[i] = {kTrapInfo[i].name, kTrapInfo[i].number};
        std::sort(by_name.begin(), by_name.end());
        return by_name;
    }();
    auto it = std::lower_bound(kByName.begin(), kByName.end(), name,
                               [](const auto& e, std::string_view n) { return e.first < n; });
    return it != kByName.end() && it->first == name ? it->second : -1;
}

std::string builtins_header() {
    std::string out =
        "// Built-in functions of the engine, in trap-number order.\n"
        "// Generated from the engine's trap table: the order is the numbering,\n"
        "// so never remove, insert or reorder a declaration.\n";
    for (const TrapInfo& t : kTrapInfo) {
        out += "#trap\n";
        out += t.declaration;
        out += "\n";
    }
    return out;
}

TrapTable::TrapTable() {
    handlers_.fill(&not_available);
}

bool TrapTable::bind(std::string_view name, TrapHandler handler, TrapEffects effects) {
    int n = trap_number(name);
    if (n < 0 || !handler) return false;
    handlers_[size_t(n)] = handler;
    effects_[size_t(n)] = effects;
    return true;
}

int TrapTable::bind_all(std::span<const TrapBinding> bindings) {
    int unknown = 0;
    for (const TrapBinding& b : bindings)
        if (!bind(b.name, b.handler, b.effects)) ++unknown;
    return unknown;
}

BindReport TrapTable::bind_families(std::span<const BuiltinFamily> families) {
    BindReport report;
    std::array<bool, kTrapCount> bound{};
    for (const BuiltinFamily& family : families) {
        for (const TrapBinding& b : family.bindings()) {
            std::string where = std::string(family.name) + ": " + b.name;
            int n = trap_number(b.name);
            if (n < 0 || !b.handler) {
                report.unknown.push_back(where);
                continue;
            }
            if (bound[size_t(n)]) report.duplicate.push_back(where);
            bound[size_t(n)] = true;
            handlers_[size_t(n)] = b.handler;
            effects_[size_t(n)] = b.effects;
        }
    }
    for (const TrapInfo& t : kTrapInfo)
        if (!bound[t.number]) report.unbound.push_back(t.name);
    return report;
}

std::string BindReport::describe() const {
    std::string out;
    for (const auto& n : unknown) out += "unknown built-in " + n + "\n";
    for (const auto& n : duplicate) out += "bound twice " + n + "\n";
    for (const auto& n : unbound) out += "bound by no family: " + n + "\n";
    return out;
}

uint32_t builtin_not_built(TrapCall& call) {
    return call.info().fail;
}

bool TrapTable::is_stub(uint32_t number) const {
    return number < kTrapCount && handlers_[number] == &not_available;
}

}  // namespace tob
