// Builds a menu in a window that has a menu bar, changes its items and// redraws it while the view page is updated, then leaves.
#include "../../../games/demo/tob.h"

int main()
{
    int ok;
    int i;
    ok = menu_init();
    ok = ok + menu_add(0, 100, "ファイル(&F)", 0);
    ok = ok + menu_add(100, 40002, "やり直す(&R)", 0);
    ok = ok + menu_add(100, 101, "-", 0);
    ok = ok + menu_add(100, 40001, "終了(&X)\tAlt+F4", 0);
    ok = ok + menu_add(0, 200, "画面(&S)", 0);
    ok = ok + menu_add(200, 40003, "ウィンドウ", 1);
    ok = ok + menu_add(200, 40004, "フルスクリーン", 1);
    ok = ok + menu_add(200, 201, "音", 0);
    ok = ok + menu_add(201, 202, "あり", 2);
    ok = ok + menu_add(201, 203, "なし", 2);
    ok = ok + menu_build();
    ok = ok + menu_radio(40003);
    ok = ok + menu_radio(202);
    ok = ok + menu_check(201, 1);
    ok = ok + menu_enable(40002, 0);
    ok = ok + menu_draw();
    for (i = 0; i < 5; i++) {
        update(0);
        sleep(10);
    }
    ok = ok + menu_del(201);
    ok = ok + menu_build();
    update(0);
    log_out("menu calls: %d, last command: %d", ok, menu_get());
    return 0;
}
