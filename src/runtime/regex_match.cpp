// Searching with a compiled automaton. The result is the first successful path
// in the order the moves are tried, start positions in order; a (state,
// position) pair is explored at most once per search, which bounds the work by
// moves x (subject length + 1) and makes empty loops end. Two matchers give
// the same answer: backtracking with an explicit stack and a visited bitmap,
// and, when that bitmap would be too big, a Pike simulation whose threads are
// kept in priority order.
#include <algorithm>
#include <cstring>

#include "platform/cp932.h"
#include "runtime/regex.h"

namespace tob::regex {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
// Deepest backtracking path before the search moves to the simulation.
constexpr size_t kMaxFrames = size_t(1) << 22;
// Capture words the simulation may hold at once (64 MiB).
constexpr size_t kMaxCaptureWords = size_t(16) << 20;

struct Subject {
    const uint8_t* p;
    uint32_t n;  // up to the first zero byte
    bool end_anchored;

    // The character at `pos` (< n): a byte, or lead << 8 | trail.
    uint32_t code(uint32_t pos, uint32_t& len) const {
        uint8_t c = p[pos];
        if (is_sjis_lead(c) && pos + 1 < n) {
            len = 2;
            return uint32_t(c) << 8 | p[pos + 1];
        }
        len = 1;
        return c;
    }
    bool line_break(uint32_t pos) const { return p[pos] == '\r' || p[pos] == '\n'; }
    // The final state accepts only before the end or a line break when "$" was used.
    bool accepts(uint32_t pos) const { return !end_anchored || pos == n || line_break(pos); }
};

uint8_t fold(uint32_t c) {
    return uint8_t(c >= 'A' && c <= 'Z' ? c + 32 : c);
}

bool takes(const Automaton& a, const Transition& t, uint32_t code, bool ignore_case) {
    if (t.kind == MoveKind::Class) return a.classes[t.datum].contains(code);
    if (t.datum == code) return true;
    return ignore_case && code < 0x100 && t.datum < 0x100 && fold(code) == fold(t.datum);
}

uint32_t capture_slot(const Transition& t) {
    return 2 * (t.datum - 1) + (t.kind == MoveKind::GroupEnd ? 1 : 0);
}

// Start positions: every character, or with "^" every line start.
uint32_t next_start(const Subject& s, bool start_anchored, uint32_t pos) {
    uint32_t len = 1;
    if (!start_anchored) {
        s.code(pos, len);
        return pos + len;
    }
    while (pos < s.n && !s.line_break(pos)) {
        s.code(pos, len);
        pos += len;
    }
    while (pos < s.n && s.line_break(pos)) ++pos;
    return pos;
}

// The first start position from `pos` on whose byte can begin a match.
uint32_t skip_starts(const Automaton& a, const Subject& s, uint32_t pos, bool ignore_case) {
    if (!a.start_anchored && !ignore_case) {
        while (pos < s.n && !a.first_bytes.has_byte(s.p[pos]))
            pos += is_sjis_lead(s.p[pos]) && pos + 1 < s.n ? 2 : 1;
        return pos;
    }
    while (pos < s.n) {
        uint8_t c = s.p[pos];
        if (a.first_bytes.has_byte(c)) break;
        if (ignore_case && ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') &&
            a.first_bytes.has_byte(c ^ 0x20))
            break;
        pos = next_start(s, a.start_anchored, pos);
    }
    return pos;
}

Match make_match(uint32_t start, uint32_t end, const uint32_t* caps, uint32_t groups) {
    Match m;
    m.start = start;
    m.end = end;
    m.groups.resize(groups);
    for (uint32_t g = 0; g < groups; ++g)
        if (caps[2 * g] != kNone && caps[2 * g + 1] != kNone)
            m.groups[g] = std::make_pair(caps[2 * g], caps[2 * g + 1]);
    return m;
}

enum class Outcome { Found, NotFound, GaveUp };

// --- memoised backtracking ---

struct Frame {
    uint32_t state, pos, next, undo;
};
struct Undo {
    uint32_t slot, old;
};

Outcome backtrack(const Automaton& a, const Subject& s, bool ignore_case, MatchStats& stats,
                  Match& out) {
    struct Scratch {
        std::vector<uint64_t> visited;
        std::vector<Frame> stack;
        std::vector<Undo> undo;
        std::vector<uint32_t> caps;
    };
    thread_local Scratch scratch;
    std::vector<uint64_t>& visited = scratch.visited;
    std::vector<Frame>& stack = scratch.stack;
    std::vector<Undo>& undo = scratch.undo;
    std::vector<uint32_t>& caps = scratch.caps;
    // Counted in locals: the stats struct could alias the scratch vectors.
    uint64_t pairs = 0, steps = 0;
    auto done = [&](Outcome o) {
        stats.pairs += pairs;
        stats.steps += steps;
        // A giant search leaves no giant buffers behind in the thread.
        if (visited.capacity() > (size_t(1) << 17)) visited = {};
        if (stack.capacity() > (size_t(1) << 16)) stack = {};
        if (undo.capacity() > (size_t(1) << 16)) undo = {};
        return o;
    };
    const uint64_t width = uint64_t(s.n) + 1;
    visited.assign(size_t((a.state_count() * width + 63) / 64), 0);
    caps.assign(2 * size_t(a.groups), kNone);
    stack.clear();
    undo.clear();
    auto test_and_set = [&](uint32_t state, uint32_t pos) {
        uint64_t bit = state * width + pos;
        uint64_t& w = visited[size_t(bit >> 6)];
        uint64_t m = uint64_t(1) << (bit & 63);
        if (w & m) return true;
        w |= m;
        ++pairs;
        return false;
    };
    auto pop = [&] {
        uint32_t mark = stack.back().undo;
        stack.pop_back();
        for (; undo.size() > mark; undo.pop_back()) caps[undo.back().slot] = undo.back().old;
    };
    const Transition* moves = a.transitions.data();
    for (uint32_t start = skip_starts(a, s, 0, ignore_case); start < s.n;
         start = skip_starts(a, s, next_start(s, a.start_anchored, start), ignore_case)) {
        if (test_and_set(kStartState, start)) continue;
        stack.push_back({kStartState, start, a.first[kStartState], 0});
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.state == kFinalState) {
                if (s.accepts(f.pos)) {
                    out = make_match(start, f.pos, caps.data(), a.groups);
                    return done(Outcome::Found);
                }
                pop();
                continue;
            }
            if (f.next == a.first[f.state + 1]) {
                pop();
                continue;
            }
            const Transition& t = moves[f.next++];
            ++steps;
            uint32_t pos = f.pos;
            uint32_t to = pos;
            if (t.kind == MoveKind::Char || t.kind == MoveKind::Class) {
                if (pos >= s.n || (s.end_anchored && s.line_break(pos))) continue;
                uint32_t len = 1;
                uint32_t code = s.code(pos, len);
                if (!takes(a, t, code, ignore_case)) continue;
                to = pos + len;
            }
            if (test_and_set(t.target, to)) continue;
            uint32_t mark = uint32_t(undo.size());
            if (t.kind == MoveKind::GroupStart || t.kind == MoveKind::GroupEnd) {
                uint32_t slot = capture_slot(t);
                undo.push_back({slot, caps[slot]});
                caps[slot] = pos;
            }
            stack.push_back({t.target, to, a.first[t.target], mark});
            if (stack.size() > kMaxFrames) return done(Outcome::GaveUp);
        }
    }
    return done(Outcome::NotFound);
}

