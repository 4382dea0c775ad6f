// Plays a clip's tone that analyse_video_audio.py checks in the --audio-out
// recording: volume 100, then 50, silence after media_stop, and the tone
// again (still at 50) after media_play.
#include "../../../games/demo/tob.h"

int main()
{
    if (!media_open("..\\video\\count.mpg")) return 1;
    media_repeat(1);
    media_play();
    sleep(1000);
    media_setvol(50);
    sleep(1000);
    media_stop();
    sleep(700);
    media_play();
    sleep(800);
    media_close();
    sleep(200);
    log_out("listen: done");
    return 0;
}
