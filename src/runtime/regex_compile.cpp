// Pattern to automaton: a recursive-descent parser builds a tree, the size of
// its expansion is counted before anything is built, and the builder lays out
// states and moves. A pattern error ends the pattern where it stands.
#include <algorithm>

#include "platform/cp932.h"
#include "runtime/regex.h"

namespace tob::regex {
namespace {

enum class NodeKind : uint8_t {
    Char,
    Class,
    LineStart,
    LineEnd,
    Empty,
    Concat,
    Alt,
    Group,
    Repeat
};
enum class RepeatForm : uint8_t { Star, Plus, Optional, Bounded };

struct Node {
    NodeKind kind = NodeKind::Empty;
    uint32_t datum = 0;          // character code, class index or group number
    std::vector<uint32_t> kids;  // parts; the one child of a group or repetition
    RepeatForm form = RepeatForm::Star;
    bool lazy = false;
    bool unbounded = false;     // {m,}
    uint32_t min = 0, max = 0;  // {m,n}
};

// Repetition counts saturate here; anything that large is too big anyway.
constexpr uint32_t kCountLimit = 10'000'000;

bool is_hex(uint8_t c) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}
uint8_t hex_value(uint8_t c) {
    return c <= '9' ? uint8_t(c - '0') : uint8_t((c | 0x20) - 'a' + 10);
}

// The byte set of the class escapes \d \D \s \S \w \W (already complemented
// for the upper-case forms); nullopt for any other letter.
std::optional<CharClass> escape_class(uint8_t e) {
    CharClass c;
    switch (e | 0x20) {
        case 'd':
            for (int b = '0'; b <= '9'; ++b) c.add_byte(uint8_t(b));
            break;
        case 's':
            for (uint8_t b : {'\t', '\r', '\n', ' '}) c.add_byte(b);
            break;
        case 'w':
            for (int b = 0; b < 256; ++b)
                if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                    b == '_')
                    c.add_byte(uint8_t(b));
            break;
        default:
            return std::nullopt;
    }
    if (e >= 'A' && e <= 'Z')
        for (auto& w : c.bytes) w = ~w;
    return c;
}

class Parser {
  public:
    explicit Parser(std::string_view pattern) : p_(pattern), end_(pattern.size()) {}

    // The root node, or nullopt when groups nest too deeply.
    std::optional<uint32_t> parse() {
        uint32_t root = alternation(0);
        if (too_deep_ || too_big_) return std::nullopt;
        return root;
    }
    std::vector<Node>& nodes() { return nodes_; }
    std::vector<CharClass>& classes() { return classes_; }
    std::vector<std::string>& class_texts() { return class_texts_; }
    uint32_t groups() const { return groups_; }

  private:
    bool at_end() const { return pos_ >= end_; }
    uint8_t peek(size_t at) const { return at < end_ ? uint8_t(p_[at]) : 0; }
    // The pattern ends here: everything from `at` on is ignored.
    void truncate(size_t at) { end_ = std::min(end_, at); }

    uint32_t add(Node n) {
        if (nodes_.size() >= kMaxTreeNodes) {
            too_big_ = true;
            truncate(pos_);
        }
        nodes_.push_back(std::move(n));
        return uint32_t(nodes_.size() - 1);
    }
    uint32_t leaf(NodeKind k, uint32_t datum = 0) {
        Node n;
        n.kind = k;
        n.datum = datum;
        return add(std::move(n));
    }
    uint32_t class_node(CharClass c, std::string text) {
        classes_.push_back(std::move(c));
        class_texts_.push_back(std::move(text));
        return leaf(NodeKind::Class, uint32_t(classes_.size() - 1));
    }
    // A character at `at`: a lead byte with a byte after it is one character.
    uint32_t char_at(size_t at, size_t& len) const {
        uint8_t c = peek(at);
        if (is_sjis_lead(c) && at + 1 < end_) {
            len = 2;
            return uint32_t(c) << 8 | peek(at + 1);
        }
        len = 1;
        return c;
    }

