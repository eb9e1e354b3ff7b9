// Feeds arbitrary bytes to the zip reader as an archive: lists every item,
// looks one up by name and extracts the small ones into a scratch folder,
// which must stay the only place written to.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "upgrade/zip_reader.h"

namespace {

const std::string& Scratch() {
  static const std::string folder = [] {
    std::string templ = (std::filesystem::temp_directory_path() / "fuzz-zip-XXXXXX").string();
    if (!::mkdtemp(templ.data())) std::abort();
    return templ;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string root = Scratch() + "/out";
  const std::string archive = Scratch() + "/input.zip";
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  std::filesystem::create_directories(root);
  std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  vornida::ZipHandlePtr zip(vornida::OpenZip(archive, root));
  if (!zip) return 0;
  const int count = std::min(vornida::ZipItemCount(zip.get()), 64);
  for (int i = 0; i < count; ++i) {
    vornida::ZipItemInfo info;
    if (vornida::GetZipItem(zip.get(), i, &info) != vornida::kZipOk) continue;
    int found = -1;
    vornida::FindZipItem(zip.get(), info.name, true, &found, nullptr);
    // Bounded output: a tiny archive may announce gigabytes.
    if (info.size <= (1u << 20)) vornida::ExtractZipItem(zip.get(), i, info.name);
  }
  zip.reset();

  // Nothing may appear beside the scratch folder's two entries.
  for (const auto& entry : std::filesystem::directory_iterator(Scratch())) {
    const std::string name = entry.path().filename().string();
    if (name != "out" && name != "input.zip") std::abort();
  }
  return 0;
}
