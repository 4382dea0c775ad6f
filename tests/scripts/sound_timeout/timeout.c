// Loops a sound until --timeout ends the run: the recording must still be
// a complete WAVE file.
#include "../../../games/demo/tob.h"

int main()
{
    snd_load(0, "..\\sound_listen\\tone.wav");
    snd_play(0, 1);
    for (;;) sleep(100);
    return 0;
}
