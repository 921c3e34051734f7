#include "app/core/shell_paths.h"

#include <algorithm>

namespace kestrel::app {

namespace {

constexpr wchar_t backslash = L'\\';

std::wstring with_backslashes(std::wstring_view path) {
  std::wstring result(path);
  std::replace(result.begin(), result.end(), L'/', backslash);
  return result;
}

}  // namespace

std::wstring settings_path_for(std::wstring_view module_path) {
  std::wstring path(module_path);
  const size_t dot = path.rfind(L'.');
  if (dot != std::wstring::npos) path.erase(dot);
  return path + L".ini";
}

std::wstring output_dir_for_target(std::wstring_view target) {
  const std::wstring path = with_backslashes(target);
  const size_t cut = path.rfind(backslash);
  if (cut == std::wstring::npos) return L".";
  return path.substr(0, cut);
}

std::wstring with_trailing_backslash(std::wstring_view folder) {
  std::wstring result(folder);
  if (!result.empty() && result.back() != backslash) result += backslash;
  return result;
}

std::wstring strip_trailing_backslashes(std::wstring_view path) {
  std::wstring result(path);
  while (result.size() > 1 && result.back() == backslash) result.pop_back();
  return result;
}

std::wstring last_component(std::wstring_view path) {
  const size_t cut = path.rfind(backslash);
  if (cut == std::wstring_view::npos) return {};
  return std::wstring(path.substr(cut + 1));
}

bool target_needs_extension(std::wstring_view target) {
  return target.find(L'.') == std::wstring_view::npos;
}

bool picked_name_needs_extension(std::wstring_view path) {
  const size_t cut = path.rfind(backslash);
  const std::wstring_view name = cut == std::wstring_view::npos ? path : path.substr(cut + 1);
  return name.find(L'.') == std::wstring_view::npos;
}

std::wstring initial_save_name(std::wstring_view text) {
  const size_t cut = text.rfind(backslash);
  if (cut == std::wstring_view::npos) return {};
  std::wstring result(text);
  const size_t dot = result.rfind(L'.');
  if (dot != std::wstring::npos && dot > cut) result.erase(dot);
  return result;
}

bool has_file_name_part(std::wstring_view full_path) {
  return !full_path.empty() && full_path.back() != backslash;
}

std::wstring folder_part(std::wstring_view full_path) {
  const size_t cut = full_path.rfind(backslash);
  if (cut == std::wstring_view::npos) return {};
  return std::wstring(full_path.substr(0, cut + 1));
}

std::wstring prefer_disc_parent(std::wstring_view path,
                                const std::function<bool(const std::wstring&)>& exists) {
  const size_t cut = path.rfind(backslash);
  if (cut == std::wstring_view::npos) return std::wstring(path);
  const std::wstring parent(path.substr(0, cut));
  for (const wchar_t* disc_folder : {L"VIDEO_TS", L"BDMV", L"BDAV"}) {
    if (exists(parent + backslash + disc_folder)) return parent;
  }
  return std::wstring(path);
}

std::vector<std::wstring> directory_prefixes(std::wstring_view path_text) {
  const std::wstring path = with_backslashes(path_text);
  std::vector<std::wstring> prefixes;
  if (path.size() >= path_buffer_chars - 1) return prefixes;
  size_t pos = 0;
  if (path.size() >= 2 && path[0] == backslash && path[1] == backslash) {
    // \\server\share\ : the share is the root and is never created.
    size_t server_end = path.find(backslash, 2);
    if (server_end == std::wstring::npos) return prefixes;
    size_t share_end = path.find(backslash, server_end + 1);
    if (share_end == std::wstring::npos) return prefixes;
    pos = share_end + 1;
  } else if (path.size() >= 3 && path[1] == L':' && path[2] == backslash) {
    pos = 3;
  }
  for (size_t next = path.find(backslash, pos); next != std::wstring::npos;
       next = path.find(backslash, next + 1)) {
    if (next > 0) prefixes.push_back(path.substr(0, next));
  }
  return prefixes;
}

int layout_index_from(int value) { return value < 0 || value > 3 ? 3 : value; }

int writing_percent(unsigned long long done, unsigned long long total) {
  if (total == 0) return 0;
  if (done > total) done = total;
  const unsigned long long percent = (done * 100 + total / 2) / total;
  return percent >= 100 ? 99 : static_cast<int>(percent);
}

std::wstring reveal_command_line(std::wstring_view explorer_path, std::wstring_view target) {
  std::wstring command = L"\"";
  command += explorer_path;
  command += L"\" /select,\"";
  command += target;
  command += L"\"";
  return command;
}

}  // namespace kestrel::app
