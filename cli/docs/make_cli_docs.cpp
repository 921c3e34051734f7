// Writes the documents of kestrel-cli that are made from its switch table,
// at build time:
//
//   make_cli_docs manual TEMPLATE OUTPUT   the manual page kestrel-cli.1
//   make_cli_docs completion OUTPUT        the bash completion script
//
// Exits 0 when the file was written, 1 when a file cannot be read or
// written, 2 on a wrong command line.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "cli/completion_script.h"
#include "cli/manual_page.h"

namespace {

bool read_file(const char* path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool write_file(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

int fail(const std::string& what, const char* path) {
  std::fprintf(stderr, "make_cli_docs: cannot %s %s\n", what.c_str(), path);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "manual" && argc == 4) {
    std::string page_template;
    if (!read_file(argv[2], page_template)) return fail("read", argv[2]);
    if (!write_file(argv[3], kestrel::cli::manual_page(page_template)))
      return fail("write", argv[3]);
    return 0;
  }
  if (command == "completion" && argc == 3) {
    if (!write_file(argv[2], kestrel::cli::bash_completion_script())) return fail("write", argv[2]);
    return 0;
  }
  std::fputs("usage: make_cli_docs manual TEMPLATE OUTPUT | completion OUTPUT\n", stderr);
  return 2;
}
