// The runtime built-ins seen from a script: strings, formatting, memory,
// math, CRCs and heap blocks, checked through real calls.
#include "../../games/demo/tob.h"
#include "check.h"

int main()
{
    char buf[64];
    char kana[8];
    char *block;
    int r[4];
    float f;

    // strings
    check(strlen("hello") == 5, "strlen");
    strcpy(buf, "ab");
    strcat(buf, "cd");
    check(strcmp(buf, "abcd") == 0, "strcpy and strcat");
    check(strcmp("a", "b") < 0 && strcmp("b", "a") > 0, "strcmp order");
    check(strcmpi("ABC", "abc") == 0, "strcmpi ignores case");
    // katakana a and i, then a letter: two double-byte characters and one more
    strcpy(kana, "\131\065\131\067x");
    check(mbslen(kana) == 3 && strlen(kana) == 5, "mbslen counts double-byte characters once");
    strcut(buf, "abc", 3, 5);
    check(strlen(buf) == 0, "strcut past the end gives an empty string");
    strcut(buf, "abcdef", 2, 3);
    check(strcmp(buf, "cde") == 0, "strcut");
    check(atoi("123") == 123 && atoi("-45") == -45, "atoi");

    // formatting
    sprintf(buf, "%d|%5d|%-3d|%x|%s", 42, 7, 1, 255, "ok");
    check(strcmp(buf, "42|    7|1  |ff|ok") == 0, "sprintf conversions");
    check(sprintf(buf, "%s%s", "\131\065", "z") == 2, "sprintf counts characters");

    // memory
    memset(buf, 'x', 3);
    buf[3] = 0;
    check(strcmp(buf, "xxx") == 0, "memset");
    memcpy(buf + 1, buf, 2);
    check(memcmp(buf, "xxx", 3) == 0, "memcpy within one buffer");
    block = malloc(100);
    check(block != 0, "malloc");
    block[99] = 5;
    check(block[99] == 5 && block[0] == 0, "malloc gives zeroed memory");
    check(free(block) == 1, "free");

    // math
    check(abs(-5) == 5 && abs(5) == 5, "abs");
    check(tsin(512) == 65536 && tcos(0) == 65536 && tsin(0) == 0, "fixed-point sine table");
    f = sqrt(16.0);
    check(f == 4.0, "sqrt on floats");
    srand(1);
    r[0] = rand();
    srand(1);
    check(rand() == r[0], "srand repeats the sequence");

    // CRCs of "123456789"
    check(crc32("123456789", 9) == 0xFC891918, "crc32 check value");
    check(crc16("123456789", 9) == 0xFFFFD64E, "crc16 check value");

    // rectangles
    rc_set(r, 1, 2, 11, 22);
    check(r[0] == 1 && r[3] == 22, "rc_set");
    check(rc_in(r, 5, 5) && !rc_in(r, 11, 5), "rc_in is exclusive on the right");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
