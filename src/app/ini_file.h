// The INI engine behind CProfile and the per-user settings store (private to
// app/; the fuzz target uses the text functions directly). The file rules are
// described in profile.h.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vornida::ini {

// The value of `key` in `section` of the INI text, unquoted; nullopt when the
// section or key is missing. Names are trimmed and match without regard to
// ASCII case.
std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key);

// Whether the names and value can be stored so that they read back the same
// (see profile.h for the refused texts). Names are checked after trimming.
bool IsStorable(std::string_view section, std::string_view key, std::string_view value);

// The INI text with `section`/`key` set to `value` and every other byte kept;
// nullopt when !IsStorable.
std::optional<std::string> WithValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string_view value);

// Serialises file access of both stores, so that a read-modify-write of one
// thread never loses another thread's write.
std::mutex& FileMutex();

enum class ReadResult { kRead, kMissing, kFailed };

// Reads the whole file into `bytes`; kMissing (and empty bytes) when there is
// no such file.
ReadResult ReadWholeFile(const std::string& path, std::string& bytes);

// Replaces the file by writing a temporary file beside it and renaming it into
// place. An existing file keeps its permission bits (and, when allowed, its
// owner); a new one gets `newFileMode`. A symbolic link is written through.
bool ReplaceFile(const std::string& path, std::string_view bytes, mode_t newFileMode);

// FindValue on the file; "" when the file, section or key is missing or the
// file cannot be read. Takes FileMutex().
std::string ReadFileValue(const std::string& path, std::string_view section, std::string_view key);

// WithValue on the file and ReplaceFile; a file that exists but cannot be read
// is left alone (FALSE) rather than replaced by a file holding only this key.
// Nothing is written when the value is already stored. Takes FileMutex().
bool WriteFileValue(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, mode_t newFileMode);

}  // namespace vornida::ini
