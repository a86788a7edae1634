// Conditions every timed run of a benchmark starts from, so that the order
// of the runs does not decide their ratios.
//
// On a virtual machine the first touch of a guest page costs a fault in the
// host (about 1.7 us per 4 KB page on the machine these were written on),
// and the page cache takes its pages for new file data from free memory. A
// run that writes after earlier runs used up the pages touched before pays
// that on every block it writes: a third append run measured 20-50% slower
// than the same run first. warmFreeMemory() touches and frees the memory
// all runs will write beforehand; settleWrites() writes out what earlier
// runs left dirty before the next one starts.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <string>

inline void settleWrites() { sync(); }

inline void warmFreeMemory(size_t bytes) {
  std::ifstream meminfo("/proc/meminfo");
  std::string name;
  size_t kb = 0;
  while (meminfo >> name >> kb && name != "MemAvailable:") meminfo.ignore(64, '\n');
  bytes = std::min(bytes, kb * 1024 / 2);
  if (bytes == 0) return;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (p != MAP_FAILED) munmap(p, bytes);
}