    uint32_t alternation(int depth) {
        std::vector<uint32_t> kids{sequence(depth)};
        while (!too_deep_ && !at_end() && p_[pos_] == '|') {
            ++pos_;
            kids.push_back(sequence(depth));
        }
        if (kids.size() == 1) return kids[0];
        Node n;
        n.kind = NodeKind::Alt;
        n.kids = std::move(kids);
        return add(std::move(n));
    }

    uint32_t sequence(int depth) {
        std::vector<uint32_t> parts;
        while (!too_deep_ && !at_end() && p_[pos_] != '|' && p_[pos_] != ')') {
            auto a = atom(depth);
            if (!a) break;
            parts.push_back(repetition(*a));
        }
        if (parts.empty()) return leaf(NodeKind::Empty);
        if (parts.size() == 1) return parts[0];
        Node n;
        n.kind = NodeKind::Concat;
        n.kids = std::move(parts);
        return add(std::move(n));
    }

    std::optional<uint32_t> atom(int depth) {
        size_t start = pos_;
        uint8_t c = uint8_t(p_[pos_]);
        switch (c) {
            case '(': {
                if (depth + 1 > kMaxGroupDepth) {
                    too_deep_ = true;
                    return std::nullopt;
                }
                ++pos_;
                Node n;
                n.kind = NodeKind::Group;
                n.datum = ++groups_;
                n.kids.push_back(alternation(depth + 1));
                if (!at_end()) ++pos_;  // the token after the alternation is its ")"
                return add(std::move(n));
            }
            case '*':
            case '+':
            case '?':
            case '{':
                truncate(start);  // nothing to repeat
                return std::nullopt;
            case '.': {
                ++pos_;
                CharClass any;
                for (int b = 1; b < 256; ++b) any.add_byte(uint8_t(b));
                return class_node(std::move(any), "\\x01-\\xff");
            }
            case '[':
                return bracket();
            case '^':
                ++pos_;
                return leaf(NodeKind::LineStart);
            case '$':
                ++pos_;
                return leaf(NodeKind::LineEnd);
            case '\\': {
                if (pos_ + 1 >= end_) {
                    truncate(start);
                    return std::nullopt;
                }
                uint8_t e = peek(pos_ + 1);
                if (auto cls = escape_class(e)) {
                    pos_ += 2;
                    return class_node(std::move(*cls), std::string("\\") + char(e));
                }
                size_t len = 0;
                uint32_t code = escaped_char(pos_ + 1, len);
                pos_ += 1 + len;
                return leaf(NodeKind::Char, code);
            }
            default: {
                size_t len = 0;
                uint32_t code = char_at(pos_, len);
                pos_ += len;
                return leaf(NodeKind::Char, code);
            }
        }
    }

    // The character a backslash at `at - 1` stands for (not a class escape);
    // `len` counts the bytes after the backslash.
    uint32_t escaped_char(size_t at, size_t& len) const {
        uint8_t e = peek(at);
        switch (e | 0x20) {
            case 'n':
                len = 1;
                return '\n';
            case 'r':
                len = 1;
                return '\r';
            case 't':
                len = 1;
                return '\t';
            case 'x': {
                uint32_t v = 0;
                len = 1;
                while (len < 3 && at + len < end_ && is_hex(peek(at + len)))
                    v = v * 16 + hex_value(peek(at + len++));
                return v;
            }
            default:
                return char_at(at, len);
        }
    }

    // One member of a class at `at`: a character, or a class escape.
    struct Member {
        bool is_class = false;
        uint32_t code = 0;
        CharClass cls;
        size_t next = 0;
    };
    std::optional<Member> member(size_t at) const {
        Member m;
        if (peek(at) == '\\') {
            if (at + 1 >= end_) return std::nullopt;
            if (auto cls = escape_class(peek(at + 1))) {
                m.is_class = true;
                m.cls = std::move(*cls);
                m.next = at + 2;
                return m;
            }
            size_t len = 0;
            m.code = escaped_char(at + 1, len);
            m.next = at + 1 + len;
            return m;
        }
        size_t len = 0;
        m.code = char_at(at, len);
        m.next = at + len;
        return m;
    }

