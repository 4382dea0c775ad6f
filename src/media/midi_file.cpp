#include "media/midi_file.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace tob::media {
namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note

class Reader {
  public:
    explicit Reader(std::span<const uint8_t> d) : d_(d) {}
    size_t left() const { return d_.size() - pos_; }
    size_t pos() const { return pos_; }
    std::optional<uint8_t> byte() {
        if (!left()) return std::nullopt;
        return d_[pos_++];
    }
    std::optional<uint8_t> peek() const {
        if (!left()) return std::nullopt;
        return d_[pos_];
    }
    std::optional<uint32_t> be(int bytes) {
        if (left() < size_t(bytes)) return std::nullopt;
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = v << 8 | d_[pos_++];
        return v;
    }
    // A variable-length quantity: at most four bytes.
    std::optional<uint32_t> vlq() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            auto b = byte();
            if (!b) return std::nullopt;
            v = v << 7 | (*b & 0x7F);
            if (!(*b & 0x80)) return v;
        }
        return std::nullopt;
    }
    bool skip(size_t n) {
        if (left() < n) return false;
        pos_ += n;
        return true;
    }
    std::span<const uint8_t> take(size_t n) {
        auto s = d_.subspan(pos_, n);
        pos_ += n;
        return s;
    }

  private:
    std::span<const uint8_t> d_;
    size_t pos_ = 0;
};

struct TrackScan {
    uint64_t end_tick = 0;
    std::vector<std::pair<uint64_t, uint32_t>> tempos;  // tick, microseconds per quarter
};

// Data bytes of a channel message by its status.
int data_bytes(uint8_t status) {
    uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

std::optional<std::string> scan_track(std::span<const uint8_t> chunk, TrackScan& out) {
    Reader r(chunk);
    uint64_t tick = 0;
    uint8_t running = 0;
    while (true) {
        auto delta = r.vlq();
        if (!delta) return "a delta time runs past its track";
        tick += *delta;
        auto first = r.peek();
        if (!first) return "an event runs past its track";
        uint8_t status;
        if (*first < 0x80) {
            if (!running) return "running status without a previous status";
            status = running;
        } else {
            status = *r.byte();
        }
        if (status < 0xF0) {
            running = status;
            int n = data_bytes(status);
            for (int i = 0; i < n; ++i) {
                auto b = r.byte();
                if (!b) return "a channel message runs past its track";
                if (*b >= 0x80) return "a channel message has a status byte as data";
            }
        } else if (status == 0xF0 || status == 0xF7) {
            running = 0;
            auto len = r.vlq();
            if (!len || !r.skip(*len)) return "a system exclusive message runs past its track";
        } else if (status == 0xFF) {
            running = 0;
            auto type = r.byte();
            auto len = type ? r.vlq() : std::nullopt;
            if (!len || r.left() < *len) return "a meta event runs past its track";
            auto body = r.take(*len);
            if (*type == 0x2F) {
                if (!body.empty()) return "an end-of-track event with data";
                out.end_tick = tick;
                return std::nullopt;  // anything after the end is ignored
            }
            // Fixed sizes the synthesiser's player insists on (a file it
            // cannot read would make a repeating player spin in place).
            if ((*type == 0x54 && body.size() != 5) || (*type == 0x58 && body.size() != 4) ||
                (*type == 0x59 && body.size() != 2))
                return "a meta event of the wrong size";
            if (*type == 0x51) {
                if (body.size() != 3) return "a tempo event is not three bytes long";
                uint32_t t = uint32_t(body[0]) << 16 | uint32_t(body[1]) << 8 | body[2];
                if (t == 0) return "a tempo of zero";
                out.tempos.emplace_back(tick, t);
            }
        } else {
            return "a status byte that has no place in a file";
        }
    }
}

}  // namespace

std::variant<MidiFileInfo, std::string> scan_midi_file(std::span<const uint8_t> data) {
    Reader r(data);
    auto magic = r.be(4);
    if (!magic || *magic != 0x4D546864) return std::string("not a MIDI file (no MThd)");
    auto header_len = r.be(4);
    if (!header_len || *header_len < 6) return std::string("the MIDI header is too short");
    auto format = r.be(2), ntracks = r.be(2), division = r.be(2);
    if (!format || !ntracks || !division || !r.skip(*header_len - 6))
        return std::string("the MIDI header runs past the file");
    if (*format > 1) return std::string("only MIDI formats 0 and 1 are played");
    if (*ntracks == 0) return std::string("the MIDI file has no tracks");
    if (*format == 0 && *ntracks != 1) return std::string("a format 0 MIDI file has one track");
    if (*division == 0) return std::string("a time division of zero");

    MidiFileInfo info;
    info.format = uint16_t(*format);
    std::vector<std::pair<uint64_t, uint32_t>> tempos;
    while (info.tracks < *ntracks) {
        auto id = r.be(4), len = r.be(4);
        if (!id || !len || r.left() < *len) return std::string("a chunk runs past the file");
        auto chunk = r.take(*len);
        // The synthesiser's player reads track chunks only, one after another.
        if (*id != 0x4D54726B) return std::string("a chunk that is not a track");
        TrackScan t;
        if (auto error = scan_track(chunk, t)) return *error;
        info.end_tick = std::max(info.end_tick, t.end_tick);
        tempos.insert(tempos.end(), t.tempos.begin(), t.tempos.end());
        ++info.tracks;
    }

    // The synthesiser's player counts in beats only: frame-based (SMPTE)
    // divisions are refused rather than played at a wrong speed.
    if (*division & 0x8000) return std::string("SMPTE time divisions are not played");

    // Microseconds, computed exactly as a fraction over the division.
    unsigned __int128 us_num = 0;
    uint64_t den = *division;
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    uint64_t tick = 0;
    uint32_t tempo = kDefaultTempo;
    for (const auto& [at, t] : tempos) {
        if (at >= info.end_tick) break;
        us_num += (unsigned __int128)(at - tick) * tempo;
        tick = at;
        tempo = t;
    }
    us_num += (unsigned __int128)(info.end_tick - tick) * tempo;
    unsigned __int128 ms = us_num / den / 1000u;
    if (ms > kMaxMidiLengthMs) return std::string("the MIDI song is absurdly long");
    // A song without length would loop forever in no time.
    if (ms == 0) return std::string("the MIDI song has no length");
    info.length_ms = uint64_t(ms);
    return info;
}

}  // namespace tob::media
