// The write sequence: the image from its first sector to its last, one area
// of the map after the other, with zero sectors between them.
#include "engine/image_writer.h"
#include "platform/calendar.h"

namespace kestrel {

bool ImageWriter::write_sequence(SectorOutput& sink, ProgressHook hook, void* context) {
  // Every date of the image is broken down once, however often it is written.
  const LocalTimeMemo dates;
  sink_ = &sink;
  hook_ = hook;
  hook_context_ = context;
  emitted_sectors = 0;
  write_failed = false;
  content_bytes_copied = 0;
  content_bytes_written = 0;
  image_bytes_written = 0;
  unsettled_content_.clear();
  bool ok = !report.failed() && tree.root != nullptr && layout.image_sectors != 0;
  // The files are read from here on, while the structures are written,
  // unless the layout has started reading them.
  ok = ok && (content_reader_ != nullptr || start_reading_contents());
  for (const DiscArea& area : map.areas) {
    // Every area starts where the layout put it and ends where it planned:
    // the addresses written before it and after it depend on that.
    ok = ok && pad_to(area.first_sector) && area.write(*this, area) &&
         expect_position(area.end_sector());
    if (!ok) break;
  }
  ok = ok && pad_to(layout.image_sectors) && !write_failed && !report.failed();
  if (!ok) write_failed = true;
  content_reader_.reset();
  sink_ = nullptr;
  hook_ = nullptr;
  return ok;
}

}  // namespace kestrel