// --- Pike simulation ---

// Capture arrays shared copy-on-write between threads: word 0 is the start
// position, then start and end of each group.
class CapturePool {
  public:
    explicit CapturePool(uint32_t groups) : width_(1 + 2 * groups) {}

    uint32_t fresh(uint32_t start) {
        uint32_t h = take();
        if (h == kNone) return h;
        uint32_t* w = words(h);
        std::fill(w, w + width_, kNone);
        w[0] = start;
        return h;
    }
    uint32_t retain(uint32_t h) {
        ++refs_[h];
        return h;
    }
    void release(uint32_t h) {
        if (--refs_[h] == 0) free_.push_back(h);
    }
    // Consumes one reference to `h`; the result holds slot `slot` = `value`.
    uint32_t set(uint32_t h, uint32_t slot, uint32_t value) {
        if (refs_[h] > 1) {
            uint32_t copy = take();
            if (copy == kNone) return kNone;
            std::copy(words(h), words(h) + width_, words(copy));
            release(h);
            h = copy;
        }
        words(h)[slot] = value;
        return h;
    }
    const uint32_t* get(uint32_t h) const { return data_.data() + size_t(h) * width_; }

  private:
    uint32_t* words(uint32_t h) { return data_.data() + size_t(h) * width_; }
    uint32_t take() {
        if (!free_.empty()) {
            uint32_t h = free_.back();
            free_.pop_back();
            refs_[h] = 1;
            return h;
        }
        if (data_.size() + width_ > kMaxCaptureWords) return kNone;
        data_.resize(data_.size() + width_);
        refs_.push_back(1);
        return uint32_t(refs_.size() - 1);
    }

