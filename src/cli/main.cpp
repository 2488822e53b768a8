#include "cli/driver.h"

int main(int argc, char** argv) {
  return cli::run(argc, argv, platform::systemConsole(), platform::systemFileSystem());
}
