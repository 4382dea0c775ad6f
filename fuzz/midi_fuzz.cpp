// The MIDI file scanner; files it accepts are also played for a moment by
// the synthesiser's player (when the small General MIDI soundfont is there).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "media/midi_file.h"
#include "media/music.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<tob::media::Music> music = [] {
        tob::media::Music::StartError error;
        const char* font = "/usr/share/sounds/sf2/TimGM6mb.sf2";
        return std::filesystem::exists(font) ? tob::media::Music::create(8000, font, false, error)
                                             : nullptr;
    }();
    std::span<const uint8_t> bytes(data, size);
    auto scanned = tob::media::scan_midi_file(bytes);
    if (!music || !std::holds_alternative<tob::media::MidiFileInfo>(scanned)) return 0;
    // The synthesiser's own reader may still refuse it.
    if (!music->load(std::vector<uint8_t>(bytes.begin(), bytes.end()))) return 0;
    music->set_repeat(int(size & 1));
    music->play();
    float out[2 * 256];
    for (int i = 0; i < 8; ++i) music->render(out, 256);
    music->pause();
    music->replay();
    music->render(out, 256);
    music->free();
    return 0;
}
