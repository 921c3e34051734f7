// kestrel-cli: builds one disc image from one folder, for scripts and for
// systems without the Windows program.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cli/command_line.h"
#include "cli/map_listing.h"
#include "cli/messages.h"
#include "cli/report.h"
#include "engine/build_job.h"
#include "engine/fs_detection.h"
#include "kestrel/version.h"
#include "platform/console.h"
#include "platform/file_system.h"

namespace kestrel::cli {
namespace {

constexpr int exit_success = 0;
constexpr int exit_build_failed = 1;
constexpr int exit_usage = 2;
constexpr int exit_target_exists = 3;
constexpr int exit_interrupted = 130;

// Volume labels keep at most this many characters.
constexpr size_t label_limit = 127;

// Ctrl-C cancels the build: the handler sets the job's cancel flag itself,
// so that a run without a progress line can simply wait for the worker.
// `interrupted` keeps a Ctrl-C that comes before the job exists.
volatile std::sig_atomic_t interrupted = 0;
std::atomic<std::atomic<bool>*> cancel_flag{nullptr};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

extern "C" void on_interrupt(int) {
  interrupted = 1;
  if (std::atomic<bool>* flag = cancel_flag.load()) flag->store(true);
}

void print_error(const std::string& sentence) {
  std::fprintf(stderr, "kestrel-cli: %s\n", sentence.c_str());
}

double megabytes(uint64_t sectors) { return static_cast<double>(sectors) * 2048.0 / 1e6; }

int stop_interrupted() {
  print_error("Interrupted; no image was written.");
  return exit_interrupted;
}

// Writes the JSON report; false, with the reason told, when it cannot.
bool write_json_report(const NativeString& path, const RunRecord& record) {
  const std::string report = json_report(record);
  FileHandle file;
  if (!file.open(path, file_mode_write | file_mode_create_always) ||
      file.write(report.data(), report.size()) != report.size()) {
    print_error("The report \"" + display_text(path) +
                "\" cannot be written: " + describe_system_error(file.last_error()) + ".");
    return false;
  }
  return true;
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
              const BootSetup& boot, NameExtensions name_extensions) {
  const auto job = map_build(source, label, fs_code, boot, name_extensions);
  for (const BuildWarningEntry& warning : job->warnings) {
    std::fprintf(stderr, "kestrel-cli: warning: %s\n", describe_warning(warning).c_str());
  }
  if (job->outcome != BuildOutcome::succeeded) {
    print_error(describe_error(job->error));
    return exit_build_failed;
  }
  std::fprintf(stdout, "%s, %u files, %u folders, %u sectors (%.1f MB)%s\n%s",
               layout_description(*job).c_str(), job->file_count, job->directory_count,
               job->image_sectors, megabytes(job->image_sectors), boot_description(*job).c_str(),
               format_disc_map(job->map).c_str());
  return exit_success;
}

// The boot files of the build: the ones the switches name, else the ones
// recognised in the folder, with the BIOS entry's options from the
// switches. False, with the sentence for the user, on a mistake.
bool choose_boot_files(const CommandLine& command, const NativeString& source,
                       const SourceDescription& description, BootSetup& boot, std::string& error) {
  boot = BootSetup{};
  if (command.no_boot) return true;
  const bool explicit_files = command.boot_bios || command.boot_efi;
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
    const std::pair<const std::optional<NativeString>&, BootPlatform> given[] = {
        {command.boot_bios, BootPlatform::bios}, {command.boot_efi, BootPlatform::uefi}};
    for (const auto& [path, platform] : given) {
      if (!path) continue;
      NativeString inside = *path;
      while (!inside.empty() && is_path_separator(inside.front())) inside.erase(0, 1);
      FindEntry entry;
      if (inside.empty() || !stat_path(folder + inside, entry) || entry.is_directory) {
        error = "The boot file \"" + display_text(*path) +
                "\" is not a file in the source folder \"" + display_text(source) + "\".";
        return false;
      }
      boot.files.push_back(BootFile{platform, inside, 0, false});
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
    std::fputs(usage_text, stdout);
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
  // From here on an interrupt stops the build, and is taken as early as
  // possible: a background job ignores SIGINT until the handler is set, and
  // listing a wide source folder for its disc folders and boot files already
  // takes a moment.
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  const SourceDescription description = describe_source(source);
  const LayoutDecision decision = decide_layout(description, command.layout);
  BootSetup boot;
  std::string boot_error;
  if (!choose_boot_files(command, source, description, boot, boot_error)) {
    print_error(boot_error);
    return exit_usage;
  }
  if (interrupted) return stop_interrupted();
  if (command.show_map) {
    // The map is made on this thread, which nothing interrupts: Ctrl-C ends it.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return print_map(source, label, decision.fs_code, boot, command.name_extensions());
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
  SystemError folder_error = 0;
  const NativeString target_folder = parent_path(output);
  if (!target_folder.empty() && !create_directories(target_folder, &folder_error)) {
    print_error("The folder \"" + display_text(target_folder) +
                "\" for the image cannot be created: " + describe_system_error(folder_error) + ".");
    return exit_build_failed;
  }

  const auto started = std::chrono::steady_clock::now();
  auto job =
      start_build(source, label, decision.fs_code, output, "Kestrel",
                  "Kestrel " KESTREL_VERSION_TEXT, true, nullptr, boot, command.name_extensions());
  cancel_flag.store(&job->cancel_requested);
  if (interrupted) job->cancel_requested.store(true);
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
  cancel_flag.store(nullptr);
  if (live) std::fprintf(stderr, "\r%*s\r", 70, "");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  for (const BuildWarningEntry& warning : job->warnings) {
    std::fprintf(stderr, "kestrel-cli: warning: %s\n", describe_warning(warning).c_str());
  }
  std::optional<LayoutChoice> requested;
  if (command.layout_given) requested = command.layout;
  const RunRecord record{*job, output, requested, decision, description, seconds};
  const bool reported = !command.json_report || write_json_report(*command.json_report, record);
  if (job->outcome == BuildOutcome::cancelled) {
    return stop_interrupted();
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
