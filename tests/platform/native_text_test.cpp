#include "platform/native_text.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"

namespace kestrel {
namespace {

TEST(NativeText, Utf8ToUtf16KeepsValidTextAndReplacesInvalidBytes) {
  EXPECT_EQ(utf16_from_utf8("Caf\xC3\xA9"), u"Caf\u00E9");
  EXPECT_EQ(utf16_from_utf8("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(utf16_from_utf8("a\xFF"
                            "b"),
            u"a\uFFFDb");
  EXPECT_EQ(utf16_from_utf8("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(utf16_from_utf8("\xED\xA0\x80"), u"\uFFFD");    // encoded surrogate
  EXPECT_EQ(utf16_from_utf8("x\xE2\x82"), u"x\uFFFD");      // truncated at the end
  EXPECT_EQ(utf8_from_utf16(u"\U0001F600\u00E9"), "\xF0\x9F\x98\x80\xC3\xA9");
  EXPECT_EQ(utf8_from_utf16(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(NativeText, OneBufferConvertsNameAfterNameWithNothingLeftOver) {
  // The scan converts every name through one buffer: a short name after a
  // long one, an ASCII start then other characters, and bad bytes after an
  // ASCII stretch each come out as they would alone.
  std::u16string buffer;
  const char* const names[] = {"a much longer name than the next.txt",
                               "b.c",
                               "plain ASCII then caf\xC3\xA9 \xF0\x9F\x98\x80",
                               "x\xFFy",
                               "",
                               "z"};
  for (const char* name : names) {
    utf16_from_utf8(name, buffer);
    EXPECT_EQ(buffer, utf16_from_utf8(name)) << name;
  }
  EXPECT_EQ(buffer, u"z");
  utf16_from_utf8("caf\xC3\xA9", buffer);
  EXPECT_EQ(buffer, u"caf\u00E9");
  utf16_from_utf8("ab\xE2\x82", buffer);
  EXPECT_EQ(buffer, u"ab\uFFFD");
}

TEST(PathHelpers, SplitPathsIntoFolderAndLastComponent) {
  const NativeString separator(1, native_separator);
  const NativeString path =
      separator + KESTREL_NATIVE("a") + separator + KESTREL_NATIVE("b") + separator;
  EXPECT_EQ(last_path_component(path), KESTREL_NATIVE("b"));
  EXPECT_EQ(parent_path(path), separator + KESTREL_NATIVE("a"));
  EXPECT_EQ(parent_path(KESTREL_NATIVE("name.iso")), NativeString());
}

#ifndef _WIN32
TEST(PathHelpers, CanonicalPathRemovesDotStepsLexically) {
  EXPECT_EQ(canonical_path("/a/./b//c/../d"), "/a/b/d");
  EXPECT_EQ(canonical_path("/.."), "/");
  EXPECT_EQ(canonical_path("rel"), current_directory() + "/rel");
}
#endif

}  // namespace
}  // namespace kestrel
