// Regular expressions seen from a script: patterns compiled and matched, the
// match pairs read back as addresses into the script's own subject.
// (String escapes such as \136\159 are decimal byte values.)
#include "../../games/demo/tob.h"
#include "check.h"

// Whether `pat` finds `len` bytes at `start` in `subj` (start -1: no match).
int finds(char *pat, char *subj, int nocase, int start, int len)
{
    void *nfa;
    int res;
    int *pairs;
    int n;
    int ok;
    nfa = nfa_compile(pat);
    if (nfa == 0) return 0;
    res = 12345;
    n = rex_match(nfa, subj, &res, nocase);
    if (start < 0) {
        ok = n == 0 && res == 0;
    } else {
        pairs = res;
        ok = n >= 1 && pairs[0] == subj + start && pairs[1] == subj + start + len;
        ok = ok && rex_free(res) == 1;
    }
    nfa_free(nfa);
    return ok;
}

// Group `g` of `pat` in `subj` covers `len` bytes at `start` (both 0: it took no part).
int group(char *pat, char *subj, int g, int start, int len)
{
    void *nfa;
    int res;
    int *pairs;
    int ok;
    nfa = nfa_compile(pat);
    ok = rex_match(nfa, subj, &res, 0) > g;
    if (ok) {
        pairs = res;
        if (start == 0 && len == 0)
            ok = pairs[2 * g] == 0 && pairs[2 * g + 1] == 0;
        else
            ok = pairs[2 * g] == subj + start && pairs[2 * g + 1] == subj + start + len;
        rex_free(res);
    }
    nfa_free(nfa);
    return ok;
}

int main()
{
    void *nfa;
    void *all[33];
    int res;
    int i;
    int n;
    char *subject;

    check(finds("a*?b", "aab", 0, 0, 3), "a*?b on aab");
    subject = "xab";
    nfa = nfa_compile("(a)(b)");
    check(rex_match(nfa, subject, &res, 0) == 3, "(a)(b) returns 3");
    rex_free(res);
    nfa_free(nfa);
    check(group("(a)(b)", "xab", 1, 1, 1) && group("(a)(b)", "xab", 2, 2, 1), "groups of (a)(b)");
    check(finds("^b", "a\nb", 0, 2, 1), "^b on the second line");
    check(finds("a$", "a\r\n", 0, 0, 1), "a$ before CR LF");
    check(finds("a$b", "ab", 0, -1, 0), "$ before more characters never matches");
    check(finds("[^0-9]", "12x", 0, 2, 1), "negated class");
    check(finds("\\d+", "ab12", 0, 2, 2), "\\d+");
    check(finds("AB", "ab", 1, 0, 2) && finds("AB", "ab", 0, -1, 0), "ignore case");
    check(finds("\130\096", "\130\129", 1, -1, 0), "double-byte characters never fold");
    check(finds("a{0,2}", "aa", 0, 0, 2) && finds("a{0,2}?", "aa", 0, 0, 0), "a{0,2} and a{0,2}?");
    check(finds("(a|ab)c", "abc", 0, 0, 3) && group("(a|ab)c", "abc", 1, 0, 2), "(a|ab)c");
    check(group("(ab|a)bc", "abc", 1, 0, 1), "(ab|a)bc");
    check(group("(a)|b", "b", 1, 0, 0), "a group that took no part");
    check(finds("@", "\137\064", 0, -1, 0), "no match inside a double-byte character");
    check(finds("[\136\159]", "\136\160", 0, -1, 0), "a double-byte member matches only itself");
    check(finds(".", "\136\159", 0, 0, 2), ". takes a whole double-byte character");
    check(finds("\\x41{2}", "xAA", 0, 1, 2), "\\x and {m}");
    check(finds("ab[cd", "xab", 0, 1, 2), "an unterminated class ends the pattern");
    check(finds("(a*)*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaac", 0, -1, 0), "(a*)*b ends");
    check(finds("(a|aa)*c", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", 0, -1, 0), "(a|aa)*c ends");
    check(finds("a", "", 0, -1, 0), "an empty subject never matches");

    // 32 automata at most; a free makes room.
    for (i = 0; i < 33; i++) all[i] = nfa_compile("a");
    check(all[31] != 0 && all[32] == 0, "the 33rd nfa_compile returns 0");
    check(nfa_free(all[3]) == 1 && nfa_free(all[3]) == 0, "nfa_free once");
    nfa = nfa_compile("b");
    check(nfa != 0, "a freed slot is used again");
    for (i = 0; i < 32; i++) nfa_free(all[i]);
    nfa_free(nfa);
    check(nfa_compile(0) == 0, "a null pattern");
    check(rex_match(all[0], "a", &res, 0) == 0, "a freed automaton");
    check(rex_free(subject) == 0, "rex_free of another address");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
