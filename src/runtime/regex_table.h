// The regular-expression built-ins' state: 32 slots of compiled automata
// (host memory; scripts hold slot + 1 as the handle) and 32 slots of match
// results (blocks in script memory that scripts read). Built-ins run under the
// trap lock, so the tables need no lock of their own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "runtime/regex.h"
#include "vm/script_memory.h"

namespace tob {

class RegexTable {
  public:
    static constexpr int kSlots = 32;

    // Starts empty on `memory`; result blocks of an earlier attach to the same
    // memory are freed, those of another memory forgotten.
    void attach(ScriptMemory& memory);
    // Frees every automaton and result block and lets go of memory.
    void detach();

    // A handle (slot + 1), or 0 when the slots are full or the pattern too big.
    uint32_t compile(std::string_view pattern);
    // The automaton of a live handle, or nullptr.
    const regex::Automaton* automaton(uint32_t handle) const;
    bool release_automaton(uint32_t handle);

    // Searches the subject at `subject`. On a match, stores the address of a
    // new result block ((groups + 1) pairs of little-endian addresses {start,
    // end}, a group that took no part (0, 0)) at `result_at` and returns the
    // group count + 1; with no match stores 0 and returns 0. Returns 0 without
    // storing for an unknown handle, a bad pointer or full result slots.
    uint32_t match(uint32_t handle, ScriptAddr subject, ScriptAddr result_at, bool ignore_case);
    bool release_result(ScriptAddr block);

    int automaton_count() const;
    int result_count() const;

  private:
    void clear();

    ScriptMemory* memory_ = nullptr;
    std::array<std::unique_ptr<regex::Automaton>, kSlots> automata_;
    std::array<ScriptAddr, kSlots> results_{};
};

RegexTable& regex_table();

}  // namespace tob
