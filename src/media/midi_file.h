// A small scanner for Standard MIDI Files: it checks the structure (header,
// track chunks, running status, event lengths) before the synthesiser's
// player sees the file, and computes the song's length from the tempo map.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

namespace tob::media {

struct MidiFileInfo {
    uint16_t format = 0;    // 0 or 1
    uint16_t tracks = 0;    // track chunks read
    uint64_t end_tick = 0;  // the last end-of-track
    // Milliseconds up to the last end-of-track, truncated.
    uint64_t length_ms = 0;
};

// Songs longer than this are refused as absurd (a day).
inline constexpr uint64_t kMaxMidiLengthMs = 24ull * 3600 * 1000;

// The file's facts, or a message saying why it was refused.
std::variant<MidiFileInfo, std::string> scan_midi_file(std::span<const uint8_t> data);

}  // namespace tob::media
