"""Reads what `--audio-out` recorded: 16-bit stereo WAVE."""
import array
import wave


def read_recording(path):
    """The sample rate and the interleaved samples (left, right, ...)."""
    with wave.open(path, "rb") as w:
        assert w.getnchannels() == 2 and w.getsampwidth() == 2, "16-bit stereo expected"
        return w.getframerate(), array.array("h", w.readframes(w.getnframes()))
