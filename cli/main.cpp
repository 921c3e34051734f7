// kestrel-cli: builds one disc image from one folder, for scripts and for
// systems without the Windows program.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cli/command_line.h"
#include "cli/help_text.h"
#include "cli/map_listing.h"
#include "cli/messages.h"
#include "cli/report.h"
#include "cli/report_file.h"
#include "engine/boot_platforms.h"
#include "engine/build_job.h"
#include "engine/fs_detection.h"
#include "kestrel/version.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/stop_requests.h"

namespace kestrel::cli {
namespace {

constexpr int exit_success = 0;
constexpr int exit_build_failed = 1;
constexpr int exit_usage = 2;
constexpr int exit_target_exists = 3;

// Volume labels keep at most this many characters.
constexpr size_t label_limit = 127;

void print_error(const std::string& sentence) {
  std::fprintf(stderr, "kestrel-cli: %s\n", sentence.c_str());
}

double megabytes(uint64_t sectors) { return static_cast<double>(sectors) * 2048.0 / 1e6; }

// A signal (or console event) stopped the build: it removed its temporary
// file and left an existing image as it was.
int stop_interrupted() {
  print_error("Interrupted; no image was written.");
  const int status = stop_exit_status();
  return status != 0 ? status : exit_build_failed;
}

// The finished image found its name taken (the build was told to keep an
// existing file there).
bool target_appeared(const BuildErrorInfo& error) {
  return error.error == BuildError::output_rename_failed &&
         is_file_exists_error(error.system_error);
}

void show_progress(const BuildJob& job, std::chrono::steady_clock::time_point started) {
  const uint32_t done = job.sectors_done.load(std::memory_order_relaxed);
  const uint32_t total = job.sectors_total.load(std::memory_order_relaxed);
  if (total == 0) {
    std::fprintf(stderr, "\rScanning the source folder...");
    std::fflush(stderr);
    return;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const double rate = seconds > 0 ? megabytes(done) / seconds : 0;
  const double left = rate > 0 ? (megabytes(total) - megabytes(done)) / rate : 0;
  std::fprintf(stderr, "\r%3u%%  %.1f / %.1f MB  %.1f MB/s  %d s left   ",
               static_cast<unsigned>(static_cast<uint64_t>(done) * 100 / total), megabytes(done),
               megabytes(total), rate, static_cast<int>(left + 0.5));
  std::fflush(stderr);
}

// -map: scans and lays out the image without writing it, and prints its areas.
int print_map(const NativeString& source, std::u16string_view label, int32_t fs_code,
              const BuildOptions& options) {
  const auto job = map_build(source, label, fs_code, options);
  for (const BuildWarningEntry& warning : job->warnings) {
    std::fprintf(stderr, "kestrel-cli: warning: %s\n", describe_warning(warning).c_str());
  }
  if (job->outcome != BuildOutcome::succeeded) {
    print_error(describe_error(job->error));
    return exit_build_failed;
  }
  const std::string disk = disk_boot_description(*job);
  std::fprintf(stdout, "%s, %u files, %u folders, %u sectors (%.1f MB)%s\n%s%s%s",
               layout_description(*job).c_str(), job->file_count, job->directory_count,
               job->image_sectors, megabytes(job->image_sectors), boot_description(*job).c_str(),
               disk.empty() ? "" : disk.c_str(), disk.empty() ? "" : "\n",
               format_disc_map(job->map).c_str());
  std::fputs(format_map_totals(job->image_sectors, job->shared).c_str(), stdout);
  return exit_success;
}

// The MBR boot code of -boot-hybrid-mbr FILE, which must be a hybrid MBR code
// this program knows and start the image's BIOS boot file.
bool choose_mbr_code(const NativeString& given, const NativeString& folder, BootSetup& boot,
                     std::string& error) {
  const BootFile* bios = nullptr;
  for (const BootFile& file : boot.files) {
    if (file.platform == BootPlatform::bios) bios = &file;
  }
  if (bios == nullptr) {
    error =
        "-boot-hybrid-mbr needs a BIOS boot file, recognised in the folder or named with "
        "-boot-bios.";
    return false;
  }
  const NativeString code_path = canonical_path(given);
  NativeString bios_path = folder + bios->path;
  std::replace(bios_path.begin() + static_cast<std::ptrdiff_t>(folder.size()), bios_path.end(),
               NativeChar('/'), native_separator);
  MbrCodeKind kind = MbrCodeKind::none;
  const std::string shown = "\"" + display_text(given) + "\"";
  switch (check_mbr_code(code_path, bios_path, kind)) {
    case MbrCodeCheck::ok: break;
    case MbrCodeCheck::unreadable:
      error = "The MBR boot code " + shown + " cannot be read.";
      return false;
    case MbrCodeCheck::unknown_code:
      error = shown +
              " is no hybrid MBR boot code that kestrel-cli knows; it takes GRUB's "
              "boot_hybrid.img and ISOLINUX's isohdpfx.bin.";
      return false;
    case MbrCodeCheck::boot_file_mismatch: {
      const std::string loader(mbr_code_loader(kind).loader_name);
      error = shown + " is " + loader + "'s MBR boot code, but the BIOS boot file \"" +
              display_text(bios->path) + "\" is not the " + loader + " loader it starts.";
      return false;
    }
  }
  boot.mbr_code = MbrBootCode{kind, code_path, false};
  return true;
}

// The boot files of the build: the ones the switches name, else the ones
// recognised in the folder, with the BIOS entry's options from the
// switches. False, with the sentence for the user, on a mistake.
bool choose_boot_files(const CommandLine& command, const NativeString& source,
                       const SourceDescription& description, BootSetup& boot, std::string& error) {
  boot = BootSetup{};
  if (command.no_boot) return true;
  const bool explicit_files = !command.boot_files.empty();
  if (command.has_boot_switches() && description.kind != DiscKind::plain) {
    error =
        "The source is a Blu-ray or DVD-video folder, whose layout is fixed; it cannot be "
        "made bootable.";
    return false;
  }
  NativeString folder = source;
  if (!folder.empty() && !is_path_separator(folder.back())) folder += native_separator;
  if (!explicit_files) {
    boot = recognise_boot_files(source, description);
  } else {
    // In the platforms' order, whatever the order of the switches: the first
    // is the catalog's initial entry.
    for (const BootPlatformInfo& platform : boot_platforms()) {
      const NativeString* path = command.boot_file(platform.platform);
      if (path == nullptr) continue;
      NativeString inside = *path;
      while (!inside.empty() && is_path_separator(inside.front())) inside.erase(0, 1);
      FindEntry entry;
      if (inside.empty() || !stat_path(folder + inside, entry) || entry.is_directory) {
        error = "The boot file \"" + display_text(*path) +
                "\" is not a file in the source folder \"" + display_text(source) + "\".";
        return false;
      }
      boot.files.push_back(BootFile{platform.platform, inside, 0, false});
    }
  }
  if (command.boot_load_size || command.boot_info_table) {
    BootFile* bios = nullptr;
    for (BootFile& file : boot.files) {
      if (file.platform == BootPlatform::bios) bios = &file;
    }
    if (bios == nullptr) {
      error = "-boot-load-size and -boot-info-table need a BIOS boot file (-boot-bios FILE).";
      return false;
    }
    if (command.boot_load_size) bios->load_sectors = *command.boot_load_size;
    if (command.boot_info_table) bios->info_table = true;
  }
  if (command.no_hybrid) {
    boot.disk_tables = false;
    boot.mbr_code = MbrBootCode{};
  } else if (command.boot_hybrid_mbr) {
    return choose_mbr_code(*command.boot_hybrid_mbr, folder, boot, error);
  }
  return true;
}

// The folder's own name, for the default label and image name.
NativeString folder_name(const NativeString& canonical_folder) {
  return last_path_component(canonical_folder);
}

int run(const std::vector<NativeString>& arguments) {
  const ParseResult parsed = parse_command_line(arguments);
  if (!parsed.ok) {
    print_error(parsed.error);
    return exit_usage;
  }
  const CommandLine& command = parsed.command;
  if (command.show_help) {
    std::fputs(usage_text().c_str(), stdout);
    return exit_success;
  }
  if (command.show_version) {
    std::puts("kestrel-cli " KESTREL_VERSION_TEXT);
    return exit_success;
  }

  const NativeString source = canonical_path(command.source);
  if (source.empty() || !path_exists(source)) {
    print_error("The source folder \"" + display_text(command.source) + "\" does not exist.");
    return exit_usage;
  }
  if (!is_directory(source)) {
    print_error("The source \"" + display_text(command.source) + "\" is not a folder.");
    return exit_usage;
  }
  const NativeString name = folder_name(source);
  std::u16string label = command.label ? *command.label : image_name_from_native(name);
  if (label.size() > label_limit) label.resize(label_limit);
  // From here on a signal stops the build, and is taken as early as
  // possible: listing a wide source folder for its disc folders and boot
  // files already takes a moment.
  catch_stop_requests();
  // One listing serves the layout, the boot files and the build.
  const auto shared_description =
      std::make_shared<const SourceDescription>(describe_source(source));
  const SourceDescription& description = *shared_description;
  const LayoutDecision decision = decide_layout(description, command.layout);
  BuildOptions options;
  options.source_description = shared_description;
  std::string boot_error;
  if (!choose_boot_files(command, source, description, options.boot, boot_error)) {
    print_error(boot_error);
    return exit_usage;
  }
  options.store_equal_files_once = command.dedupe;
  options.name_extensions = command.name_extensions();
  if (stop_requested()) return stop_interrupted();
  if (command.show_map) {
    // The map is made on this thread and writes nothing: a signal ends it.
    release_stop_requests();
    return print_map(source, label, decision.fs_code, options);
  }

  NativeString output = command.output ? *command.output : name + KESTREL_NATIVE(".iso");
  if (output.empty() || is_path_separator(output.back())) {
    if (command.output && !output.empty()) output += name + KESTREL_NATIVE(".iso");
  }
  if (last_path_component(output).find(NativeChar('.')) == NativeString::npos)
    output += KESTREL_NATIVE(".iso");
  output = canonical_path(output);
  if (output.empty()) {
    print_error("The image path cannot be made absolute.");
    return exit_usage;
  }
  if (is_directory(output)) {
    print_error("The image path \"" + display_text(output) + "\" is a folder.");
    return exit_usage;
  }
  if (path_exists(output) && !command.replace_existing) {
    print_error("The image \"" + display_text(output) +
                "\" already exists; use -yes to replace it.");
    return exit_target_exists;
  }
  // The report follows the image's rule for an existing file, and may be
  // neither the image nor in the source.
  std::optional<NativeString> report_path;
  if (command.json_report) {
    const ReportPathCheck check =
        check_report_path(*command.json_report, output, source, command.replace_existing);
    if (check.problem != ReportPathProblem::none) {
      print_error(check.sentence);
      return check.problem == ReportPathProblem::exists ? exit_target_exists : exit_usage;
    }
    report_path = check.path;
  }
  SystemError folder_error = 0;
  const NativeString target_folder = parent_path(output);
  if (!target_folder.empty() && !create_directories(target_folder, &folder_error)) {
    print_error("The folder \"" + display_text(target_folder) +
                "\" for the image cannot be created: " + describe_system_error(folder_error) + ".");
    return exit_build_failed;
  }

  const auto started = std::chrono::steady_clock::now();
  // Without -yes the image takes the target's name only if that is still
  // free when the image is complete: another build may have written it since.
  options.existing_target =
      command.replace_existing ? ExistingTarget::replace : ExistingTarget::keep;
  auto job = start_build(source, label, decision.fs_code, output, "Kestrel",
                         "Kestrel " KESTREL_VERSION_TEXT, true, nullptr, options);
  set_stop_flag(&job->cancel_requested);
  // Redraw the progress line a few times a second; without one, wait for the
  // worker to end, so that a small build ends without the delay of a poll.
  const bool live = !command.quiet && is_terminal(stderr);
  for (unsigned tick = 0; live && job->thread.joinable() &&
                          job->state.load(std::memory_order_acquire) != build_state_finished;
       ++tick) {
    if (tick % 10 == 0) show_progress(*job, started);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  wait_for_build(*job);
  set_stop_flag(nullptr);
  if (live) std::fprintf(stderr, "\r%*s\r", 70, "");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  for (const BuildWarningEntry& warning : job->warnings) {
    std::fprintf(stderr, "kestrel-cli: warning: %s\n", describe_warning(warning).c_str());
  }
  std::optional<LayoutChoice> requested;
  if (command.layout_given) requested = command.layout;
  const RunRecord record{*job, output, requested, decision, description, seconds};
  std::string report_error;
  const bool reported = !report_path || write_report_file(*report_path, json_report(record),
                                                          options.existing_target, report_error);
  if (!reported) print_error(report_error);
  if (job->outcome == BuildOutcome::cancelled) {
    return stop_interrupted();
  }
  if (job->outcome != BuildOutcome::succeeded && target_appeared(job->error)) {
    print_error("The image \"" + display_text(output) +
                "\" already exists: another program wrote it while this build ran. It was "
                "left as it is; use -yes to replace it.");
    return exit_target_exists;
  }
  if (job->outcome != BuildOutcome::succeeded) {
    print_error(describe_error(job->error) + " No image was written.");
    return exit_build_failed;
  }
  if (!command.quiet) std::fputs(summary_text(record).c_str(), stdout);
  if (!reported) return exit_build_failed;
  return exit_success;
}

}  // namespace
}  // namespace kestrel::cli

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  kestrel::use_utf8_console();
  std::vector<kestrel::NativeString> arguments(argv + 1, argv + argc);
  return kestrel::cli::run(arguments);
}
#else
int main(int argc, char** argv) {
  std::vector<kestrel::NativeString> arguments(argv + 1, argv + argc);
  return kestrel::cli::run(arguments);
}
#endif
