// Slots of compiled patterns and match results.
#include "runtime/regex_table.h"

#include <algorithm>

#include "runtime/mbstring.h"

namespace tob {

RegexTable& regex_table() {
    static RegexTable table;
    return table;
}

void RegexTable::attach(ScriptMemory& memory) {
    if (memory_ != &memory) results_ = {};  // blocks of another memory: forget them
    memory_ = &memory;
    clear();
}

void RegexTable::detach() {
    clear();
    memory_ = nullptr;
}

void RegexTable::clear() {
    for (auto& a : automata_) a.reset();
    for (ScriptAddr& r : results_) {
        if (r && memory_) memory_->free(r);
        r = 0;
    }
}

uint32_t RegexTable::compile(std::string_view pattern) {
    auto slot = std::find(automata_.begin(), automata_.end(), nullptr);
    if (slot == automata_.end()) return 0;
    auto nfa = regex::compile(pattern);
    if (!nfa) return 0;
    *slot = std::make_unique<regex::Automaton>(std::move(*nfa));
    return uint32_t(slot - automata_.begin()) + 1;
}

const regex::Automaton* RegexTable::automaton(uint32_t handle) const {
    if (handle < 1 || handle > kSlots) return nullptr;
    return automata_[handle - 1].get();
}

bool RegexTable::release_automaton(uint32_t handle) {
    if (!automaton(handle)) return false;
    automata_[handle - 1].reset();
    return true;
}

uint32_t RegexTable::match(uint32_t handle, ScriptAddr subject, ScriptAddr result_at,
                           bool ignore_case) {
    const regex::Automaton* nfa = automaton(handle);
    if (!nfa || !memory_ || !memory_->valid(result_at, 4)) return 0;
    auto text = memory_->c_string(subject, kStringScanLimit);
    if (!text) return 0;
    auto slot = std::find(results_.begin(), results_.end(), ScriptAddr(0));
    if (slot == results_.end()) return 0;
    auto m = regex::search(*nfa, *text, ignore_case);
    if (!m) {
        memory_->write32(result_at, 0);
        return 0;
    }
    uint32_t pairs = nfa->groups + 1;
    ScriptAddr block = memory_->allocate(pairs * 8);
    if (!block) return 0;
    auto put = [&](uint32_t i, std::optional<std::pair<uint32_t, uint32_t>> range) {
        memory_->write32(block + 8 * i, range ? subject + range->first : 0);
        memory_->write32(block + 8 * i + 4, range ? subject + range->second : 0);
    };
    put(0, std::make_pair(m->start, m->end));
    for (uint32_t g = 0; g < nfa->groups; ++g) put(g + 1, m->groups[g]);
    *slot = block;
    memory_->write32(result_at, block);
    return pairs;
}

bool RegexTable::release_result(ScriptAddr block) {
    if (!block) return false;
    auto slot = std::find(results_.begin(), results_.end(), block);
    if (slot == results_.end()) return false;
    if (memory_) memory_->free(block);
    *slot = 0;
    return true;
}

int RegexTable::automaton_count() const {
    return int(
        std::count_if(automata_.begin(), automata_.end(), [](auto& a) { return a != nullptr; }));
}

int RegexTable::result_count() const {
    return int(
        std::count_if(results_.begin(), results_.end(), [](ScriptAddr r) { return r != 0; }));
}

}  // namespace tob
