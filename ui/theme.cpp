#include "ui/theme.h"

#include <commctrl.h>
#include <richedit.h>
#include <uxtheme.h>

#include "app/settings.h"
#include "ui/core/theme_rules.h"
#include "ui/dark_painters.h"

namespace kestrel::ui {

namespace {

// Ordinals of the theme library's dark-mode entries.
constexpr WORD ordinal_refresh_colour_policy = 49;        // looked up only
constexpr WORD ordinal_open_nc_theme_data = 104;          // looked up only
constexpr WORD ordinal_should_apps_use_dark = 132;        // () -> bool
constexpr WORD ordinal_allow_dark_for_window = 133;       // (window, bool)
constexpr WORD ordinal_app_mode = 135;                    // (bool) before 18362, (mode) from 18362
constexpr WORD ordinal_flush_menu_themes = 136;           // ()
constexpr WORD ordinal_is_dark_allowed_for_window = 137;  // (window) -> bool

// Window composition attribute that switches a window's frame to dark colours.
constexpr DWORD composition_use_dark_colours = 26;
struct CompositionAttributeData {
  DWORD attribute;
  void* data;
  SIZE_T size;
};

using GetNtVersionNumbers = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
using ShouldAppsUseDark = bool(WINAPI*)();
using AllowDarkForWindow = bool(WINAPI*)(HWND, bool);
using AllowDarkForApp = bool(WINAPI*)(bool);
using SetPreferredAppMode = int(WINAPI*)(int);
using FlushMenuThemes = void(WINAPI*)();
using IsDarkAllowedForWindow = bool(WINAPI*)(HWND);
using SetCompositionAttribute = BOOL(WINAPI*)(HWND, CompositionAttributeData*);

// The DarkModeApi: every entry may be missing.
struct DarkModeApi {
  DWORD build = 0;
  ShouldAppsUseDark should_apps_use_dark = nullptr;
  AllowDarkForWindow allow_dark_for_window = nullptr;
  AllowDarkForApp allow_dark_for_app = nullptr;          // builds below 18362
  SetPreferredAppMode set_preferred_app_mode = nullptr;  // 18362 and later
  FlushMenuThemes flush_menu_themes = nullptr;
  IsDarkAllowedForWindow is_dark_allowed_for_window = nullptr;
  SetCompositionAttribute set_composition_attribute = nullptr;
};

struct ThemeState {
  DarkModeApi api;
  bool forced = false;  // KESTREL_FORCE_DARK on a system without the entries
  bool supported = false;
  bool active = false;
  bool apps_dark = false;
  ThemeChoice choice = ThemeChoice::light;
};

ThemeState& state() {
  static ThemeState theme_state;
  return theme_state;
}

template <typename Function>
Function lookup(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename Function>
Function lookup(HMODULE module, WORD ordinal) {
  return lookup<Function>(module, MAKEINTRESOURCEA(ordinal));
}

bool force_dark_requested() {
  wchar_t value[4] = {};
  const DWORD length = GetEnvironmentVariableW(L"KESTREL_FORCE_DARK", value, 4);
  return length == 1 && value[0] == L'1';
}

// Ordinal 132, or, on a forced test system without it, the program's own mode.
bool system_apps_dark() {
  const ThemeState& s = state();
  if (s.api.should_apps_use_dark != nullptr) return s.api.should_apps_use_dark();
  return s.forced && s.active;
}

void allow_dark_for_window(HWND window, bool dark) {
  const ThemeState& s = state();
  if (s.supported && s.api.allow_dark_for_window != nullptr)
    s.api.allow_dark_for_window(window, dark);
}

void apply_visual_style(HWND window, const VisualStyle& style) {
  if (style.apply) SetWindowTheme(window, style.app_name, style.id_list);
}

void theme_button(HWND button, bool dark) {
  apply_visual_style(button, visual_style_for(ControlKind::button, dark));
  const auto style = static_cast<std::uint32_t>(GetWindowLongPtrW(button, GWL_STYLE));
  set_painter(button, Painter::group_box, dark && is_group_box(style));
}

void theme_combo_box(HWND combo, bool dark) {
  apply_visual_style(combo, visual_style_for(ControlKind::combo_box, dark));
  set_painter(combo, Painter::combo_colours, dark && GetWindow(combo, GW_CHILD) != nullptr);
}

void theme_combo_box_ex(HWND outer, bool dark) {
  apply_visual_style(outer, visual_style_for(ControlKind::combo_box_ex, dark));
  auto inner = reinterpret_cast<HWND>(SendMessageW(outer, CBEM_GETCOMBOCONTROL, 0, 0));
  if (inner != nullptr) {
    allow_dark_for_window(inner, dark);
    apply_visual_style(inner, inner_combo_visual_style());
  }
  const bool has_edit = inner != nullptr && GetWindow(inner, GW_CHILD) != nullptr;
  set_painter(outer, Painter::combo_colours, dark && has_edit);
}

void theme_list_view(HWND list, bool dark) {
  apply_visual_style(list, visual_style_for(ControlKind::list_view, dark));
  const ListColours colours = list_colours(dark, current_system_colours());
  ListView_SetBkColor(list, colours.background);
  ListView_SetTextBkColor(list, colours.text_background);
  ListView_SetTextColor(list, colours.text);
  HWND header = ListView_GetHeader(list);
  if (header != nullptr) {
    allow_dark_for_window(header, dark);
    apply_visual_style(header, list_header_visual_style(dark));
  }
  set_painter(list, Painter::header_colours, dark);
}

void theme_tree_view(HWND tree, bool dark) {
  apply_visual_style(tree, visual_style_for(ControlKind::tree_view, dark));
  const ListColours colours = list_colours(dark, current_system_colours());
  TreeView_SetBkColor(tree, colours.background);
  TreeView_SetTextColor(tree, colours.text);
}

void theme_rich_edit(HWND edit, bool dark) {
  apply_visual_style(edit, visual_style_for(ControlKind::rich_edit, dark));
  const bool transparent = (GetWindowLongPtrW(edit, GWL_EXSTYLE) & WS_EX_TRANSPARENT) != 0;
  const RichEditColours colours = rich_edit_colours(dark, transparent, current_system_colours());
  CHARFORMAT2W format{};
  format.cbSize = sizeof(format);
  format.dwMask = CFM_COLOR;
  format.crTextColor = colours.text;
  if (colours.set_background) {
    format.dwMask |= CFM_BACKCOLOR;
    format.crBackColor = colours.background;
  }
  SendMessageW(edit, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  if (colours.set_background) SendMessageW(edit, EM_SETBKGNDCOLOR, 0, colours.background);
}

void theme_child(HWND child, bool dark) {
  // Class names of the controls the program knows fit in 31 characters.
  wchar_t class_name[32] = {};
  if (GetClassNameW(child, class_name, 32) == 0) return;
  allow_dark_for_window(child, dark);
  const ControlKind kind = classify_control_class(class_name);
  switch (kind) {
    case ControlKind::button: theme_button(child, dark); break;
    case ControlKind::static_text: {
      const auto style = static_cast<std::uint32_t>(GetWindowLongPtrW(child, GWL_STYLE));
      set_painter(child, Painter::etched_line, dark && is_etched_horizontal_line(style));
      break;
    }
    case ControlKind::combo_box: theme_combo_box(child, dark); break;
    case ControlKind::combo_box_ex: theme_combo_box_ex(child, dark); break;
    case ControlKind::list_view: theme_list_view(child, dark); break;
    case ControlKind::tree_view: theme_tree_view(child, dark); break;
    case ControlKind::tab: set_painter(child, Painter::tab, dark); break;
    case ControlKind::rebar: set_painter(child, Painter::rebar, dark); break;
    case ControlKind::rich_edit: theme_rich_edit(child, dark); break;
    case ControlKind::progress: set_painter(child, Painter::progress, dark); break;
    case ControlKind::link: set_painter(child, Painter::link, dark); break;
    case ControlKind::edit:
    case ControlKind::status_bar:
    case ControlKind::list_box:
    case ControlKind::other: apply_visual_style(child, visual_style_for(kind, dark)); break;
  }
}

struct TreeWalk {
  HWND parent;
  bool dark;
};

BOOL CALLBACK theme_direct_child(HWND child, LPARAM data) {
  const auto* walk = reinterpret_cast<const TreeWalk*>(data);
  // EnumChildWindows visits every descendant; only the dialog's own controls
  // are themed here (a combo box's edit, for one, is handled with its combo).
  if (GetParent(child) == walk->parent) theme_child(child, walk->dark);
  return TRUE;
}

void repaint_all(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

BOOL CALLBACK retheme_owned_window(HWND window, LPARAM main_window) {
  if (IsWindowVisible(window) && GetParent(window) == reinterpret_cast<HWND>(main_window)) {
    theme_window_tree(window);
    repaint_all(window);
  }
  return TRUE;
}

}  // namespace

void init_dark_mode() {
  ThemeState& s = state();
  s.forced = force_dark_requested();
  DarkModeApi& api = s.api;
  auto get_version =
      lookup<GetNtVersionNumbers>(GetModuleHandleW(L"ntdll.dll"), "RtlGetNtVersionNumbers");
  bool accepted_build = false;
  if (get_version != nullptr) {
    DWORD major = 0;
    DWORD minor = 0;
    DWORD reported_build = 0;
    get_version(&major, &minor, &reported_build);
    api.build = strip_build_flags(reported_build);
    accepted_build = is_dark_mode_build(major, minor, api.build);
  }
  if (accepted_build) {
    HMODULE theme_library = LoadLibraryExW(L"uxtheme.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (theme_library != nullptr) {
      const bool looked_up_only =
          lookup<FARPROC>(theme_library, ordinal_refresh_colour_policy) != nullptr &&
          lookup<FARPROC>(theme_library, ordinal_open_nc_theme_data) != nullptr;
      api.should_apps_use_dark =
          lookup<ShouldAppsUseDark>(theme_library, ordinal_should_apps_use_dark);
      api.allow_dark_for_window =
          lookup<AllowDarkForWindow>(theme_library, ordinal_allow_dark_for_window);
      if (uses_preferred_app_mode(api.build))
        api.set_preferred_app_mode = lookup<SetPreferredAppMode>(theme_library, ordinal_app_mode);
      else
        api.allow_dark_for_app = lookup<AllowDarkForApp>(theme_library, ordinal_app_mode);
      api.flush_menu_themes = lookup<FlushMenuThemes>(theme_library, ordinal_flush_menu_themes);
      api.is_dark_allowed_for_window =
          lookup<IsDarkAllowedForWindow>(theme_library, ordinal_is_dark_allowed_for_window);
      s.supported = looked_up_only && api.should_apps_use_dark != nullptr &&
                    api.allow_dark_for_window != nullptr &&
                    (api.set_preferred_app_mode != nullptr || api.allow_dark_for_app != nullptr) &&
                    api.flush_menu_themes != nullptr && api.is_dark_allowed_for_window != nullptr;
    }
    api.set_composition_attribute = lookup<SetCompositionAttribute>(
        GetModuleHandleW(L"user32.dll"), "SetWindowCompositionAttribute");
  }
  if (s.forced) s.supported = true;
}

void start_theme_from_settings() {
  init_dark_mode();
  if (!dark_mode_supported()) return;
  const auto choice = static_cast<ThemeChoice>(app::read_setting_int(app::key_theme, 0));
  set_theme_choice(choice);
  set_app_dark(wants_dark(choice, choice == ThemeChoice::system && system_prefers_dark()));
}

bool dark_mode_supported() { return state().supported; }
bool dark_mode_active() { return state().active; }
bool apps_dark_effective() { return state().apps_dark; }
ThemeChoice theme_choice() { return state().choice; }
void set_theme_choice(ThemeChoice choice) { state().choice = choice; }

void set_app_dark(bool dark) {
  ThemeState& s = state();
  if (!s.supported) return;
  if (s.api.allow_dark_for_app != nullptr) {
    s.api.allow_dark_for_app(dark);
  } else if (s.api.set_preferred_app_mode != nullptr) {
    s.api.set_preferred_app_mode(dark ? preferred_app_mode_force_dark : preferred_app_mode_default);
  }
  if (s.api.flush_menu_themes != nullptr) s.api.flush_menu_themes();
  s.active = dark;
  s.apps_dark = system_apps_dark() && !is_high_contrast();
}

bool is_high_contrast() {
  HIGHCONTRASTW high_contrast{};
  high_contrast.cbSize = sizeof(high_contrast);
  if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(high_contrast), &high_contrast, 0))
    return false;
  return (high_contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool system_prefers_dark() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  DWORD value = 1;
  DWORD type = 0;
  DWORD size = sizeof(value);
  const bool read = RegQueryValueExW(key, L"AppsUseLightTheme", nullptr, &type,
                                     reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                    type == REG_DWORD && size == sizeof(value);
  RegCloseKey(key);
  return prefers_dark_from_setting(read, value, is_high_contrast());
}

void apply_theme_choice(HWND window, ThemeChoice choice, bool store) {
  if (store) {
    set_theme_choice(choice);
    app::write_setting_int(app::key_theme, static_cast<int>(choice));
  }
  const bool dark = wants_dark(choice, choice == ThemeChoice::system && system_prefers_dark());
  if (dark == dark_mode_active()) return;
  set_app_dark(dark);
  theme_window_tree(window);
  repaint_all(window);
}

void follow_system_theme(HWND main_window) {
  if (theme_choice() != ThemeChoice::system) return;
  apply_theme_choice(main_window, ThemeChoice::system, false);
  EnumThreadWindows(GetCurrentThreadId(), retheme_owned_window,
                    reinterpret_cast<LPARAM>(main_window));
}

void set_title_bar_dark(HWND window) {
  const ThemeState& s = state();
  if (!s.supported) return;
  const bool allowed = s.api.is_dark_allowed_for_window != nullptr
                           ? s.api.is_dark_allowed_for_window(window)
                           : s.forced && s.active;
  BOOL dark = allowed && system_apps_dark() && !is_high_contrast() ? TRUE : FALSE;
  if (uses_preferred_app_mode(s.api.build)) {
    if (s.api.set_composition_attribute != nullptr) {
      CompositionAttributeData data{composition_use_dark_colours, &dark, sizeof(dark)};
      s.api.set_composition_attribute(window, &data);
    }
  } else {
    SetPropW(window, L"UseImmersiveDarkModeColors",
             reinterpret_cast<HANDLE>(static_cast<INT_PTR>(dark)));
  }
}

void theme_window_tree(HWND window) {
  const bool dark = dark_mode_active();
  allow_dark_for_window(window, dark);
  set_title_bar_dark(window);
  set_painter(window, Painter::dialog_colours, dark);
  TreeWalk walk{window, dark};
  EnumChildWindows(window, theme_direct_child, reinterpret_cast<LPARAM>(&walk));
}

COLORREF theme_text_colour() {
  return ui::theme_text_colour(dark_mode_active(), current_system_colours());
}

}  // namespace kestrel::ui
