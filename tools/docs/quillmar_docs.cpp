// Writes the man page quillmar.1 and the bash completion from the program's own help table,
// so that the help, the page and the completion say the same: quillmar_docs OUTDIR
#include <cstdio>
#include <fstream>
#include <string>

#include "hosts/cli/help.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillmar_docs OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::ofstream man(dir + "/quillmar.1"), completion(dir + "/quillmar.bash-completion");
  write_man_page(man);
  write_bash_completion(completion);
  man.close();
  completion.close();
  if (!man || !completion) {
    std::fprintf(stderr, "quillmar_docs: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
