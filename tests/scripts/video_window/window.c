// A picture drawn on the view page, a clip played in a rectangle over it to
// its end (its last frame stays shown while the window is captured), then
// the clip is closed and the page alone shows again.
#include "../../../games/demo/tob.h"

int rect[4];

int main()
{
    rect[0] = 0; rect[1] = 0; rect[2] = 160; rect[3] = 120;
    gfill(0, rect, 0xC08020);
    rect[0] = 10; rect[1] = 10; rect[2] = 30; rect[3] = 30;
    gfill(0, rect, 0x20A040);
    update(0);
    if (!media_open("..\\video\\quiet.mpg")) return 1;
    rect[0] = 40; rect[1] = 30; rect[2] = 120; rect[3] = 90;
    media_size(rect);
    media_play();
    while (media_isplay()) sleep(50);
    sleep(4000);
    media_close();
    sleep(20000);
    return 0;
}