    static void add_range(CharClass& c, uint32_t lo, uint32_t hi) {
        if (lo < 0x100 && hi < 0x100) {
            for (uint32_t b = lo; b <= hi; ++b) c.add_byte(uint8_t(b));
        } else if (lo <= hi) {
            c.codes.emplace_back(uint16_t(lo), uint16_t(hi));
        }
    }
    static void add_code(CharClass& c, uint32_t code) {
        if (code < 0x100)
            c.add_byte(uint8_t(code));
        else
            c.codes.emplace_back(uint16_t(code), uint16_t(code));
    }

    std::optional<uint32_t> bracket() {
        size_t start = pos_;
        size_t i = pos_ + 1;
        CharClass c;
        if (peek(i) == '^' && i < end_) {
            c.negated = true;
            ++i;
        }
        bool first = true;
        for (;;) {
            if (i >= end_) {
                truncate(start);  // unterminated
                return std::nullopt;
            }
            if (p_[i] == ']' && !first) break;
            first = false;
            auto m = member(i);
            if (!m) {
                truncate(start);
                return std::nullopt;
            }
            if (m->is_class) {
                for (size_t w = 0; w < 4; ++w) c.bytes[w] |= m->cls.bytes[w];
                i = m->next;
                continue;
            }
            size_t dash = m->next;
            if (peek(dash) == '-' && dash < end_ && dash + 1 < end_ && peek(dash + 1) != ']') {
                auto hi = member(dash + 1);
                if (!hi) {
                    truncate(start);
                    return std::nullopt;
                }
                if (!hi->is_class) {
                    add_range(c, m->code, hi->code);
                    i = hi->next;
                    continue;
                }
                // "a-\d": the dash is a member of its own.
                add_code(c, m->code);
                add_code(c, '-');
                i = dash + 1;
                continue;
            }
            add_code(c, m->code);
            i = m->next;
        }
        std::string text(p_.substr(start + 1, i - start - 1));
        pos_ = i + 1;
        return class_node(std::move(c), std::move(text));
    }

    // A number in braces; missing digits count as 0. Saturates.
    uint32_t number(size_t& at, bool& any) const {
        uint32_t v = 0;
        any = false;
        while (at < end_ && peek(at) >= '0' && peek(at) <= '9') {
            v = std::min<uint32_t>(kCountLimit, v * 10 + (peek(at) - '0'));
            ++at;
            any = true;
        }
        return v;
    }

    uint32_t repetition(uint32_t atom) {
        if (at_end()) return atom;
        Node n;
        n.kind = NodeKind::Repeat;
        n.kids.push_back(atom);
        switch (p_[pos_]) {
            case '*':
                n.form = RepeatForm::Star;
                ++pos_;
                break;
            case '+':
                n.form = RepeatForm::Plus;
                ++pos_;
                break;
            case '?':
                n.form = RepeatForm::Optional;
                ++pos_;
                break;
            case '{': {
                size_t at = pos_ + 1;
                bool any = false;
                n.form = RepeatForm::Bounded;
                n.min = number(at, any);
                n.max = n.min;
                if (peek(at) == ',' && at < end_) {
                    ++at;
                    n.max = number(at, any);
                    n.unbounded = !any;
                }
                if (peek(at) != '}' || at >= end_) {
                    truncate(pos_);  // not {m}, {m,} or {m,n}
                    return atom;
                }
                n.max = std::max(n.max, n.min);
                pos_ = at + 1;
                break;
            }
            default:
                return atom;
        }
        if (!at_end() && p_[pos_] == '?') {
            n.lazy = true;
            ++pos_;
        }
        return add(std::move(n));
    }

    std::string_view p_;
    size_t pos_ = 0;
    size_t end_;
    bool too_deep_ = false;
    bool too_big_ = false;
    uint32_t groups_ = 0;
    std::vector<Node> nodes_;
    std::vector<CharClass> classes_;
    std::vector<std::string> class_texts_;
};

