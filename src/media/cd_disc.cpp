// Finding the track files of the disc folder and reading its table.
#include "media/cd_disc.h"

#include <array>
#include <system_error>

#include "platform/file.h"
#include "platform/paths.h"
#include "storage/archive_directory.h"
#include "storage/exp_file.h"

namespace tob::media {
namespace {

constexpr std::string_view kDiscFolder = "cd";
constexpr std::string_view kDiscArchive = "cd.bin";
constexpr std::string_view kTrackPrefix = "track";
// Preferred first when a track has both.
constexpr std::array<std::string_view, 2> kTrackExtensions = {".ogg", ".wav"};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// Per track number, the name found for each extension.
using Found = std::array<std::array<std::string, kTrackExtensions.size()>, kMaxCdTracks + 1>;

void note(Found& found, std::string_view name) {
    int n = cd_track_number(name);
    if (n == 0) return;
    for (size_t e = 0; e < kTrackExtensions.size(); ++e)
        if (equal_ignoring_case(name.substr(name.size() - 4), kTrackExtensions[e]) &&
            found[size_t(n)][e].empty())
            found[size_t(n)][e] = std::string(name);
}

// Plain files of a host folder; false when there is no such folder.
bool list_folder(const std::filesystem::path& folder, Found& found) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return false;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::error_code type_ec;
        if (entry.is_regular_file(type_ec)) note(found, entry.path().filename().string());
    }
    return true;
}

// Members of an archive; false when there is no such file. An archive
// that does not read has no tracks (opening one of them would report it).
bool list_archive(const std::filesystem::path& archive, Found& found) {
    auto file = File::open_read(archive);
    if (!file) return false;
    auto stamp = file->stamp();
    if (!stamp) return true;
    auto parsed =
        ArchiveDirectory::parse([&file](uint64_t offset, void* dst,
                                        size_t n) { return file->read_exact_at(offset, dst, n); },
                                stamp->size);
    if (!parsed.directory) return true;
    for (size_t i = 0; i < parsed.directory->count(); ++i)
        note(found, parsed.directory->member(i).name);
    return true;
}

}  // namespace

int cd_track_number(std::string_view name) {
    // "track" + two digits + ".ogg" or ".wav"
    if (name.size() != kTrackPrefix.size() + 2 + 4) return 0;
    if (!equal_ignoring_case(name.substr(0, kTrackPrefix.size()), kTrackPrefix)) return 0;
    char d1 = name[kTrackPrefix.size()], d2 = name[kTrackPrefix.size() + 1];
    if (d1 < '0' || d1 > '9' || d2 < '0' || d2 > '9') return 0;
    std::string_view ext = name.substr(name.size() - 4);
    bool known = false;
    for (std::string_view e : kTrackExtensions) known = known || equal_ignoring_case(ext, e);
    if (!known) return 0;
    return (d1 - '0') * 10 + (d2 - '0');
}

std::vector<std::string> find_cd_track_files(const std::filesystem::path& base) {
    Found found;
    std::string prefix;
    bool folder = list_folder(to_host_path(kDiscFolder, base), found);
    bool archive = list_archive(to_host_path(kDiscArchive, base), found);
    if (folder || archive)
        prefix = std::string(kDiscFolder) + "\\";
    else
        list_folder(base.empty() ? std::filesystem::current_path() : base, found);
    std::vector<std::string> files;
    for (int n = 1; n <= kMaxCdTracks; ++n) {
        for (const std::string& name : found[size_t(n)]) {
            if (name.empty()) continue;
            files.resize(size_t(n));
            files[size_t(n - 1)] = prefix + name;
            break;
        }
    }
    return files;
}

CdTable read_cd_table(const std::filesystem::path& base) {
    CdTable table;
    for (std::string& file : find_cd_track_files(base)) {
        CdTrack track;
        if (!file.empty()) {
            auto image = read_expanded_file(file, base);
            auto source = image ? SoundSource::open(std::move(*image)) : nullptr;
            if (source && source->rate() > 0) {
                track.audio = true;
                track.seconds = uint32_t(source->frames() / source->rate());
                track.file = std::move(file);
            }
        }
        table.tracks.push_back(std::move(track));
    }
    return table;
}

}  // namespace tob::media
