#include "imaging/memory.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace vornida::imaging_internal {

namespace {

// MemAvailable from /proc/meminfo, in bytes; 0 when unreadable.
std::uint64_t SystemAvailable() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  std::uint64_t value = 0;
  std::string unit;
  while (in >> key >> value) {
    std::getline(in, unit);
    if (key == "MemAvailable:") return value * 1024;
  }
  return 0;
}

// Room left under a cgroup v2 limit, or UINT64_MAX when there is no limit.
std::uint64_t CgroupRoom() {
  std::ifstream maxFile("/sys/fs/cgroup/memory.max");
  std::string max;
  if (!(maxFile >> max) || max == "max") return UINT64_MAX;
  std::ifstream currentFile("/sys/fs/cgroup/memory.current");
  std::uint64_t current = 0;
  currentFile >> current;
  const std::uint64_t limit = std::strtoull(max.c_str(), nullptr, 10);
  return limit > current ? limit - current : 0;
}

}  // namespace

bool MemoryAvailableFor(std::size_t bytes) {
  std::uint64_t room = SystemAvailable();
  if (room == 0) return true;  // no /proc: let the allocation itself decide
  const std::uint64_t cgroup = CgroupRoom();
  if (cgroup < room) room = cgroup;
  // Keep an eighth back for the rest of the program and the page cache.
  return bytes <= room - room / 8;
}

}  // namespace vornida::imaging_internal
