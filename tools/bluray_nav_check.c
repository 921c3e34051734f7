/* Opens a Blu-ray folder or image with libbluray and reads its navigation
 * data the way a player starts: disc information (with the 3D flag), every
 * title's playlist with its clips, the clip information of each clip, and
 * the first bytes of the first title's stream. Prints one line per title and
 * exits non-zero when any of it cannot be read.
 *
 *   bluray_nav_check PATH [--expect-3d]
 */
#include <libbluray/bluray.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s PATH [--expect-3d]\n", argv[0]);
    return 2;
  }
  const int expect_3d = argc > 2 && strcmp(argv[2], "--expect-3d") == 0;
  BLURAY* bd = bd_open(argv[1], NULL);
  if (bd == NULL) {
    fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  int status = 0;
  const BLURAY_DISC_INFO* disc = bd_get_disc_info(bd);
  if (disc == NULL || !disc->bluray_detected) {
    fprintf(stderr, "no Blu-ray detected\n");
    status = 1;
  } else if (expect_3d && !disc->content_exist_3D) {
    fprintf(stderr, "the index does not declare 3D content\n");
    status = 1;
  }
  const uint32_t titles = bd_get_titles(bd, TITLES_ALL, 0);
  if (titles == 0) {
    fprintf(stderr, "no titles\n");
    status = 1;
  }
  for (uint32_t t = 0; t < titles && status == 0; ++t) {
    BLURAY_TITLE_INFO* title = bd_get_title_info(bd, t, 0);
    if (title == NULL || title->clip_count == 0) {
      fprintf(stderr, "title %u cannot be read\n", t);
      status = 1;
      break;
    }
    printf("title %u: playlist %05u, %u clips, %llu ticks\n", t, title->playlist, title->clip_count,
           (unsigned long long)title->duration);
    for (uint32_t c = 0; c < title->clip_count; ++c) {
      if (title->clips[c].pkt_count == 0) {
        fprintf(stderr, "clip %s of title %u has no packets\n", title->clips[c].clip_id, t);
        status = 1;
      }
    }
    bd_free_title_info(title);
  }
  if (status == 0 && bd_select_title(bd, 0)) {
    unsigned char buffer[6144];
    if (bd_read(bd, buffer, sizeof buffer) != (int)sizeof buffer || buffer[4] != 0x47) {
      fprintf(stderr, "the first title's stream cannot be read\n");
      status = 1;
    }
  }
  bd_close(bd);
  return status;
}
