// Reading zip archives: find an item by name, read its information, write it
// to a file inside an extraction folder.
//
// The archive format itself (directory, local headers, inflate, CRC) is
// minizip's unzip layer; this module adds names, folders, file attributes and
// times, and the result codes below. Callers hold a ZipHandle; every
// operation on a handle also records its result in LastZipResult().
//
// Extraction never writes outside the extraction folder: a target name (or a
// directory item's stored name) that is absolute, carries a drive prefix such
// as "C:" or has a ".." part is refused with kZipUnsafeName, and nothing is
// created for it. Both "/" and "\" separate folders in names.
//
// Times are seconds since 1970-01-01 UTC. An item's DOS date and time are
// taken as they are stored (read as if they were UTC); a "UT" extended time
// stamp in the local extra field overrides them field by field.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vornida {

// Result codes of the zip layer.
enum ZipResult : std::uint32_t {
  kZipOk = 0,
  kZipCannotCreateFile = 0x200,  // target file (or the archive itself) cannot be opened or created
  kZipReadWriteFailed = 0x400,   // reading the item, a CRC mismatch, or writing the target failed
  kZipItemNotFound = 0x500,      // no item with that name
  kZipBadLocalHeader = 0x700,    // the item's local header is damaged (or its method unsupported)
  kZipBadExtraField = 0x800,     // the item's local extra field cannot be read
  kZipUnsafeName = 0x900,        // the name would place the item outside the extraction folder
  kZipStopped = 0xA00,           // extraction stopped on request
  kZipInvalidArgument = 0x10000, // null handle, or item index out of range
  kZipWrongHandleKind = 0x80000, // the handle does not hold a zip reader
};

// Windows-style attribute bits that GetItem derives from an item.
enum ZipAttribute : std::uint32_t {
  kZipAttrReadOnly = 0x01,
  kZipAttrHidden = 0x02,
  kZipAttrSystem = 0x04,
  kZipAttrDirectory = 0x10,
  kZipAttrArchive = 0x20,
  kZipAttrNormal = 0x80,
};

// Longest item name kept in ZipItemInfo::name, in UTF-16 code units.
inline constexpr std::size_t kZipMaxItemName = 259;

struct ZipItemInfo {
  std::int32_t index = -1;        // position in the archive, from 0
  std::string name;               // stored name, cut to kZipMaxItemName units
  std::uint32_t attributes = 0;   // ZipAttribute bits
  std::int64_t accessTime = 0;    // seconds since 1970 UTC
  std::int64_t creationTime = 0;
  std::int64_t writeTime = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t size = 0;
  std::uint32_t unixMode = 0;     // permission bits of a Unix mode stored with the item; 0 when none
};

class CZipReader;

// Kinds of object a ZipHandle may hold.
inline constexpr std::uint32_t kZipHandleReader = 1;

struct ZipHandle {
  std::uint32_t kind = 0;
  CZipReader* reader = nullptr;  // owned when kind is kZipHandleReader
};

// Opens the archive at `path`. Relative target names given to
// ExtractZipItem, and the folders of directory items, are placed under
// `extractionFolder`; when empty, the process's current folder at this call
// is used. Returns null (LastZipResult kZipCannotCreateFile) when the file
// cannot be opened. A file that is not a zip archive still gives a handle in
// which every lookup finds nothing.
ZipHandle* OpenZip(const std::string& path, const std::string& extractionFolder = {});

// Number of items in the archive; 0 for an unreadable archive.
int ZipItemCount(ZipHandle* handle);

// Looks up the item whose whole stored name (folders included) equals
// `name`, comparing ASCII letters without case when `ignoreCase`. On success
// `indexOut` gets its index and `infoOut` its information; when not found,
// `indexOut` is -1, `infoOut` is left as it was and the result is
// kZipItemNotFound. Names of 256 or more UTF-16 units are never found.
std::uint32_t FindZipItem(ZipHandle* handle, std::string_view name, bool ignoreCase, int* indexOut,
                          ZipItemInfo* infoOut);

// Information of the item at `index`.
std::uint32_t GetZipItem(ZipHandle* handle, int index, ZipItemInfo* infoOut);

// Writes the item at `index` to `targetName`, a name relative to the
// extraction folder; missing folders are created. An existing file is
// replaced unless it is read-only (kZipCannotCreateFile). A directory item
// creates its folder (from its stored name) and writes nothing. The new file
// is read-only when the item's attributes say so, carries the item's Unix
// execute bits, and gets the item's access and write times. A failed or
// stopped extraction removes the file it was writing. `shouldStop`, when
// given, is asked between chunks; true ends the copy with kZipStopped.
std::uint32_t ExtractZipItem(ZipHandle* handle, int index, const std::string& targetName,
                             const std::function<bool()>& shouldStop = {});

// Closes the archive and frees the handle.
std::uint32_t CloseZip(ZipHandle* handle);

// Result of the last zip operation on this thread.
std::uint32_t LastZipResult();

// Closes a handle on scope exit.
struct ZipHandleCloser {
  void operator()(ZipHandle* handle) const { CloseZip(handle); }
};
using ZipHandlePtr = std::unique_ptr<ZipHandle, ZipHandleCloser>;

// True when `name` stays inside the folder it is taken relative to: not
// absolute, no drive prefix, no ".." part ("/" and "\" both separate).
bool IsSafeRelativeZipName(std::string_view name);

}  // namespace vornida
