// Settings, folders and files seen from a script. Run from a copy in the
// build folder: everything it writes lands next to that copy.
#include "../../games/demo/tob.h"

int passed;
int failed;

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

int main()
{
    char buf[300];
    char rec[320];
    char t[16];
    char cur[260];
    void *fp;
    int h;
    int n;
    int dirs;
    int files;
    short *st;

    // settings
    check(ini_geti("Test", "Count", 5) == 5, "a missing key gives the default");
    check(ini_seti("Test", "Count", 42) != 0, "ini_seti");
    check(ini_geti("test", "COUNT", 0) == 42, "names ignore case");
    check(ini_sets("Test", "Name", "hello") != 0, "ini_sets");
    n = ini_gets("Test", "Name", "x", buf, 300);
    check(n == 5 && strcmp(buf, "hello") == 0, "ini_gets");
    n = ini_gets("Test", "Name", "x", buf, 3);
    check(n == 2 && strcmp(buf, "he") == 0, "ini_gets truncates");
    n = ini_gets("Test", 0, "", buf, 300);
    check(n == 11 && strcmp(buf, "Count") == 0 && strcmp(buf + 6, "Name") == 0 && buf[11] == 0,
          "a null key lists the keys");
    check(ini_sets("Test", "Name", 0) != 0, "a null text deletes the key");
    n = ini_gets("Test", "Name", "gone", buf, 300);
    check(n == 4 && strcmp(buf, "gone") == 0, "the deleted key gives the default");
    n = ini_gets("Test", "Name", 0, buf, 300);
    check(n == 0 && buf[0] == 0, "a null default is empty");
    check(ini_sets("Test", 0, 0) != 0, "a null key deletes the section");
    check(ini_geti("Test", "Count", -1) == -1, "the deleted section is gone");

    // folders and files
    check(dir_create("work") != 0, "dir_create");
    check(dir_create("WORK") == 0, "dir_create of an existing folder fails");
    fp = fopen("work\\a.txt", "w");
    check(fp != 0, "fopen for writing");
    fputs("twelve bytes", fp);
    fclose(fp);
    check(file_size("work\\A.TXT") == 12, "file_size");
    check(file_getattr("work") == 0x10, "a folder's attributes");
    check(file_getattr("work/a.txt") == 0x20, "a file's attributes");
    check(file_getattr("work\\none") == -1, "a missing file's attributes");
    check(file_copy("work\\a.txt", "work\\b.txt", 1) != 0, "file_copy");
    check(file_copy("work\\a.txt", "work\\b.txt", 1) == 0, "file_copy refuses to replace");
    check(file_move("work\\b.txt", "work\\a.txt") == 0, "file_move never replaces");
    check(file_move("work\\b.txt", "work\\c.txt") != 0, "file_move");
    check(dir_create("work\\sub") != 0, "a sub-folder");

    // a find loop: ".", "..", then names in order
    dirs = 0;
    files = 0;
    h = find_first("work\\*.*", rec);
    check(h > 0, "find_first");
    strcpy(buf, rec + 44);
    check(strcmp(buf, ".") == 0, "dot comes first");
    n = 1;
    while (n) {
        if (*(int *)rec & 0x10) dirs++;
        else files++;
        n = find_next(h, rec);
    }
    check(strcmp(rec + 44, "sub") == 0, "the last name");
    check(dirs == 3 && files == 2, "the find loop sees every entry");
    check(find_close(h) != 0 && find_close(h) == 0, "find_close once");
    check(find_first("work\\*.none", rec) == -1, "nothing found");

    // times
    st = t;
    st[0] = 2021; st[1] = 3; st[2] = 0; st[3] = 14; st[4] = 15; st[5] = 9; st[6] = 26; st[7] = 0;
    check(file_settime("work\\a.txt", 0, 0, t) == 1, "file_settime");
    memset(t, 0, 16);
    check(file_gettime("work\\a.txt", 0, 0, t) == 1, "file_gettime");
    check(st[0] == 2021 && st[1] == 3 && st[2] == 0 && st[3] == 14 && st[5] == 9, "the time read back");
    st[1] = 2; st[3] = 30;
    check(file_settime("work\\a.txt", 0, 0, t) == 0, "an invalid date fails");

    // the current folder moves relative paths
    n = dir_getcur(cur);
    check(n > 1 && cur[n - 1] == 92, "dir_getcur ends in a backslash");
    check(dir_setcur("work") != 0, "dir_setcur");
    fp = fopen("c.txt", "r");
    check(fp != 0, "a relative fopen follows dir_setcur");
    if (fp) fclose(fp);
    check(dir_getcur(buf) == n + 5 && strcmp(buf + n, "work\\") == 0, "dir_getcur after dir_setcur");
    check(dir_setcur(cur) != 0, "back to the game folder");

    // deletions
    check(file_setattr("work\\a.txt", 1) != 0, "file_setattr");
    check(file_delete("work\\a.txt") == 0, "a read-only file is kept");
    check(file_setattr("work\\a.txt", 0x20) != 0, "writable again");
    check(dir_delete("work") == 0, "a folder with files is kept");
    check(file_delete("work\\sub") == 0, "file_delete refuses folders");
    check(file_delete("work\\a.txt") != 0 && file_delete("work\\c.txt") != 0, "file_delete");
    check(dir_delete("work\\sub") != 0 && dir_delete("work") != 0, "dir_delete");
    check(file_getattr("work") == -1, "all gone");

    log_out("%d passed, %d failed", passed, failed);
    return 0;
}
