// Music that analyse_music.py checks in the --audio-out recording: a held
// chord at volume 100 for a second, then at volume 50, then silence.
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
    return 0;
}
