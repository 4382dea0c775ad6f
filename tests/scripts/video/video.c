// The media built-ins seen from a script, headless: results without a
// file, a missing file, the playing flag through play, pause, the end and
// repeat, the rectangle, opening over an open file and closing.
#include "../../../games/demo/tob.h"
#include "../check.h"

int main()
{
    int rect[4];

    check(media_play() == 0, "play before any open");
    check(media_stop() == 0, "stop before any open");
    check(media_pause() == 0, "pause before any open");
    check(media_replay() == 1, "replay with nothing paused");
    check(media_isplay() == 0, "nothing plays");
    check(media_setvol(80) == 1, "setvol without a file");
    check(media_open("missing.mpg") == 0, "a missing file fails");
    check(media_open("video.c") == 0, "a file that is not media fails");
    check(media_play() == 0, "still nothing to play");

    check(media_open("count.mpg") == 1, "open");
    check(media_isplay() == 0, "not playing after open");
    check(media_play() == 1, "play");
    check(media_isplay() == 1, "playing");
    sleep(300);
    check(media_pause() == 1, "pause");
    check(media_isplay() == 1, "still playing while paused");
    check(media_pause() == 1, "a second pause");
    sleep(2500);
    check(media_isplay() == 1, "a paused file does not end");
    check(media_replay() == 1 && media_replay() == 1, "two replays");
    sleep(2500);
    check(media_isplay() == 0, "the end clears the flag");

    rect[0] = 10; rect[1] = 20; rect[2] = 90; rect[3] = 80;
    check(media_size(rect) == 1, "a rectangle");
    check(media_size(0) == 1, "the whole picture");
    check(media_size(16) == 0, "a bad rectangle pointer");
    check(media_open(16) == 0, "a bad name pointer");

    check(media_open("count.avi") == 1, "open over an open file");
    check(media_isplay() == 0, "the new file is not playing");
    check(media_repeat(1) == 1, "repeat");
    check(media_play() == 1, "play with repeat");
    sleep(3000);
    check(media_isplay() == 1, "with repeat still playing past the length");
    check(media_stop() == 1 && media_isplay() == 0, "stop");
    check(media_play() == 1 && media_isplay() == 1, "play again");
    check(media_close() == 1, "close");
    check(media_isplay() == 0 && media_play() == 0, "nothing after close");
    check(media_close() == 1, "close without a file");

    media_repeat(0);
    check(media_open("tone.mpg") == 1, "sound only");
    check(media_play() == 1 && media_isplay() == 1, "play the sound alone");
    sleep(2600);
    check(media_isplay() == 0, "the sound alone ends");
    check(media_open("quiet.mpg") == 1, "picture only");
    check(media_play() == 1, "play the picture alone");
    sleep(2600);
    check(media_isplay() == 0, "the picture alone ends too");
    media_close();

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
