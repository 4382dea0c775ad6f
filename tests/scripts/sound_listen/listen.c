// Plays a sequence that analyse_audio.py checks in the --audio-out
// recording: full volume, volume 50, pan -100, a click with an echo, and a
// loop that is stopped. Silence lies between the parts.
#include "../../../games/demo/tob.h"

int echo[5];

void wait_end(int ch)
{
    while (snd_isplay(ch)) sleep(10);
    sleep(300);
}

int main()
{
    float mix, feedback, delay;
    if (!snd_load(0, "tone.wav") || !snd_load(1, "click.wav")) return 1;
    sleep(200);
    snd_play(0, 0);
    wait_end(0);
    snd_setvol(0, 50);
    snd_play(0, 0);
    wait_end(0);
    snd_setvol(0, 100);
    snd_setpan(0, -100);
    snd_play(0, 0);
    wait_end(0);
    // echo: half wet, no feedback, 150 ms on both sides
    mix = 50.0;
    feedback = 0.0;
    delay = 150.0;
    memcpy(&echo[0], &mix, 4);
    memcpy(&echo[1], &feedback, 4);
    memcpy(&echo[2], &delay, 4);
    memcpy(&echo[3], &delay, 4);
    echo[4] = 0;
    snd_setecho(1, echo);
    snd_play(1, 0);
    wait_end(1);
    snd_setpan(0, 0);
    snd_play(0, 1);
    sleep(600);
    snd_stop(0);
    if (snd_isplay(0)) return 2;
    sleep(500);
    log_out("listen: done");
    return 0;
}
