// Music that analyse_music.py checks in the --audio-out recording: a held
// chord at volume 100 for a second, then at volume 50, then silence; then a
// CD track fading in over a second and playing on for half a second.
#include "../../../games/demo/tob.h"

int main()
{
    if (!midi_load("long.mid")) return 1;
    midi_play(0);
    sleep(1000);
    midi_setvol(50);
    sleep(1000);
    midi_stop(0);
    sleep(500);
    if (!cd_play(1, 1000)) return 2;
    sleep(1500);
    cd_stop(0);
    sleep(300);
    return 0;
}
