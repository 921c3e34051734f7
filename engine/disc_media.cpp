#include "engine/disc_media.h"

#include "engine/image_writer.h"

namespace kestrel {

std::vector<DiscMedium> media_that_hold(uint64_t sectors) {
  std::vector<DiscMedium> media;
  for (int i = 0; i < disc_medium_count; ++i) {
    const auto medium = static_cast<DiscMedium>(i);
    if (sectors <= medium_sectors(medium)) media.push_back(medium);
  }
  return media;
}

void warn_when_no_disc_of_its_kind_holds(ImageWriter& writer) {
  if (!writer.source_description) return;
  const SourceDescription& source = *writer.source_description;
  const uint64_t sectors = writer.layout.image_sectors;
  if (writer.tree.dvd_video_mode && sectors > medium_sectors(DiscMedium::dvd9)) {
    writer.report.warn(BuildWarning::dvd_too_large,
                       writer.tree.source_folder + source.folder(source.deciding_folder));
  } else if (source.kind == DiscKind::bluray && (writer.settings.fs_flags & fs_udf) &&
             writer.settings.udf_revision >= udf_revision_250 &&
             sectors > medium_sectors(DiscMedium::bd128)) {
    writer.report.warn(BuildWarning::bluray_too_large,
                       writer.tree.source_folder + source.folder(source.deciding_folder));
  }
}

}  // namespace kestrel
