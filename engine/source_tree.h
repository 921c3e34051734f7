// Reading the source folder into the in-memory tree of SourceNodes.
#pragma once

#include <string_view>

#include "engine/image_writer.h"

namespace kestrel {

// A file of this name is never put into an image: the shell's thumbnail cache.
inline constexpr std::u16string_view excluded_file_name = u"Thumbs.db";

// The Blu-ray stream folder BDMV/STREAM and its clip files "NNNNN.m2ts".
inline constexpr std::u16string_view stream_folder_name = u"STREAM";
inline constexpr std::u16string_view clip_name_tail = u".m2ts";
inline constexpr size_t clip_name_length = 10;

// Scans the whole source folder (writer.tree.source_folder, ending in a
// separator) into writer.tree.root. False, with the build failed, when a folder
// cannot be listed or an entry cannot be examined.
bool scan_source(ImageWriter& writer);

// The stream folder (BDMV/STREAM, the movie folder as describe_source found
// it) of the tree, or null.
SourceNode* find_stream_folder(const ImageWriter& writer);

// Marks every clip file of the stream folder as a clip in no pair.
void mark_unpaired_clips(SourceNode& stream_folder);

// True for a clip file name: ten characters ending in ".m2ts".
bool is_clip_name(const SourceNode& node);

// Adds a node under `directory` (after `last_child`, which is updated).
// Returns null when the arena cannot supply it (the build is then failed).
SourceNode* add_node(ImageWriter& writer, SourceNode& directory, SourceNode*& last_child,
                     std::u16string_view name, NativeStringView native_name,
                     const FindEntry& entry);

}  // namespace kestrel
