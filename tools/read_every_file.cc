// Stands in for sz in scripts/bench: opens and reads every file it is given
// (options skipped), as a send does, and writes nothing.

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  static char buffer[64 * 1024];
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') continue;
    int fd = ::open(argv[i], O_RDONLY);
    if (fd < 0) continue;
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
  }
  return 0;
}
