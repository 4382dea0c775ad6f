// Settings, folders and files seen from a script. Run from a copy in the
// build folder: everything it writes lands next to that copy.
#include "../../games/demo/tob.h"
#include "check.h"

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

    // programs: started, missing, and documents handed to the opener
    check(exec("/bin/sh -c \34echo ok > out.txt\34") == 1, "exec starts a program");
    n = 0;
    while (file_size("out.txt") != 3 && n < 500) { sleep(10); n++; }
    check(file_size("out.txt") == 3, "the program ran in the current folder");
    check(exec("no_such_program.exe now") == 0, "exec of a missing program");
    check(shell("open", "missing.txt", 0) == 1, "shell of a missing file");
    n = 0;
    while (file_check("opened.txt") == 0 && n < 500) { sleep(10); n++; }
    fp = fopen("opened.txt", "r");
    buf[0] = 0;
    if (fp) { fgets(buf, 300, fp); fclose(fp); }
    n = strlen(buf);
    if (n > 0 && buf[n - 1] == 10) { n--; buf[n] = 0; }
    check(n > 12 && strcmp(buf + n - 12, "/missing.txt") == 0, "the opener got the file");
    file_delete("out.txt");
    file_delete("opened.txt");

    // a headless message box answers with its default button
    check(mbox(4 | 0x100, "files.c", "a question nobody sees") == 7, "mbox default button");
    check(caption("files") != 0 && wallpaper("x.bmp", 0) == 1, "caption and wallpaper");

    log_out("%d passed, %d failed", passed, failed);
    return 0;
}
