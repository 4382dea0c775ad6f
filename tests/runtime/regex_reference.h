// The test reference for the matcher: the plain recursive walk over the
// automaton, trying moves in list order from every start position, with class
// membership read from each class's text at match time. Captures come from the
// successful path only, start positions step by character, a lead byte before
// the terminator is a byte of its own, and a double-byte class member matches
// only itself. It gives up (unfinished) after `step_cap` steps.
#pragma once

#include <optional>
#include <string_view>

#include "platform/cp932.h"
#include "runtime/regex.h"

namespace tob::regex::reference {

struct Outcome {
    bool finished = true;
    std::optional<Match> match;
};

class Walker {
  public:
    Walker(const Automaton& a, std::string_view subject, bool ignore_case, uint64_t cap)
        : a_(a), s_(subject), icase_(ignore_case), cap_(cap) {
        if (auto z = s_.find('\0'); z != std::string_view::npos) s_ = s_.substr(0, z);
    }

    Outcome run() {
        Outcome out;
        size_t p = 0;
        while (p < s_.size()) {
            caps_.assign(2 * a_.groups, kNone);
            size_t end = 0;
            if (walk(kStartState, p, end, 0)) {
                Match m;
                m.start = uint32_t(p);
                m.end = uint32_t(end);
                for (uint32_t g = 0; g < a_.groups; ++g)
                    if (caps_[2 * g] != kNone && caps_[2 * g + 1] != kNone)
                        m.groups.push_back(
                            std::make_pair(uint32_t(caps_[2 * g]), uint32_t(caps_[2 * g + 1])));
                    else
                        m.groups.push_back(std::nullopt);
                out.match = m;
                return out;
            }
            if (gave_up_) {
                out.finished = false;
                return out;
            }
            if (a_.start_anchored) {
                while (p < s_.size() && !line_break(p)) p += length(p);
                while (p < s_.size() && line_break(p)) ++p;
            } else {
                p += length(p);
            }
        }
        return out;
    }

  private:
    static constexpr size_t kNone = size_t(-1);

    uint8_t at(size_t p) const { return p < s_.size() ? uint8_t(s_[p]) : 0; }
    size_t length(size_t p) const { return is_sjis_lead(at(p)) && at(p + 1) != 0 ? 2 : 1; }
    bool line_break(size_t p) const { return at(p) == '\r' || at(p) == '\n'; }

    bool walk(uint32_t state, size_t p, size_t& end, int depth) {
        if (++steps_ > cap_ || depth > 2000) {
            gave_up_ = true;
            return false;
        }
        if (state == kFinalState) {
            if (a_.end_anchored && at(p) != 0 && !line_break(p)) return false;
            end = p;
            return true;
        }
        for (uint32_t i = a_.first[state]; i < a_.first[state + 1] && !gave_up_; ++i) {
            const Transition& t = a_.transitions[i];
            switch (t.kind) {
                case MoveKind::Empty:
                    if (walk(t.target, p, end, depth + 1)) return true;
                    break;
                case MoveKind::GroupStart:
                case MoveKind::GroupEnd: {
                    size_t slot = 2 * (t.datum - 1) + (t.kind == MoveKind::GroupEnd);
                    size_t old = caps_[slot];
                    caps_[slot] = p;
                    if (walk(t.target, p, end, depth + 1)) return true;
                    caps_[slot] = old;
                    break;
                }
                default: {
                    uint8_t c = at(p);
                    if (c == 0 || (a_.end_anchored && line_break(p))) break;
                    size_t len = length(p);
                    uint32_t code = len == 2 ? uint32_t(c) << 8 | at(p + 1) : c;
                    bool ok;
                    if (t.kind == MoveKind::Class)
                        ok = in_class(a_.class_texts[t.datum], code);
                    else if (len == 2 || t.datum >= 0x100)
                        ok = t.datum == code;
                    else
                        ok = t.datum == c || (icase_ && fold(c) == fold(uint8_t(t.datum)));
                    if (ok && walk(t.target, p + len, end, depth + 1)) return true;
                    break;
                }
            }
        }
        return false;
    }

    static uint8_t fold(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c; }

    // One member of a class text at i: a character (code) or an escape
    // standing for a class (sub).
    struct Item {
        uint32_t code = 0;
        std::string_view sub;
        size_t next = 0;
    };
    static Item item(std::string_view t, size_t i) {
        auto byte = [&](size_t k) { return k < t.size() ? uint8_t(t[k]) : uint8_t(0); };
        Item it;
        auto plain = [&](size_t k) {
            if (is_sjis_lead(byte(k)) && k + 1 < t.size()) {
                it.code = uint32_t(byte(k)) << 8 | byte(k + 1);
                it.next = k + 2;
            } else {
                it.code = byte(k);
                it.next = k + 1;
            }
        };
        if (byte(i) != '\\') {
            plain(i);
            return it;
        }
        uint8_t e = byte(i + 1);
        it.next = i + 2;
        switch (e) {
            case 'd':
                it.sub = "0-9";
                return it;
            case 'D':
                it.sub = "^0-9";
                return it;
            case 's':
                it.sub = "\t\r\n ";
                return it;
            case 'S':
                it.sub = "^\t\r\n ";
                return it;
            case 'w':
                it.sub = "0-9a-zA-Z_";
                return it;
            case 'W':
                it.sub = "^0-9a-zA-Z_";
                return it;
            case 'n':
            case 'N':
                it.code = 10;
                return it;
            case 'r':
            case 'R':
                it.code = 13;
                return it;
            case 't':
            case 'T':
                it.code = 9;
                return it;
            case 'x':
            case 'X': {
                size_t k = i + 2;
                uint32_t v = 0;
                for (int n = 0; n < 2 && k < t.size() && std::isxdigit(byte(k)); ++n, ++k)
                    v = v * 16 + uint32_t(std::isdigit(byte(k)) ? byte(k) - '0'
                                                                : (byte(k) | 0x20) - 'a' + 10);
                it.code = v;
                it.next = k;
                return it;
            }
            default:
                plain(i + 1);
                return it;
        }
    }

    static bool in_class(std::string_view t, uint32_t code) {
        bool neg = !t.empty() && t[0] == '^';
        uint8_t first_byte = uint8_t(code >= 0x100 ? code >> 8 : code);
        size_t i = neg ? 1 : 0;
        while (i < t.size()) {
            Item lo = item(t, i);
            bool hit;
            if (!lo.sub.empty()) {
                hit = in_class(lo.sub, code);
                i = lo.next;
            } else if (lo.next < t.size() && t[lo.next] == '-' && lo.next + 1 < t.size() &&
                       item(t, lo.next + 1).sub.empty()) {
                Item hi = item(t, lo.next + 1);
                if (lo.code < 0x100 && hi.code < 0x100)
                    hit = first_byte >= lo.code && first_byte <= hi.code;
                else
                    hit = code >= lo.code && code <= hi.code;
                i = hi.next;
            } else {
                hit = lo.code < 0x100 ? first_byte == lo.code : code == lo.code;
                i = lo.next;
            }
            if (hit) return !neg;
        }
        return neg;
    }

    const Automaton& a_;
    std::string_view s_;
    bool icase_;
    uint64_t cap_;
    uint64_t steps_ = 0;
    bool gave_up_ = false;
    std::vector<size_t> caps_;
};

inline Outcome search(const Automaton& a, std::string_view subject, bool ignore_case,
                      uint64_t step_cap = 200000) {
    return Walker(a, subject, ignore_case, step_cap).run();
}

}  // namespace tob::regex::reference