// --- size of the expansion, counted before building ---

constexpr uint64_t kSaturated = uint64_t(1) << 50;
uint64_t sat_add(uint64_t a, uint64_t b) {
    return std::min(kSaturated, a + b);
}
uint64_t sat_mul(uint64_t a, uint64_t b) {
    if (a == 0 || b == 0) return 0;
    return a > kSaturated / b ? kSaturated : std::min(kSaturated, a * b);
}

struct Cost {
    uint64_t states = 0;
    uint64_t moves = 0;
};

Cost cost(const std::vector<Node>& nodes, uint32_t id) {
    const Node& n = nodes[id];
    switch (n.kind) {
        case NodeKind::Concat:
        case NodeKind::Alt: {
            Cost sum;
            for (uint32_t k : n.kids) {
                Cost c = cost(nodes, k);
                sum.states = sat_add(sum.states, c.states);
                sum.moves = sat_add(sum.moves, c.moves);
            }
            if (n.kind == NodeKind::Concat) sum.states = sat_add(sum.states, n.kids.size() - 1);
            return sum;
        }
        case NodeKind::Group: {
            Cost c = cost(nodes, n.kids[0]);
            return {sat_add(c.states, 2), sat_add(c.moves, 2)};
        }
        case NodeKind::Repeat: {
            Cost c = cost(nodes, n.kids[0]);
            switch (n.form) {
                case RepeatForm::Star:
                    return {sat_add(c.states, 2), sat_add(c.moves, 3)};
                case RepeatForm::Plus:
                    return {sat_add(sat_mul(c.states, 2), 3), sat_add(sat_mul(c.moves, 2), 3)};
                case RepeatForm::Optional:
                    return {c.states, sat_add(c.moves, 1)};
                case RepeatForm::Bounded: {
                    uint64_t optional = n.unbounded ? 1 : n.max - n.min;
                    uint64_t parts = uint64_t(n.min) + optional;
                    Cost body{0, 1};
                    if (parts > 0) {
                        body.states = sat_add(sat_mul(n.min, c.states), parts - 1);
                        body.moves = sat_mul(n.min, c.moves);
                        if (n.unbounded) {
                            body.states = sat_add(body.states, sat_add(c.states, 2));
                            body.moves = sat_add(body.moves, sat_add(c.moves, 3));
                        } else {
                            body.states = sat_add(body.states, sat_mul(optional, c.states));
                            body.moves =
                                sat_add(body.moves, sat_mul(optional, sat_add(c.moves, 1)));
                        }
                    }
                    if (n.min == 0) body.moves = sat_add(body.moves, 1);
                    return body;
                }
            }
            return c;
        }
        default:
            return {0, 1};
    }
}

// --- building ---

class Builder {
  public:
    Builder(const std::vector<Node>& nodes, Automaton& out) : nodes_(nodes), out_(out) {
        moves_.resize(2);  // the start and final states
    }

    void build(uint32_t id, uint32_t from, uint32_t to) {
        const Node& n = nodes_[id];
        switch (n.kind) {
            case NodeKind::Char:
                add(from, to, MoveKind::Char, n.datum);
                break;
            case NodeKind::Class:
                add(from, to, MoveKind::Class, n.datum);
                break;
            case NodeKind::LineStart:
                // Only from the start state; anywhere else the path never matches.
                if (from == kStartState) {
                    out_.start_anchored = true;
                    add(from, to, MoveKind::Empty, 0);
                }
                break;
            case NodeKind::LineEnd:
                if (to == kFinalState) {
                    out_.end_anchored = true;
                    add(from, to, MoveKind::Empty, 0);
                }
                break;
            case NodeKind::Empty:
                add(from, to, MoveKind::Empty, 0);
                break;
            case NodeKind::Concat: {
                uint32_t cur = from;
                for (size_t i = 0; i < n.kids.size(); ++i) {
                    uint32_t next = i + 1 == n.kids.size() ? to : new_state();
                    build(n.kids[i], cur, next);
                    cur = next;
                }
                break;
            }
            case NodeKind::Alt:
                // Moves are put at the front of a list: building the last
                // alternative first makes the first one tried first.
                for (size_t i = n.kids.size(); i-- > 0;) build(n.kids[i], from, to);
                break;
            case NodeKind::Group: {
                uint32_t open = new_state();
                uint32_t close = new_state();
                add(from, open, MoveKind::GroupStart, n.datum);
                build(n.kids[0], open, close);
                add(close, to, MoveKind::GroupEnd, n.datum);
                break;
            }
            case NodeKind::Repeat:
                repeat(n, from, to);
                break;
        }
    }

