#include "app/settings.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <vector>

#include "app/core/shell_paths.h"

namespace kestrel::app {

namespace {

constexpr const wchar_t* settings_section = L"General";
constexpr const wchar_t* classes_key = L"Software\\Classes";
constexpr const wchar_t* verb_key = L"Directory\\shell\\Kestrel";
constexpr const wchar_t* verb_command_key = L"Directory\\shell\\Kestrel\\command";
constexpr const wchar_t* legacy_verb_key = L"Software\\Classes\\Folder\\shell\\Kestrel";
constexpr const wchar_t* legacy_verb_relative = L"Folder\\shell\\Kestrel";
constexpr const wchar_t* legacy_command_relative = L"Folder\\shell\\Kestrel\\command";
constexpr REGSAM classes_access = KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE;

bool set_string_value(HKEY key, const wchar_t* name, const std::wstring& data) {
  // The size includes the terminating NUL.
  const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes) ==
         ERROR_SUCCESS;
}

}  // namespace

SettingsFile& settings_file() {
  static SettingsFile file;
  return file;
}

std::wstring module_path() {
  // Grown until the whole path fits, so a long installation path is never cut.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

void init_settings_path() { settings_file().path = settings_path_for(module_path()); }

int read_setting_int(const wchar_t* key, int default_value) {
  return static_cast<int>(
      GetPrivateProfileIntW(settings_section, key, default_value, settings_file().path.c_str()));
}

bool write_setting_int(const wchar_t* key, int value) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%d", value);
  return WritePrivateProfileStringW(settings_section, key, text, settings_file().path.c_str()) !=
         FALSE;
}

std::wstring documents_folder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr,
                              SHGFP_TYPE_CURRENT, path)))
    return {};
  return path;
}

std::wstring load_output_dir() {
  wchar_t folder[path_buffer_chars] = {};
  GetPrivateProfileStringW(settings_section, key_output_dir, L"", folder, path_buffer_chars,
                           settings_file().path.c_str());
  std::wstring result = folder;
  if (result.empty()) result = documents_folder();
  return with_trailing_backslash(result);
}

void save_output_dir(std::wstring_view target) {
  const std::wstring folder = output_dir_for_target(target);
  WritePrivateProfileStringW(settings_section, key_output_dir, folder.c_str(),
                             settings_file().path.c_str());
}

bool is_shell_verb_registered() {
  HKEY key = nullptr;
  const std::wstring path = std::wstring(classes_key) + L"\\" + verb_key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

void set_shell_verb(bool register_verb) {
  HKEY classes = nullptr;
  // Registering creates the user's class root if a fresh profile lacks it.
  const LSTATUS opened =
      register_verb ? RegCreateKeyExW(HKEY_CURRENT_USER, classes_key, 0, nullptr, 0, classes_access,
                                      nullptr, &classes, nullptr)
                    : RegOpenKeyExW(HKEY_CURRENT_USER, classes_key, 0, classes_access, &classes);
  if (opened != ERROR_SUCCESS) return;
  if (register_verb) {
    const std::wstring quoted = L"\"" + module_path() + L"\"";
    HKEY verb = nullptr;
    if (RegCreateKeyExW(classes, verb_key, 0, nullptr, 0, KEY_WRITE, nullptr, &verb, nullptr) ==
        ERROR_SUCCESS) {
      set_string_value(verb, L"Icon", quoted + L",0");
      HKEY command = nullptr;
      if (RegCreateKeyExW(verb, L"command", 0, nullptr, 0, KEY_WRITE, nullptr, &command, nullptr) ==
          ERROR_SUCCESS) {
        set_string_value(command, nullptr, quoted + L" \"%1\"");
        RegCloseKey(command);
      }
      RegCloseKey(verb);
    }
  } else {
    RegDeleteKeyW(classes, verb_command_key);
    RegDeleteKeyW(classes, verb_key);
  }
  RegCloseKey(classes);
}

void migrate_legacy_shell_verb() {
  HKEY legacy = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, legacy_verb_key, 0, KEY_READ, &legacy) != ERROR_SUCCESS)
    return;
  RegCloseKey(legacy);
  HKEY classes = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, classes_key, 0, classes_access, &classes) == ERROR_SUCCESS) {
    RegDeleteKeyW(classes, legacy_command_relative);
    RegDeleteKeyW(classes, legacy_verb_relative);
    RegCloseKey(classes);
  }
  set_shell_verb(true);
}

}  // namespace kestrel::app
