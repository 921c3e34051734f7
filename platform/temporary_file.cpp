// Temporary files beside their targets: the unique name, the exclusive
// creation and the move into place.
#include "platform/temporary_file.h"

#include <atomic>
#include <string>

namespace kestrel {
namespace {

constexpr NativeStringView temporary_ending = KESTREL_NATIVE(".kestrel-part");

// Names tried before giving up: each taken one is a file of another build of
// this process number (the same number of an earlier, ended process
// included), so only a folder crowded with left-overs runs out.
constexpr uint32_t name_attempts = 1000;

// Shared by all builds of the process, so that two builds of one process to
// one target take different names.
std::atomic<uint32_t> names_taken{0};

NativeString decimal(uint32_t value) {
  const std::string digits = std::to_string(value);
  return NativeString(digits.begin(), digits.end());
}

bool all_digits(NativeStringView text) {
  if (text.empty()) return false;
  for (const NativeChar c : text) {
    if (c < NativeChar('0') || c > NativeChar('9')) return false;
  }
  return true;
}

}  // namespace

TemporaryFile::~TemporaryFile() { discard(); }

bool TemporaryFile::create(const NativeString& target) {
  discard();
  target_ = target;
  const NativeString process = decimal(current_process_number());
  for (uint32_t attempt = 0; attempt < name_attempts; ++attempt) {
    const uint32_t number = names_taken.fetch_add(1, std::memory_order_relaxed) + 1;
    NativeString candidate = target + NativeChar('.') + process + NativeChar('-') +
                             decimal(number) + NativeString(temporary_ending);
    if (file_.open(candidate, file_mode_write | file_mode_create_new)) {
      path_ = std::move(candidate);
      last_error_ = 0;
      return true;
    }
    last_error_ = file_.last_error();
    if (!is_file_exists_error(last_error_)) return false;
  }
  return false;
}

bool TemporaryFile::commit(ExistingTarget existing) {
  if (path_.empty()) return false;
  // The name must still lead to this file: another one put in its place
  // is not this build's to publish.
  if (!file_.is_file_at(path_)) {
    last_error_ = file_.last_error();
    file_.close();
    path_.clear();
    return false;
  }
  file_.close();
  SystemError error = 0;
  const bool moved = existing == ExistingTarget::replace
                         ? rename_replacing(path_, target_, &error)
                         : rename_keeping_existing(path_, target_, &error);
  if (!moved) {
    last_error_ = error;
    remove_file(path_);
  }
  path_.clear();
  return moved;
}

void TemporaryFile::discard() {
  if (path_.empty()) return;
  // Removed only when the name still leads to the file this object made;
  // closed first, since Windows removes no file that is open.
  const bool own = file_.is_file_at(path_);
  file_.close();
  if (own) remove_file(path_);
  path_.clear();
}

bool is_temporary_file_of(NativeStringView target, NativeStringView path) {
  if (target.empty() || path.size() <= target.size() + 1 + temporary_ending.size()) return false;
  if (!same_path(path.substr(0, target.size()), target) || path[target.size()] != '.') return false;
  if (!same_path(path.substr(path.size() - temporary_ending.size()), temporary_ending))
    return false;
  // "<process>-<n>" between them.
  const NativeStringView middle =
      path.substr(target.size() + 1, path.size() - target.size() - 1 - temporary_ending.size());
  const size_t dash = middle.find(NativeChar('-'));
  return dash != NativeStringView::npos && all_digits(middle.substr(0, dash)) &&
         all_digits(middle.substr(dash + 1));
}

}  // namespace kestrel
