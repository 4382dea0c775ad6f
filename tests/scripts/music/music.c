// The MIDI and CD built-ins seen from a script, headless on SDL's dummy
// driver. MIDI: results without a file, loading, volume, play and its
// position, which wraps at the song's length (one second) with repeat, and
// nested pauses. CD: the disc in cd/ holds track 1 (1.6 seconds), a data
// track 2 and track 3 (4.3 seconds, its name in capitals); positions, fades,
// repeat modes, pauses and the door.
#include "../../../games/demo/tob.h"
#include "../check.h"

void cd_checks()
{
    check(cd_getvol() == 100, "cd: full volume at first");
    check(cd_repeat(2) == 0 && cd_repeat(0) == 2, "cd_repeat gives the previous mode");
    check(cd_getlen(1) == 1 && cd_getlen(2) == 0 && cd_getlen(3) == 4, "track lengths");
    check(cd_getlen(0) == 5 && cd_getlen(4) == 0, "the disc's length; no track 4");
    check(cd_play(2, 0) == 0 && cd_play(4, 0) == 0 && cd_play(0, 0) == 0, "no play of a data or missing track");
    check(cd_isplay() == 0 && cd_getpos(0) == 0 && cd_stop(0) == 1, "nothing plays");

    check(cd_play(3, 0) == 1 && cd_isplay() == 1, "play track 3");
    sleep(1300);
    check(cd_getpos(0) == 1, "one second into the track");
    check(cd_getpos(1) == 1, "time left in the track: 4 - 1 - 2");
    check(cd_getpos(2) == 0, "time since the disc start: 1 + (1 - 2)");
    check(cd_getpos(3) == 1, "on the last track only its own time is left");
    check(cd_stop(500) == 1 && cd_isplay() == 1, "a fade-out keeps playing");
    sleep(200);
    check(cd_isplay() == 1, "... while it fades");
    sleep(700);
    check(cd_isplay() == 0 && cd_getpos(0) == 0, "... and stops at its end");

    cd_repeat(1);
    check(cd_play(1, 0) == 1, "play track 1 with repeat 1");
    sleep(2200);
    check(cd_isplay() == 1 && cd_getpos(1) == 0, "repeat 1 plays the track again");
    check(cd_repeat(2) == 1, "repeat 2");
    check(cd_play(1, 0) == 1, "play track 1 with repeat 2");
    sleep(2200);
    check(cd_isplay() == 1 && cd_getpos(1) == 2, "repeat 2 goes on past the data track to the last");
    check(cd_stop(0) == 1 && cd_isplay() == 0, "stop");

    cd_play(3, 0);
    check(cd_pause() == 1 && cd_isplay() == 0, "cd_pause");
    cd_pause();
    check(cd_replay() == 1 && cd_isplay() == 0, "one replay leaves it paused");
    check(cd_replay() == 1 && cd_isplay() == 1, "the second resumes");

    check(cd_eject() == 1 && cd_isplay() == 0, "opening the door stops the track");
    check(cd_play(3, 0) == 0, "no play with the door open");
    check(cd_eject() == 1 && cd_getlen(0) == 5, "closing it reads the disc again");
    check(cd_play(3, 0) == 1 && cd_stop(0) == 1, "play after the door closed");

    check(cd_setvol(150) == 1 && cd_getvol() == 100, "the volume is clamped to 100");
    check(cd_setvol(-5) == 1 && cd_getvol() == 0, "... and to 0");
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

    cd_checks();

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
