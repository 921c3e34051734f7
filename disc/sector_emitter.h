// Where the ISO 9660 and UDF writers put what they build: whole sectors,
// appended strictly front to back. The writers ask for a zero-filled buffer,
// fill it and emit it; they never open a file. The engine's ImageWriter is
// the one emitter of a build.
#pragma once

#include <cstdint>

namespace kestrel {

class SectorEmitter {
 public:
  // A zero-filled buffer of `count` sectors, valid until the next call; null
  // when memory ran out, which fails the build.
  virtual uint8_t* get_sector_buffer(uint32_t count) = 0;
  // Appends `count` sectors of `buffer`; false once the build has failed.
  virtual bool emit_sectors(const uint8_t* buffer, uint32_t count) = 0;
  virtual bool emit_zero_sectors(uint64_t count) = 0;
  // The sector that the next emit writes.
  virtual uint64_t position() const = 0;
  // Checks that the next sector emitted is `sector`, the place the layout
  // gave the structure about to be written; a mismatch fails the build.
  virtual bool expect_position(uint64_t sector) = 0;
  // True once a batch could not be written or the build was stopped: what
  // follows is not written any more.
  virtual bool stopped() const = 0;

 protected:
  ~SectorEmitter() = default;
};

}  // namespace kestrel