    size_t width_;
    std::vector<uint32_t> data_;
    std::vector<uint32_t> refs_;
    std::vector<uint32_t> free_;
};

class Simulation {
  public:
    Simulation(const Automaton& a, const Subject& s, bool ignore_case, MatchStats& stats)
        : a_(a),
          s_(s),
          ignore_case_(ignore_case),
          stats_(stats),
          pool_(a.groups),
          mark_(a.state_count(), kNone) {}

    Outcome run(Match& out) {
        uint32_t pos = 0;
        uint32_t start = skip_starts(a_, s_, 0, ignore_case_);  // where the next start thread joins
        for (;;) {
            if (!matched_ && pos == start && pos < s_.n) {
                uint32_t h = pool_.fresh(pos);
                if (h == kNone || closure(kStartState, h, pos, cur_) == Outcome::GaveUp)
                    return Outcome::GaveUp;
                start = skip_starts(a_, s_, next_start(s_, a_.start_anchored, pos), ignore_case_);
            }
            if (cur_.empty()) {
                if (matched_ || start >= s_.n) break;
                pos = start;
                ++gen_;
                continue;
            }
            if (pos >= s_.n) break;
            uint32_t len = 1;
            uint32_t code = s_.code(pos, len);
            bool refused = s_.end_anchored && s_.line_break(pos);
            ++gen_;
            next_.clear();
            bool cut = false;
            for (const Pending& p : cur_) {
                const Transition& t = a_.transitions[p.move];
                if (cut || refused || !takes(a_, t, code, ignore_case_)) {
                    pool_.release(p.caps);
                    continue;
                }
                size_t before = matches_;
                if (closure(t.target, p.caps, pos + len, next_) == Outcome::GaveUp)
                    return Outcome::GaveUp;
                cut = matches_ != before;  // threads after this one lose
            }
            std::swap(cur_, next_);
            pos += len;
        }
        if (!matched_) return Outcome::NotFound;
        out = make_match(best_[0], best_end_, best_.data() + 1, a_.groups);
        return Outcome::Found;
    }

  private:
    struct Pending {
        uint32_t move;  // a character or class move waiting for the next character
        uint32_t caps;
    };
    struct Item {
        uint32_t what;  // a state to visit, or a move to queue
        uint32_t caps;
        uint32_t slot;  // capture slot the visit records first, or kNone
        bool queue;
    };

