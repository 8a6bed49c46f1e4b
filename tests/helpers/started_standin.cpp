// A stand-in for the product's programs that the registration flows start: it appends
// one line with its arguments to "<its own path>.started" and ends at once, so tests
// can see which program was started how often and with what.
#include <cstdio>
#include <string>

#include "platform/process.h"

int main(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  const std::string marker = orvex::platform::CurrentExecutablePath() + ".started";
  FILE* file = std::fopen(marker.c_str(), "ab");
  if (!file) return 1;
  std::fprintf(file, "[%s]\n", line.c_str());
  std::fclose(file);
  return 0;
}
