// The MIDI built-ins seen from a script, headless on SDL's dummy driver:
// results without a file, loading, volume, play and its position, which
// wraps at the song's length (one second) with repeat, and nested pauses.
#include "../../../games/demo/tob.h"

int passed;
int failed;

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

int main()
{
    int p;

    check(midi_getvol() == 0, "no volume before a load");
    check(midi_play(0) == 1, "play without a file");
    check(midi_isplay() == 0 && midi_getpos() == 0, "nothing plays");
    check(midi_setvol(150) == 1, "setvol without a file");
    check(midi_load("missing.mid") == 0, "a missing file fails");
    check(midi_load("music.c") == 0, "a file that is not MIDI fails");
    check(midi_load("song.mid") == 1, "load");
    check(midi_getvol() == 100, "the stored volume, clamped to 100");
    check(midi_repeat(1) == 1, "repeat");
    check(midi_play(0) == 1, "play");
    check(midi_isplay() == 1, "playing");
    sleep(300);
    p = midi_getpos();
    check(p >= 100 && p < 1000, "the position advances");
    sleep(1000);
    p = midi_getpos();
    check(midi_isplay() == 1 && p < 1000, "the position wraps at the length");

    check(midi_pause() == 0, "pause while playing gives 0");
    check(midi_isplay() == 0 && midi_getpos() == 0, "paused");
    check(midi_pause() == 1, "a second pause");
    check(midi_replay() == 1 && midi_isplay() == 0, "one replay leaves it paused");
    check(midi_replay() == 1, "the second replay");
    sleep(50);
    check(midi_isplay() == 1, "... resumes");
    check(midi_replay() == 1, "replay while playing");

    midi_repeat(0);
    midi_play(0);
    sleep(1500);
    check(midi_isplay() == 0, "without repeat the song ends");
    check(midi_stop(0) == 1 && midi_isplay() == 0, "stop");
    check(midi_free() == 1 && midi_getvol() == 0, "free");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
