#include "app/core/build_report.h"

#include <algorithm>
#include <cwchar>

#include "app/core/language_table.h"
#include "engine/boot_platforms.h"

namespace kestrel::app {

std::wstring failed_build_text(BuildError error, std::wstring_view path,
                               std::wstring_view system_message) {
  std::wstring text(language_text(slot_build_failed));
  if (error != BuildError::none) {
    text += L"\n\n";
    text += format_slot_text(language_text(build_error_slot(error)), path);
  }
  if (!system_message.empty()) {
    text += L"\n\n";
    text += format_slot_text(language_text(slot_system_error), system_message);
  }
  return text;
}

namespace {

std::wstring clip_number_text(uint16_t clip) {
  wchar_t digits[8];
  std::swprintf(digits, 8, L"%05u", static_cast<unsigned>(clip));
  return digits;
}

std::wstring stereo_reason_text(const WarningLine& line) {
  const std::wstring_view pattern = language_text(stereo_failure_slot(line.stereo.reason));
  return format_slot_text(pattern, {line.path, std::to_wstring(line.stereo.found_sectors),
                                    std::to_wstring(line.stereo.stated_sectors)});
}

// Firmware names as the report lists them: "BIOS + UEFI".
std::wstring joined_names(const std::vector<std::wstring>& names) {
  std::wstring text;
  for (const std::wstring& name : names) {
    if (!text.empty()) text += L" + ";
    text += name;
  }
  return text;
}

}  // namespace

std::wstring warning_line_text(const WarningLine& line) {
  const std::wstring_view pattern = language_text(build_warning_slot(line.warning));
  if (line.warning != BuildWarning::stereo_title_not_interleaved)
    return format_slot_text(pattern, line.path);
  return format_slot_text(pattern,
                          {clip_number_text(line.stereo.base_clip),
                           clip_number_text(line.stereo.dependent_clip), stereo_reason_text(line)});
}

std::wstring warnings_text(const std::vector<WarningLine>& warnings, std::size_t listed) {
  std::wstring text(language_text(slot_build_warnings));
  text += L"\n";
  std::size_t shown = 0;
  for (const WarningLine& line : warnings) {
    if (shown == listed) break;
    text += L"\n";
    text += warning_line_text(line);
    ++shown;
  }
  if (warnings.size() > shown) {
    text += L"\n";
    text += format_slot_text(language_text(slot_more_warnings),
                             std::to_wstring(warnings.size() - shown));
  }
  return text;
}

BootSummary boot_summary(const BuildJob& job) {
  BootSummary summary;
  for (const BootPlatformInfo& platform : boot_platforms()) {
    const std::wstring name(platform.name.begin(), platform.name.end());
    if (std::any_of(job.boot_files.begin(), job.boot_files.end(),
                    [&](const BootFile& file) { return file.platform == platform.platform; }))
      summary.firmware.push_back(name);
    if (std::find(job.disk_boot_platforms.begin(), job.disk_boot_platforms.end(),
                  platform.platform) != job.disk_boot_platforms.end())
      summary.disk_firmware.push_back(name);
  }
  return summary;
}

std::wstring bootable_text(const BootSummary& boot) {
  std::wstring text =
      format_slot_text(language_text(slot_bootable_image), joined_names(boot.firmware));
  if (!boot.disk_firmware.empty()) {
    text += L"\n";
    text += format_slot_text(language_text(slot_usb_disk_boot), joined_names(boot.disk_firmware));
  }
  return text;
}

std::wstring finished_build_text(const BootSummary& boot,
                                 const std::vector<WarningLine>& warnings) {
  std::wstring text = boot.bootable() ? bootable_text(boot) : std::wstring();
  if (warnings.empty()) return text;
  if (!text.empty()) text += L"\n\n";
  return text + warnings_text(warnings, listed_warnings);
}

std::wstring path_too_long_text(std::wstring_view path) {
  return format_slot_text(language_text(slot_path_too_long), path);
}

}  // namespace kestrel::app
