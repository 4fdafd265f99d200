// Stands in for rz in scripts/bench: writes each file named in $BENCH_NAMES
// (one name per line, its directory made when missing) with one byte, then
// copies $BENCH_LOG to its standard error, as rz's messages.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

int main() {
  const char* names = std::getenv("BENCH_NAMES");
  const char* log = std::getenv("BENCH_LOG");
  if (names == nullptr || log == nullptr) return 2;
  std::FILE* list = std::fopen(names, "r");
  if (list == nullptr) return 1;
  char line[4096];
  std::set<std::string> made;
  while (std::fgets(line, sizeof line, list) != nullptr) {
    line[std::strcspn(line, "\n")] = '\0';
    if (const char* slash = std::strrchr(line, '/')) {
      std::string directory(line, static_cast<std::size_t>(slash - line));
      if (made.insert(directory).second) ::mkdir(directory.c_str(), 0777);
    }
    int fd = ::open(line, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0 || ::write(fd, "x", 1) != 1) return 1;
    ::close(fd);
  }
  std::fclose(list);
  int in = ::open(log, O_RDONLY);
  char buffer[65536];
  for (ssize_t got; in >= 0 && (got = ::read(in, buffer, sizeof buffer)) > 0;) {
    if (::write(2, buffer, static_cast<std::size_t>(got)) != got) return 1;
  }
  return 0;
}