    void finish() {
        out_.first.assign(moves_.size() + 1, 0);
        size_t total = 0;
        for (auto& m : moves_) total += m.size();
        out_.transitions.reserve(total);
        for (size_t s = 0; s < moves_.size(); ++s) {
            out_.first[s] = uint32_t(out_.transitions.size());
            // The last move put on a list is the first one tried.
            out_.transitions.insert(out_.transitions.end(), moves_[s].rbegin(), moves_[s].rend());
        }
        out_.first[moves_.size()] = uint32_t(out_.transitions.size());
        bypass_empty_states();
    }

  private:
    // A state whose only move is a plain empty move adds nothing but a step:
    // moves into it go straight on to where it leads. (Whoever reaches it
    // reaches its target at the same position, so the first path is the same.)
    void bypass_empty_states() {
        const uint32_t count = out_.state_count();
        auto only_empty = [&](uint32_t s) {
            return s != kStartState && s != kFinalState && out_.first[s + 1] - out_.first[s] == 1 &&
                   out_.transitions[out_.first[s]].kind == MoveKind::Empty;
        };
        std::vector<uint32_t> to(count);
        for (uint32_t s = 0; s < count; ++s) {
            uint32_t t = s;
            for (uint32_t hops = 0; only_empty(t) && hops < count; ++hops)
                t = out_.transitions[out_.first[t]].target;
            to[s] = only_empty(t) ? s : t;  // a ring of such states stays as it is
        }
        for (Transition& t : out_.transitions) t.target = to[t.target];
    }

    uint32_t new_state() {
        moves_.emplace_back();
        return uint32_t(moves_.size() - 1);
    }
    void add(uint32_t from, uint32_t to, MoveKind kind, uint32_t datum) {
        moves_[from].push_back({kind, datum, to});
    }

    void star(uint32_t x, uint32_t from, uint32_t to, bool lazy) {
        uint32_t loop = new_state();
        uint32_t back = new_state();
        add(from, loop, MoveKind::Empty, 0);
        if (lazy) {
            build(x, loop, back);
            add(loop, to, MoveKind::Empty, 0);  // leaving is tried first
        } else {
            add(loop, to, MoveKind::Empty, 0);
            build(x, loop, back);  // the child is tried first
        }
        add(back, loop, MoveKind::Empty, 0);
    }
    // x or empty: the greedy form prefers x, the lazy form empty.
    template <typename Body>
    void optional(Body body, uint32_t from, uint32_t to, bool lazy) {
        if (lazy) {
            body(from, to);
            add(from, to, MoveKind::Empty, 0);
        } else {
            add(from, to, MoveKind::Empty, 0);
            body(from, to);
        }
    }

    void repeat(const Node& n, uint32_t from, uint32_t to) {
        uint32_t x = n.kids[0];
        auto child = [&](uint32_t f, uint32_t t) { build(x, f, t); };
        switch (n.form) {
            case RepeatForm::Star:
                star(x, from, to, n.lazy);
                return;
            case RepeatForm::Plus: {
                uint32_t mid = new_state();
                build(x, from, mid);
                star(x, mid, to, n.lazy);
                return;
            }
            case RepeatForm::Optional:
                optional(child, from, to, n.lazy);
                return;
            case RepeatForm::Bounded:
                break;
        }
        // m copies, then n - m optional copies (or a star), each optional
        // part preferring x in the greedy form; with m = 0 the whole is
        // optional too.
        uint64_t parts = uint64_t(n.min) + (n.unbounded ? 1 : n.max - n.min);
        auto body = [&](uint32_t f, uint32_t t) {
            if (parts == 0) {
                add(f, t, MoveKind::Empty, 0);
                return;
            }
            uint32_t cur = f;
            for (uint64_t i = 0; i < parts; ++i) {
                uint32_t next = i + 1 == parts ? t : new_state();
                if (i < n.min)
                    build(x, cur, next);
                else if (n.unbounded)
                    star(x, cur, next, n.lazy);
                else
                    optional(child, cur, next, n.lazy);
                cur = next;
            }
        };
        if (n.min == 0)
            optional(body, from, to, n.lazy);
        else
            body(from, to);
    }

