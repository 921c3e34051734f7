#include "app/core/build_report.h"

#include <algorithm>
#include <cwchar>

#include "app/core/language_table.h"
#include "disc/volume_settings.h"
#include "engine/boot_platforms.h"
#include "engine/disc_media.h"

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

// " -> new name (UDF)": the names of the file systems are not translated,
// like the layouts'. The new name's UTF-16 units are the wide characters of
// Windows.
std::wstring renamed_text(const RenamedEntry& renamed) {
  if (renamed.new_name.empty()) return {};
  const wchar_t* file_system = renamed.file_system == NamingFileSystem::iso9660  ? L"ISO 9660"
                               : renamed.file_system == NamingFileSystem::joliet ? L"Joliet"
                                                                                 : L"UDF";
  return L" \u2192 " + std::wstring(renamed.new_name.begin(), renamed.new_name.end()) + L" (" +
         file_system + L")";
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
  if (line.warning == BuildWarning::name_shortened ||
      line.warning == BuildWarning::name_made_unique)
    return format_slot_text(pattern, line.path) + renamed_text(line.renamed);
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

namespace {

// Media are named by their capacity, as the discs are sold in every language.
const wchar_t* medium_name(DiscMedium medium) {
  switch (medium) {
    case DiscMedium::cd74: return L"CD 650 MB";
    case DiscMedium::cd80: return L"CD 700 MB";
    case DiscMedium::dvd5: return L"DVD 4.7 GB";
    case DiscMedium::dvd9: return L"DVD DL 8.5 GB";
    case DiscMedium::bd25: return L"BD 25 GB";
    case DiscMedium::bd50: return L"BD 50 GB";
    case DiscMedium::bd100: return L"BD 100 GB";
    case DiscMedium::bd128: return L"BD 128 GB";
  }
  return L"BD";
}

// Megabytes of 1,000,000 bytes with one decimal.
std::wstring megabytes_text(uint64_t bytes) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%.1f", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace

std::wstring built_image_text(const BuiltImage& image) {
  const std::wstring size = megabytes_text(uint64_t{image.sectors} * sector_bytes);
  const std::vector<DiscMedium> media = media_that_hold(image.sectors);
  std::wstring text;
  if (media.empty()) {
    text = format_slot_text(language_text(slot_fits_on_nothing), size);
  } else {
    std::wstring names;
    for (const DiscMedium medium : media) {
      if (!names.empty()) names += L", ";
      names += medium_name(medium);
    }
    text = format_slot_text(language_text(slot_fits_on), {size, names});
  }
  if (image.files_stored_once > 0) {
    text += L"\n";
    text += format_slot_text(
        language_text(slot_stored_once),
        {std::to_wstring(image.files_stored_once), megabytes_text(image.bytes_saved)});
  }
  return text;
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

std::wstring finished_build_text(const BuiltImage& image, const BootSummary& boot,
                                 const std::vector<WarningLine>& warnings) {
  std::wstring text = boot.bootable() ? bootable_text(boot) + L"\n\n" : std::wstring();
  text += built_image_text(image);
  if (warnings.empty()) return text;
  return text + L"\n\n" + warnings_text(warnings, listed_warnings);
}

std::wstring path_too_long_text(std::wstring_view path) {
  return format_slot_text(language_text(slot_path_too_long), path);
}

}  // namespace kestrel::app
