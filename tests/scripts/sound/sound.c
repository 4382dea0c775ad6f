// The sound built-ins seen from a script, headless on SDL's dummy driver:
// loose, archived and compressed files, lengths, volume and pan, channels
// -1 and 64, loops, comments, positions, pausing, and streams that end and
// play again.
#include "../../../games/demo/tob.h"
#include "../check.h"

void wait_end(int ch, int ms)
{
    while (snd_isplay(ch) && ms > 0) { sleep(10); ms -= 10; }
}

int main()
{
    char text[256];
    int v, ok, pos;

    // loose, from an archive (voice.bin stands for the folder voice), compressed
    check(snd_load(0, "se.wav") == 1, "loose static load");
    check(snd_loads(1, "voice\\tone.ogg") == 1, "streamed Vorbis from an archive");
    check(snd_load(2, "packed.wav") == 1, "static load of a compressed ADPCM file");
    check(snd_loads(3, "packed.wav") == 1, "streamed compressed ADPCM file");
    check(snd_load(4, "missing.wav") == 0, "a missing file fails");

    check(snd_getlen(1) == 3000, "Vorbis length");
    check(snd_getlen(3) == 504, "ADPCM length in whole blocks");
    check(snd_getlen(0) == 0, "static channels have no length");

    ok = 1;
    for (v = 0; v <= 100; v++) {
        snd_setvol(2, v);
        if (snd_getvol(2) != v) ok = 0;
    }
    check(ok, "volume round trips 0..100");
    snd_setpan(2, 50);
    check(snd_getpan(2) == 49, "pan 50 reads back as 49");
    snd_setpan(2, -50);
    check(snd_getpan(2) == -49, "pan -50 reads back as -49");

    check(snd_setvol(-1, 80) == 0, "channel -1 fails while a channel is empty");
    check(snd_getvol(0) == 80, "... but the loaded ones took the volume");
    check(snd_play(64, 0) == 0 && snd_free(64) == 0 && snd_getvol(64) == 0, "channel 64");
    check(snd_getpos(-1) == 0, "channel -1 has no position");

    check(snd_setloop(1, 5000) == 1, "a loop start past the end is ignored");
    check(snd_gettext(1, text) == 1 && strcmp(text, "a stereo test tone") == 0, "Vorbis comment");
    check(snd_gettext(3, text) == 0, "WAVE streams have no comment");

    // Positions: setpos before play, then the time that passed.
    check(snd_setpos(1, 1500) == 1, "setpos on a stopped stream");
    v = getcount(0);
    snd_play(1, 0);
    check(snd_setpos(1, 0) == 0, "no setpos while playing");
    sleep(300);
    pos = snd_getpos(1);
    v = getcount(0) - v;
    check(pos >= 1500 + v - 150 && pos <= 1500 + v + 150, "position: start offset plus the time played");
    // the stream ends by itself
    wait_end(1, 3000);
    check(snd_isplay(1) == 0, "a stream ends");
    check(snd_getpos(1) == 0, "an ended stream has no position");
    // and plays again
    check(snd_play(1, 0) == 1 && snd_isplay(1) == 1, "a finished stream plays again");
    sleep(100);
    check(snd_getpos(1) >= 1500, "from its start offset");
    snd_stop(1);
    check(snd_isplay(1) == 0, "stop");

    // pause counts
    snd_play(3, 1);
    snd_pause(3);
    snd_pause(3);
    snd_replay(3);
    check(snd_isplay(3) == 0, "pause, pause, replay stays paused");
    snd_replay(3);
    check(snd_isplay(3) == 1, "the second replay plays");
    check(snd_free(-1) == 1, "free every channel");
    check(snd_isplay(3) == 0 && snd_getvol(0) == 0, "freed channels are empty");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
