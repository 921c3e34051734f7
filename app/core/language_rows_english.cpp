// English, the first row of the language table and the fallback of every
// other row: a slot left empty in another language shows the text here.
#include "app/core/language_rows.h"

namespace kestrel::app::language_rows {

using namespace std::string_view_literals;

constexpr LanguageEntry english = {
    0x0409,
    L"English"sv,
    {{
        L"Source:"sv,                                             // 0
        L"Target:"sv,                                             // 1
        L"Label:"sv,                                              // 2
        L"File system:"sv,                                        // 3
        L"Start"sv,                                               // 4
        L"Select or drag a folder here"sv,                        // 5
        L"Select the output ISO file"sv,                          // 6
        L"0 to 128 characters of volume label"sv,                 // 7
        L"ISO9660"sv,                                             // 8
        L"ISO9660 + UDF 1.02 (DVD)"sv,                            // 9
        L"UDF 1.02"sv,                                            // 10
        L"UDF 2.50 (BD/UHD)"sv,                                   // 11
        L"&Language"sv,                                           // 12
        L"&Integrate into shell context menu"sv,                  // 13
        L"&Allow multiple instances"sv,                           // 14
        L"&Reveal in Explorer when finished"sv,                   // 15
        L"&Close when done"sv,                                    // 16
        L"&Stay on top"sv,                                        // 17
        L"&Translation"sv,                                        // 18
        L"&Report issues"sv,                                      // 19
        L"&Command line"sv,                                       // 20
        L"&About Kestrel..."sv,                                   // 21
        L"&Theme"sv,                                              // 22
        L"&Light"sv,                                              // 23
        L"&Dark"sv,                                               // 24
        L"&System"sv,                                             // 25
        L"'%s' already exists.\n\nDo you want to replace it?"sv,  // 26
        L"ISO files (*.iso)\0*.iso\0\0"sv,                        // 27
        // 28: the about text. The English box has no translator; the line
        // "Translator: null" is cut off when the box opens.
        L"Kestrel turns a folder into an ISO 9660 or UDF disc image,\n"
        L"DVD-Video and Blu-ray movie folders (3D too) included.\n"
        L"It is free software and comes without any warranty.\n"
        L"Translator: null"sv,
        L"The image could not be built."sv,  // 29
        // 30 to 45: the build errors (build_error_slot).
        L"The chosen file system is not valid."sv, L"The source folder '%s' cannot be opened."sv,
        L"The folder '%s' cannot be listed."sv, L"The entry '%s' cannot be examined."sv,
        L"The file '%s' cannot be opened."sv, L"Reading the file '%s' failed."sv,
        L"The file '%s' became shorter while the image was being built."sv,
        L"The image file '%s' cannot be created."sv,
        L"Writing the image file '%s' failed. Is the disk full?"sv,
        L"The finished image cannot be moved to '%s'."sv,
        L"There is not enough memory for this build."sv,
        L"The source holds more folders than an ISO 9660 volume can number. Choose a UDF file system."sv,
        L"The file '%s' is too large for the chosen file system."sv,
        L"The image would be larger than a disc image can address."sv,
        L"Internal error: a structure was not written where it was laid out. The image was not kept."sv,
        L"The build was cancelled."sv,
        L"Windows reports: %s"sv,                  // 46
        L"The image was built, with warnings:"sv,  // 47
        // 48 to 52: build warnings (build_warning_slot).
        L"The file '%s' grew while the image was being built; its size at the start was written."sv,
        L"The name '%s' was too long for the file system and was shortened."sv,
        L"The name '%s' met another name in the image and was made unique."sv,
        L"'%s' is not a regular file (a pipe, socket or device) and was left out."sv,
        L"The link '%s' leads nowhere and was left out."sv,
        L"...and %s more."sv,                               // 53
        L"This path is too long for the program:\n\n%s"sv,  // 54
        L"The build could not be started."sv,               // 55: worker_start_failed
        // 56 to 60: more build warnings; 61: a 3D title not interleaved, with its reason (62 to
        // 67).
        L"The folder link '%s' leads back into its own tree and was left out."sv,
        L"The thumbnail cache '%s' was left out."sv,
        L"'%s' is not a DVD file and was left out of the DVD folder."sv,
        L"'%s' is the image being built and was left out."sv,
        L"The folder '%s' was replaced by the interleaved files of the 3D titles."sv,
        L"The 3D title of clips %s and %s was not interleaved: %s"sv,
        L"the clip information '%s' cannot be read."sv,
        L"the extent start points in '%s' do not divide the stream into extents."sv,
        L"the clip '%s' is used twice: by two 3D titles, or for both views of one."sv,
        L"the stream file '%s' is missing."sv,
        L"the stream file '%s' holds %s sectors, but its clip information states %s."sv,
        L"another 3D title of the disc cannot be interleaved, and a disc interleaves all its 3D titles or none."sv,
        L"The boot file '%s' cannot be used: it is not a file of the source folder, or it is empty, too small or too large."sv,  // 68: boot_file_unusable
        L"The file '%s' changed while the image was being built."sv,
        L"The image was built and is bootable with %s."sv,  // 70: a bootable image
        // 71, 72: an image too large for any DVD or BD; 73 to 75: the size, media and files stored
        // once.
        L"The DVD-video image of '%s' is larger than a dual-layer DVD holds; it was built, but no DVD takes it."sv,
        L"The Blu-ray image of '%s' is larger than a four-layer BD-R XL holds; it was built, but no BD takes it."sv,
        L"The image takes %s MB and fits on: %s."sv,
        L"The image takes %s MB and fits on no CD, DVD or BD."sv,
        L"Files stored once: %s (%s MB saved)."sv,
        L"Written to a USB stick, it also starts from there with %s."sv,  // 76: from a USB disk
    }},
};
static_assert(fills_every_slot(english, true));

}  // namespace kestrel::app::language_rows
