// hhc: compiles a help project with chmcmd. Usage: hhc /full/path/collection.hhp
#include <cstdio>

#include "main/collection/help_compiler.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hhc PROJECT.hhp\n");
    return 2;
  }
  return orv::collection::CompileWithChmcmd(argv[1]);
}
