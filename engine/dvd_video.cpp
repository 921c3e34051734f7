#include "engine/dvd_video.h"

#include <array>

namespace kestrel {
namespace {

// All DVD file names have the 8.3 form: "VIDEO_TS.IFO", "VTS_01_1.VOB".
constexpr size_t dvd_name_length = 12;

constexpr uint32_t audio_group = 0x10000;
constexpr uint32_t video_group = 0x20000;

// Files of the audio manager: "AUDIO_" followed by one of these tails.
constexpr std::string_view audio_manager_head = "AUDIO_";
constexpr std::array<std::string_view, 6> audio_manager_tails = {"PP.IFO", "TS.IFO", "TS.BUP",
                                                                 "SV.IFO", "SV.VOB", "SV.BUP"};
// Files of the video manager.
constexpr std::array<std::string_view, 3> video_manager_names = {"VIDEO_TS.IFO", "VIDEO_TS.VOB",
                                                                 "VIDEO_TS.BUP"};

// Within a title set: the information file, then the objects, then the backup.
constexpr uint32_t information_class = 0x10;
constexpr uint32_t object_class = 0x20;
constexpr uint32_t backup_class = 0x30;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// "ATS_nn_p.ext" or "VTS_nn_p.ext": title set nn, part p.
uint32_t title_set_key(std::string_view name, uint32_t group) {
  if (name[2] != 'S' || name[3] != '_' || !is_digit(name[4]) || !is_digit(name[5]) ||
      name[6] != '_' || !is_digit(name[7]) || name[8] != '.') {
    return 0;
  }
  const uint32_t number = static_cast<uint32_t>(name[4] - '0') * 0x1000 +
                          static_cast<uint32_t>(name[5] - '0') * 0x100 +
                          static_cast<uint32_t>(name[7] - '0');
  const std::string_view extension = name.substr(9, 3);
  if (extension == "IFO") return group + information_class + number;
  if (extension == "VOB" || extension == "AOB") return group + object_class + number;
  if (extension == "BUP") return group + backup_class + number;
  return 0;
}

}  // namespace

uint32_t dvd_sort_key(std::u16string_view name) {
  // Only a whole DVD file name has a key: "VIDEO_TS.IFO.old" is not one.
  if (name.size() != dvd_name_length) return 0;
  std::array<char, dvd_name_length> upper{};
  for (size_t i = 0; i < dvd_name_length; ++i) {
    const char16_t c = name[i];
    if (c >= 0x80) return 0;
    upper[i] = static_cast<char>(c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c);
  }
  const std::string_view text(upper.data(), upper.size());
  if (text[0] == 'A') {
    if (text[1] == 'U') {
      if (text.substr(0, audio_manager_head.size()) != audio_manager_head) return 0;
      for (size_t i = 0; i < audio_manager_tails.size(); ++i) {
        if (text.substr(audio_manager_head.size()) == audio_manager_tails[i]) {
          return audio_group + static_cast<uint32_t>(i);
        }
      }
      return 0;
    }
    if (text[1] == 'T') return title_set_key(text, audio_group);
    return 0;
  }
  if (text[0] == 'V') {
    if (text[1] == 'I') {
      for (size_t i = 0; i < video_manager_names.size(); ++i) {
        if (text == video_manager_names[i]) return video_group + static_cast<uint32_t>(i);
      }
      return 0;
    }
    if (text[1] == 'T') return title_set_key(text, video_group);
  }
  return 0;
}

bool equal_ignoring_ascii_case(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) {
      return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace kestrel