    const std::vector<Node>& nodes_;
    Automaton& out_;
    std::vector<std::vector<Transition>> moves_;
};

// States reachable from the start without taking a character, or through
// every move except characters equal to `without` (when >= 0).
std::vector<bool> reachable(const Automaton& a, bool empty_only, int without) {
    std::vector<bool> seen(a.state_count());
    std::vector<uint32_t> todo{kStartState};
    seen[kStartState] = true;
    while (!todo.empty()) {
        uint32_t s = todo.back();
        todo.pop_back();
        for (uint32_t i = a.first[s]; i < a.first[s + 1]; ++i) {
            const Transition& t = a.transitions[i];
            bool consumes = t.kind == MoveKind::Char || t.kind == MoveKind::Class;
            if ((empty_only && consumes) || (t.kind == MoveKind::Char && int(t.datum) == without) ||
                seen[t.target])
                continue;
            seen[t.target] = true;
            todo.push_back(t.target);
        }
    }
    return seen;
}

// What lets a search skip work: the bytes a match can start with and a byte
// every match must contain.
void add_search_hints(Automaton& a) {
    std::vector<bool> closure = reachable(a, true, -1);
    CharClass& first = a.first_bytes;
    if (closure[kFinalState]) {
        for (auto& w : first.bytes) w = ~uint64_t(0);
    } else {
        for (uint32_t s = 0; s < a.state_count(); ++s) {
            if (!closure[s]) continue;
            for (uint32_t i = a.first[s]; i < a.first[s + 1]; ++i) {
                const Transition& t = a.transitions[i];
                if (t.kind == MoveKind::Char) {
                    first.add_byte(uint8_t(t.datum >= 0x100 ? t.datum >> 8 : t.datum));
                } else if (t.kind == MoveKind::Class) {
                    for (int b = 1; b < 256; ++b)
                        if (is_sjis_lead(uint8_t(b)) || a.classes[t.datum].contains(uint32_t(b)))
                            first.add_byte(uint8_t(b));
                }
            }
        }
    }
    // A few plain characters are tried as the required byte (bounded work).
    if (a.transitions.size() > 4096) return;
    std::vector<uint32_t> tried;
    for (const Transition& t : a.transitions) {
        if (t.kind != MoveKind::Char || t.datum == 0 || t.datum >= 0x80 ||
            std::find(tried.begin(), tried.end(), t.datum) != tried.end())
            continue;
        if (tried.size() == 8) break;
        tried.push_back(t.datum);
        if (!reachable(a, false, int(t.datum))[kFinalState]) {
            a.required_byte = int(t.datum);
            return;
        }
    }
}

}  // namespace

std::optional<Automaton> compile(std::string_view pattern) {
    if (pattern.size() > kMaxPatternBytes) return std::nullopt;
    Parser parser(pattern);
    auto root = parser.parse();
    if (!root) return std::nullopt;
    Cost c = cost(parser.nodes(), *root);
    if (c.states + 2 > kMaxStates || c.moves > kMaxTransitions) return std::nullopt;
    Automaton a;
    a.classes = std::move(parser.classes());
    a.class_texts = std::move(parser.class_texts());
    a.groups = parser.groups();
    Builder b(parser.nodes(), a);
    b.build(*root, kStartState, kFinalState);
    b.finish();
    add_search_hints(a);
    return a;
}

}  // namespace tob::regex
