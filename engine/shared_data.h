// Files whose data an image stores once. The names of one file (hard links)
// always share one copy of its data; on request (-dedupe) so do files of at
// least 64 KiB whose contents are byte for byte equal. A file that shares keeps its own name,
// directory record and, unless it is a hard link, its own UDF file entry;
// only where its data lies changes: at its copy's place. A hard link of a
// file of the same kind is recorded in UDF as a further identifier of that
// file's entry, whose link count counts it, so that readers see one file
// with several names, as the source has it.
//
// What keeps a copy of its own whatever it equals:
// - a file in a DVD folder of a DVD-video image: a title set's information
//   file records the sectors of its objects relative to itself, so the
//   files of a title set lie in one run in their order;
// - with equal contents, any file of a disc folder (VIDEO_TS, AUDIO_TS, BDMV,
//   BDAV): the backups of the navigation files equal them by design, and
//   are kept apart from them so that one damaged place does not lose both;
// - a clip of a stereoscopic pair, whose data is interleaved with its
//   partner's, and the interleaved file that spans both;
// - a boot file whose copy carries a boot information table, which no other
//   file's bytes hold.
// Such a file may still be the copy that others point at.
#pragma once

#include "engine/image_writer.h"

namespace kestrel {

// Decides which files point at another's copy, before the names and the data
// are placed: of each group of names of one file all but the first (in scan
// order), and with store_equal_files_once every file whose contents equal an
// earlier one's. False, with the build failed, when it was cancelled.
bool share_file_data(ImageWriter& writer);

// After the data placement: every file that shares takes its copy's data
// place, and a hard link that is an identifier of another's entry takes
// that entry's block and unique ID.
void place_shared_files(ImageWriter& writer);

}  // namespace kestrel
