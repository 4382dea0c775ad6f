// The regular expressions scripts compile and match: a pattern is parsed into a
// small tree, rewritten into a Thompson-style automaton (states whose moves are
// tried in list order), and searched in Shift-JIS text. The matcher gives the
// first successful path in that order, but explores every (state, position)
// pair at most once, so no pattern and subject can make it run away.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tob::regex {

// Limits of one compiled pattern: states counted from the expansion of
// bounded repetitions before anything is built, moves likewise, and groups
// nested inside each other.
inline constexpr uint64_t kMaxStates = 65536;
inline constexpr uint64_t kMaxTransitions = 262144;
inline constexpr int kMaxGroupDepth = 1000;
// Longer patterns are too big whatever they hold (a class may be long, but
// not this long), and the parse tree stays small.
inline constexpr size_t kMaxPatternBytes = 1u << 20;
inline constexpr size_t kMaxTreeNodes = 2 * kMaxTransitions;

inline constexpr uint32_t kStartState = 0;
inline constexpr uint32_t kFinalState = 1;

// A class: a 256-bit set tested on single bytes and on the lead byte of a
// double-byte character, plus ranges of 16-bit codes (lead << 8 | trail, or a
// single byte's own value) for double-byte members and ranges.
struct CharClass {
    std::array<uint64_t, 4> bytes{};
    std::vector<std::pair<uint16_t, uint16_t>> codes;
    bool negated = false;

    void add_byte(uint8_t b) { bytes[b >> 6] |= uint64_t(1) << (b & 63); }
    bool has_byte(uint8_t b) const { return (bytes[b >> 6] >> (b & 63)) & 1; }
    // `code` is a single byte (< 0x100) or lead << 8 | trail.
    bool contains(uint32_t code) const {
        uint8_t first = uint8_t(code >= 0x100 ? code >> 8 : code);
        bool hit = has_byte(first);
        for (size_t i = 0; !hit && i < codes.size(); ++i)
            hit = code >= codes[i].first && code <= codes[i].second;
        return hit != negated;
    }
};

enum class MoveKind : uint8_t {
    Empty,
    Char,        // datum: a byte, or lead << 8 | trail
    Class,       // datum: index into Automaton::classes
    GroupStart,  // datum: group number (1 = the first "(")
    GroupEnd,
};

struct Transition {
    MoveKind kind;
    uint32_t datum;
    uint32_t target;
};

struct Automaton {
    // Moves of state s are transitions[first[s] .. first[s + 1]), in the order
    // they are tried.
    std::vector<uint32_t> first;
    std::vector<Transition> transitions;
    std::vector<CharClass> classes;
    // Each class as written (without brackets): the test reference reads them.
    std::vector<std::string> class_texts;
    uint32_t groups = 0;
    bool start_anchored = false;
    bool end_anchored = false;
    // Bytes a match can start with (a lead byte stands for its characters);
    // all bytes when the pattern can match without taking a character.
    CharClass first_bytes;
    // A byte every match contains (-1: none known); searches of subjects
    // without it end at once.
    int required_byte = -1;

    uint32_t state_count() const { return uint32_t(first.size() - 1); }
};

// Compiles a pattern (without its terminator). Pattern errors end the pattern
// where they stand; nullopt only when the pattern is too big or too deep.
std::optional<Automaton> compile(std::string_view pattern);

// A match: byte offsets into the subject. Groups that took no part in the
// successful path are nullopt.
struct Match {
    uint32_t start = 0;
    uint32_t end = 0;
    std::vector<std::optional<std::pair<uint32_t, uint32_t>>> groups;  // group 1 first
};

// How a search went: pairs explored and moves tried (each bounded by the
// state or move count times the subject length + 1), and which matcher ran.
struct MatchStats {
    uint64_t pairs = 0;
    uint64_t steps = 0;
    bool simulated = false;  // the Pike simulation ran (the bitmap was too big)
    bool exhausted = false;  // the working memory bound was reached: no result
};

enum class Strategy { Automatic, Backtrack, Simulate };

// Searches `subject` (up to its first zero byte or its end) from every start
// position in turn. Working memory stays bounded: the visited bitmap of the
// backtracking matcher at most 16 MiB, otherwise the Pike simulation.
std::optional<Match> search(const Automaton& nfa, std::string_view subject, bool ignore_case,
                            MatchStats* stats = nullptr, Strategy strategy = Strategy::Automatic);

// Largest visited bitmap the backtracking matcher builds.
inline constexpr uint64_t kMaxBitmapBytes = 16u << 20;

}  // namespace tob::regex
