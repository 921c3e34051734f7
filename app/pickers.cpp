// The folder picker, the save-file picker and folders dropped on the window.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/core/build_report.h"
#include "app/core/language_table.h"
#include "app/core/shell_paths.h"
#include "app/main_window.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "ui/message_box.h"

namespace kestrel::app {

namespace {

bool windows_vista_or_later() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&version)) return true;
#pragma GCC diagnostic pop
  return version.dwMajorVersion > 5;
}

// The item dialog in folder mode. Returns false when it cannot be created,
// so the caller falls back to the older folder browser.
bool pick_folder_with_item_dialog(HWND window, const std::wstring& start, std::wstring& chosen) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IFileOpenDialog, reinterpret_cast<void**>(&dialog))))
    return false;
  IShellItem* folder = nullptr;
  if (!start.empty() &&
      SUCCEEDED(SHCreateItemFromParsingName(start.c_str(), nullptr, IID_IShellItem,
                                            reinterpret_cast<void**>(&folder)))) {
    dialog->SetFolder(folder);
    folder->Release();
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
  if (SUCCEEDED(dialog->Show(window))) {
    IShellItem* result = nullptr;
    if (SUCCEEDED(dialog->GetResult(&result))) {
      wchar_t* path = nullptr;
      if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        chosen = path;
        CoTaskMemFree(path);
      }
      result->Release();
    }
  }
  dialog->Release();
  return true;
}

int CALLBACK folder_browser_callback(HWND dialog, UINT message, LPARAM lparam, LPARAM data) {
  if (message == BFFM_INITIALIZED) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  } else if (message == BFFM_SELCHANGED) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lparam), path))
      SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
  }
  return 0;
}

void pick_folder_with_browser(HWND window, const std::wstring& start, std::wstring& chosen) {
  BROWSEINFOW info = {};
  info.hwndOwner = window;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  info.lpfn = folder_browser_callback;
  info.lParam = reinterpret_cast<LPARAM>(start.c_str());
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
  if (list == nullptr) return;
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(list, path)) chosen = path;
  CoTaskMemFree(list);
}

std::wstring dialog_text(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

void browse_source(HWND window) {
  std::wstring start = dialog_text(window, IDC_SOURCE);
  if (!is_existing_folder(start)) start = documents_folder();
  if (FAILED(CoInitialize(nullptr))) return;
  std::wstring chosen;
  if (!windows_vista_or_later() || !pick_folder_with_item_dialog(window, start, chosen))
    pick_folder_with_browser(window, start, chosen);
  CoUninitialize();
  if (!chosen.empty()) set_source(window, chosen, std::nullopt, std::nullopt);
}

void browse_target(HWND window) {
  std::wstring text = dialog_text(window, IDC_TARGET);
  if (text.empty()) text = dialog_text(window, IDC_SOURCE);
  std::wstring initial = initial_save_name(text);
  if (initial.size() >= path_buffer_chars) initial.clear();

  wchar_t file[path_buffer_chars] = {};
  initial.copy(file, initial.size());
  const std::wstring filter = std::wstring(language_text(slot_save_filter));
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = window;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = file;
  dialog.nMaxFile = path_buffer_chars;
  // The target is usually a new file, so the name need not exist yet.
  dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_ENABLESIZING;
  if (!GetSaveFileNameW(&dialog)) return;

  std::wstring picked = file;
  if (picked_name_needs_extension(picked)) picked += L".iso";
  if (picked.size() >= path_buffer_chars) {
    ui::show_message_box(window, path_too_long_text(picked), MB_OK | MB_ICONWARNING);
    return;
  }
  SetDlgItemTextW(window, IDC_TARGET, picked.c_str());
  HWND start = GetDlgItem(window, IDC_START);
  EnableWindow(start, TRUE);
  SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(start), TRUE);
}

void handle_drop(HWND window, HDROP drop) {
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
  // The first item only, at its full length.
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring path(length + 1, L'\0');
  path.resize(DragQueryFileW(drop, 0, path.data(), length + 1));
  DragFinish(drop);
  if (path.empty() || !is_existing_folder(path)) return;
  // Only a folder beside the dropped one makes a disc: a file named "BDMV"
  // does not, as for the layout the build gets (describe_source).
  path = prefer_disc_parent(path, is_existing_folder);
  set_source(window, path, std::nullopt, std::nullopt);
}

}  // namespace kestrel::app
