// POSIX: reading groups of small files. On Linux through io_uring: each
// file's open, read and close are queued as one linked chain, the open into
// a slot of the ring's own file table, so that the read and the close can
// name the file before it exists; one call into the kernel runs the whole
// group. Other systems have no such reader.
#include "platform/small_files.h"

#include "platform/io_ring_posix.h"
#ifdef KESTREL_FAULT_INJECTION
#include "platform/fault_injection.h"
#endif

#ifdef KESTREL_IO_RING
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#endif

namespace kestrel {

#ifdef KESTREL_IO_RING

namespace {

// Up to four operations per file: open, read, the read of the byte past the
// expected end where the destination has no room for it, close.
constexpr unsigned operations_per_file = 4;
static_assert(SmallFileReader::max_files * operations_per_file <= IoRing::entries);

enum Operation : uint64_t { operation_open, operation_read, operation_next_byte, operation_close };

uint64_t tag(size_t file, Operation operation) { return (uint64_t{file} << 2) | operation; }

}  // namespace

class RingReader final : public SmallFileReader {
 public:
  // Sets the ring up and checks that it can open into its file table and
  // close from it; false where the system lacks any of it.
  bool set_up() { return ring_.set_up(max_files) && opens_into_its_table(); }

  bool read(SmallFileRead* files, size_t count) override {
    if (broken_ || count > max_files) return false;
    for (size_t i = 0; i < count; ++i) queue(files[i], i);
    const bool ran = ring_.run([&](const io_uring_cqe& done) { settle(files, done); });
    broken_ = !ran;
    return ran;
  }

 private:
  void queue_open(int folder, const NativeChar* name, size_t slot) {
    io_uring_sqe& open = ring_.next_entry();
    open.opcode = IORING_OP_OPENAT;
    open.fd = folder;
    open.addr = reinterpret_cast<uint64_t>(name);
    // Without blocking, as for one file at a time: a FIFO in a file's place
    // reads as empty instead of stalling the build. (A file in the ring's
    // table has no descriptor to close on exec, and O_CLOEXEC is refused.)
    open.open_flags = O_RDONLY | O_NONBLOCK;
    open.file_index = static_cast<uint32_t>(slot + 1);
    // The rest of the chain is cancelled when the open fails.
    open.flags = IOSQE_IO_LINK;
    open.user_data = tag(slot, operation_open);
  }

  void queue_read(size_t slot, uint8_t* into, size_t bytes, uint64_t offset, Operation operation) {
    io_uring_sqe& read = ring_.next_entry();
    read.opcode = IORING_OP_READ;
    read.fd = static_cast<int>(slot);
    // A short read (the end of the file) must not cancel the close.
    read.flags = IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
    read.addr = reinterpret_cast<uint64_t>(into);
    read.len = static_cast<uint32_t>(bytes);
    read.off = offset;
    read.user_data = tag(slot, operation);
  }

  void queue_close(size_t slot) {
    io_uring_sqe& close = ring_.next_entry();
    close.opcode = IORING_OP_CLOSE;
    close.file_index = static_cast<uint32_t>(slot + 1);
    close.user_data = tag(slot, operation_close);
  }

  void queue(SmallFileRead& file, size_t slot) {
    file.open_error = file.read_error = 0;
    file.got = 0;
    file.grown = false;
    const bool room_for_next_byte = file.room > file.size;
#ifdef KESTREL_FAULT_INJECTION
    if (inject_faults(file, room_for_next_byte)) return;
#endif
    queue_open(descriptor_of(*file.folder), file.name, slot);
    if (room_for_next_byte) {
      queue_read(slot, file.destination, file.size + 1, 0, operation_read);
    } else {
      if (file.size > 0) queue_read(slot, file.destination, file.size, 0, operation_read);
      queue_read(slot, &file.next_byte, 1, file.size, operation_next_byte);
    }
    queue_close(slot);
  }

  static void settle(SmallFileRead* files, const io_uring_cqe& done) {
    SmallFileRead& file = files[done.user_data >> 2];
    const int result = done.res;
    switch (static_cast<Operation>(done.user_data & 3)) {
      case operation_open:
        if (result < 0) file.open_error = -result;
        break;
      case operation_read:
        if (result >= 0) {
          file.got = std::min(static_cast<size_t>(result), file.size);
          file.grown = file.grown || static_cast<size_t>(result) > file.size;
        } else if (result != -ECANCELED) {
          file.read_error = -result;
        }
        break;
      case operation_next_byte: file.grown = file.grown || result > 0; break;
      case operation_close: break;
    }
  }

#ifdef KESTREL_FAULT_INJECTION
  // The same calls are counted as when the file is read on its own. An open,
  // or a read of the file's data, that a test makes fail settles the file
  // without touching it; a failing read of the byte past the end is
  // harmless there too.
  static bool inject_faults(SmallFileRead& file, bool room_for_next_byte) {
    using fault_injection::FileOperation;
    if (const auto fault = fault_injection::next_call(FileOperation::open); fault.active) {
      file.open_error = fault.error;
      return true;
    }
    if (room_for_next_byte || file.size > 0) {
      if (const auto fault = fault_injection::next_call(FileOperation::read); fault.active) {
        const bool partial = fault.effect == fault_injection::FaultEffect::short_count;
        file.got = partial ? file.size / 2 : 0;
        file.read_error = fault.error;
        return true;
      }
    }
    if (!room_for_next_byte) fault_injection::next_call(FileOperation::read);
    return false;
  }
#endif

  // Opens the current folder into the table and closes it from there.
  bool opens_into_its_table() {
    queue_open(AT_FDCWD, ".", 0);
    queue_close(0);
    bool worked = true;
    return ring_.run([&](const io_uring_cqe& done) { worked = worked && done.res >= 0; }) && worked;
  }

  IoRing ring_;
  bool broken_ = false;
};

#endif

std::unique_ptr<SmallFileReader> SmallFileReader::create() {
#ifdef KESTREL_IO_RING
  auto reader = std::make_unique<RingReader>();
  if (reader->set_up()) return reader;
#endif
  return nullptr;
}

}  // namespace kestrel