    // Follows empty moves from `state` at `pos` depth first in priority order,
    // queueing character moves into `out`. Reaching the final state where it
    // accepts records a match and drops everything of lower priority.
    Outcome closure(uint32_t state, uint32_t caps, uint32_t pos, std::vector<Pending>& out) {
        stack_.clear();
        stack_.push_back({state, caps, kNone, false});
        while (!stack_.empty()) {
            Item it = stack_.back();
            stack_.pop_back();
            if (it.queue) {
                out.push_back({it.what, it.caps});
                continue;
            }
            if (mark_[it.what] == gen_) {
                pool_.release(it.caps);
                continue;
            }
            mark_[it.what] = gen_;
            ++stats_.pairs;
            uint32_t h = it.caps;
            if (it.slot != kNone && (h = pool_.set(h, it.slot, pos)) == kNone)
                return Outcome::GaveUp;
            if (it.what == kFinalState) {
                if (s_.accepts(pos)) {
                    const uint32_t* w = pool_.get(h);
                    best_.assign(w, w + 1 + 2 * a_.groups);
                    best_end_ = pos;
                    matched_ = true;
                    ++matches_;
                    pool_.release(h);
                    for (const Item& rest : stack_) pool_.release(rest.caps);
                    stack_.clear();
                    return Outcome::Found;
                }
                pool_.release(h);
                continue;
            }
            for (uint32_t m = a_.first[it.what + 1]; m-- > a_.first[it.what];) {
                const Transition& t = a_.transitions[m];
                ++stats_.steps;
                switch (t.kind) {
                    case MoveKind::Empty:
                        stack_.push_back({t.target, pool_.retain(h), kNone, false});
                        break;
                    case MoveKind::GroupStart:
                    case MoveKind::GroupEnd:
                        stack_.push_back({t.target, pool_.retain(h), 1 + capture_slot(t), false});
                        break;
                    default:
                        stack_.push_back({m, pool_.retain(h), kNone, true});
                        break;
                }
            }
            pool_.release(h);
        }
        return Outcome::NotFound;
    }

    const Automaton& a_;
    const Subject& s_;
    bool ignore_case_;
    MatchStats& stats_;
    CapturePool pool_;
    std::vector<uint32_t> mark_;
    uint32_t gen_ = 0;
    std::vector<Pending> cur_, next_;
    std::vector<Item> stack_;
    bool matched_ = false;
    size_t matches_ = 0;
    std::vector<uint32_t> best_;
    uint32_t best_end_ = 0;
};

}  // namespace

std::optional<Match> search(const Automaton& a, std::string_view subject, bool ignore_case,
                            MatchStats* stats, Strategy strategy) {
    MatchStats local;
    MatchStats& st = stats ? *stats : local;
    st = {};
    size_t n = std::min<size_t>(subject.size(), 0x7FFFFFFE);
    if (const void* z = std::memchr(subject.data(), 0, n))
        n = size_t(static_cast<const char*>(z) - subject.data());
    Subject s{reinterpret_cast<const uint8_t*>(subject.data()), uint32_t(n), a.end_anchored};
    if (a.required_byte >= 0) {
        uint8_t c = uint8_t(a.required_byte);
        bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
        if (!std::memchr(s.p, c, n) && !(ignore_case && letter && std::memchr(s.p, c ^ 0x20, n)))
            return std::nullopt;
    }
    Match m;
    uint64_t bitmap_bytes = (uint64_t(a.state_count()) * (n + 1) + 63) / 64 * 8;
    if (strategy == Strategy::Backtrack ||
        (strategy == Strategy::Automatic && bitmap_bytes <= kMaxBitmapBytes)) {
        Outcome o = backtrack(a, s, ignore_case, st, m);
        if (o == Outcome::Found) return m;
        if (o == Outcome::NotFound) return std::nullopt;
        st.pairs = st.steps = 0;
    }
    st.simulated = true;
    Outcome o = Simulation(a, s, ignore_case, st).run(m);
    if (o == Outcome::GaveUp) st.exhausted = true;
    if (o == Outcome::Found) return m;
    return std::nullopt;
}

}  // namespace tob::regex
