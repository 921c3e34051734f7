// The program's settings: one INI file beside the executable, section
// "General", read each time a value is needed and written at once; and the
// folder verb in the shell's context menu, the only thing the program keeps
// in the registry.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::app {

// Setting keys of section "General", with their defaults where one applies.
inline constexpr const wchar_t* key_language = L"LangId";         // 0: user's language
inline constexpr const wchar_t* key_topmost = L"TopMost";         // 0
inline constexpr const wchar_t* key_file_system = L"FileSystem";  // 3
inline constexpr const wchar_t* key_output_dir = L"OutputDir";    // empty: Documents
inline constexpr const wchar_t* key_theme = L"Theme";             // 0
inline constexpr const wchar_t* key_multiple_instances = L"AllowMultipleInstances";  // 1
inline constexpr const wchar_t* key_reveal_when_done = L"RevealWhenDone";            // 0
inline constexpr const wchar_t* key_close_when_done = L"CloseWhenDone";              // 0
// 1: files of equal contents are stored once, as kestrel-cli -dedupe does.
inline constexpr const wchar_t* key_store_equal_files_once = L"StoreEqualFilesOnce";  // 0
// The name extensions of an image's ISO 9660 volume, as kestrel-cli's
// -no-joliet and -no-rock-ridge leave them out.
inline constexpr const wchar_t* key_joliet = L"Joliet";         // 1
inline constexpr const wchar_t* key_rock_ridge = L"RockRidge";  // 1

// The SettingsFile: its full path, settled once at start.
struct SettingsFile {
  std::wstring path;
};
SettingsFile& settings_file();

// Sets the settings path from the executable's own path.
void init_settings_path();

// A whole-number setting; the default when the file or key is missing.
int read_setting_int(const wchar_t* key, int default_value);
// Writes a whole-number setting as decimal text; true on success.
bool write_setting_int(const wchar_t* key, int value);

// The folder that default targets start in, with a trailing backslash:
// "OutputDir", or the user's Documents folder when it is not set.
std::wstring load_output_dir();
// Stores the folder of a target as typed ("." when it has none).
void save_output_dir(std::wstring_view target);

// The user's Documents folder ("" when it cannot be found).
std::wstring documents_folder();
// The executable's full path.
std::wstring module_path();

// The folder verb "Kestrel" under HKCU\Software\Classes\Directory\shell.
bool is_shell_verb_registered();
void set_shell_verb(bool register_verb);
// Removes the verb from its older place under Folder\shell, if it is there,
// and registers the current one.
void migrate_legacy_shell_verb();

}  // namespace kestrel::app
