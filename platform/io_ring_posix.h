// Linux: a ring of queued system calls (io_uring) for one thread. Calls are
// queued as entries and a whole group runs with one call into the kernel,
// which matters where entering the kernel costs more than the work asked
// for: on a virtual machine a system call can cost 1.5 us.
#pragma once

#if defined(__linux__) && __has_include(<linux/io_uring.h>)
#include <linux/io_uring.h>
#endif

// The ring needs the kernel headers of Linux 5.19 or later (files opened
// into the ring's own table, which starts empty). Built with older headers,
// or for another system, the file layer makes one call at a time; at run
// time a kernel that lacks any of it is found out by IoRing::set_up().
#ifdef IORING_RSRC_REGISTER_SPARSE
#define KESTREL_IO_RING 1
#endif

#ifdef KESTREL_IO_RING

#include <cstddef>
#include <cstdint>

namespace kestrel {

class IoRing {
 public:
  // Entries in the submission queue; the completion queue holds twice as many.
  static constexpr unsigned entries = 128;

  IoRing() = default;
  ~IoRing();
  IoRing(const IoRing&) = delete;
  IoRing& operator=(const IoRing&) = delete;

  // Sets the ring up, with a table of `file_slots` files that operations
  // can open into and name by slot (0: no table). False where the system
  // has no io_uring or does not allow it.
  bool set_up(unsigned file_slots);

  // A zeroed entry to fill; at most `entries` between two calls of run().
  io_uring_sqe& next_entry();

  // Submits the entries filled since the last run and waits for all their
  // completions, handing each to `done(completion)`. False when the kernel
  // refused: then what was submitted has ended (as far as can be waited
  // for) and the ring must not be used again.
  template <typename Done>
  bool run(Done&& done) {
    const unsigned queued = publish();
    unsigned to_submit = queued;
    unsigned completed = 0;
    while (completed < queued) {
      const int entered = enter(to_submit, queued - completed);
      if (entered < 0) {
        if (to_submit < queued) drain(queued - completed);
        return false;
      }
      to_submit -=
          to_submit < static_cast<unsigned>(entered) ? to_submit : static_cast<unsigned>(entered);
      completed += reap(done);
    }
    return true;
  }

 private:
  unsigned publish();
  int enter(unsigned submit, unsigned wait);
  void drain(unsigned outstanding);

  template <typename Done>
  unsigned reap(Done&& done) {
    unsigned head = *cq_head_;
    const unsigned tail = __atomic_load_n(cq_tail_, __ATOMIC_ACQUIRE);
    unsigned taken = 0;
    for (; head != tail; ++head, ++taken) done(cqes_[head & cq_mask_]);
    __atomic_store_n(cq_head_, head, __ATOMIC_RELEASE);
    return taken;
  }

  int ring_ = -1;
  uint8_t* rings_ = nullptr;  // submission and completion rings, one mapping
  size_t rings_bytes_ = 0;
  io_uring_sqe* sqes_ = nullptr;
  size_t sqes_bytes_ = 0;
  unsigned* sq_tail_ = nullptr;
  unsigned sq_mask_ = 0;
  unsigned* sq_array_ = nullptr;
  unsigned* cq_head_ = nullptr;
  unsigned* cq_tail_ = nullptr;
  unsigned cq_mask_ = 0;
  io_uring_cqe* cqes_ = nullptr;
  unsigned filled_ = 0;  // entries filled since the last run
};

}  // namespace kestrel

#endif
