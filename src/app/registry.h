// The per-user settings store (where the program kept its values in the
// registry): remembered folders of the file dialogs in the section "Recent"
// and the values the movie stores with "ReadReg"/"WriteReg".
//
// Values are strings addressed by company, application, section and key. The
// store is one INI file per company and application:
//
//     GetConfigFolder() + "/" + company + "/" + application + ".ini"
//
// e.g. ~/.config/Vornida/vornida.ini, with one INI section per section. It
// uses the file rules of profile.h (ASCII-case-insensitive names, every other
// byte kept on write, atomic replacement) except that values are never cut.
// The company folder is created with mode 0700 and the file with mode 0600 on
// first write.
//
// Start-up selects the store once with SelectRegistryStore("Vornida"); before
// that, reads give "" and writes fail. All functions are safe to call from
// any thread.
#pragma once

#include <string>
#include <string_view>

namespace vornida {

// Selects the store of `company` and `application`. An empty application means
// the program file's name without its extension. Returns the store's file
// path (the file itself is created by the first write). Calling it again
// selects another store (tests do this after pointing XDG_CONFIG_HOME at a
// fresh folder).
std::string SelectRegistryStore(std::string_view company,
                                std::string_view application = {});

// The selected store's file path; empty before SelectRegistryStore.
std::string GetRegistryStorePath();

// "ReadReg": the value of `key` in `section`; "" when missing or when no store
// is selected. Values come back whole.
std::string GetRegistryString(std::string_view section, std::string_view key);

// "WriteReg": stores `value` under `section`/`key`. TRUE when stored; FALSE
// for names or values the file cannot hold (see profile.h) or a failed write.
bool SetRegistryString(std::string_view section, std::string_view key,
                       std::string_view value);

// Section of the remembered folders and paths.
inline constexpr std::string_view kRecentSection = "Recent";

// Keys of kRecentSection. Folders are stored without a trailing '/'.
inline constexpr std::string_view kRecentBackgroundPhoto = "Path_BrowseBackgroundPhoto";
inline constexpr std::string_view kRecentCustomShape = "Path_BrowseCustomShape";
inline constexpr std::string_view kRecentImportPhoto = "ImportPhotoPath";
inline constexpr std::string_view kRecentSaveShape = "Path_SaveShape";
inline constexpr std::string_view kRecentSaveProject = "Path_SaveProject";

// The value of "Recent"/key, or `fallback` when that is empty.
std::string GetRecent(std::string_view key, std::string_view fallback = {});

// Stores "Recent"/key. TRUE when stored.
bool SetRecent(std::string_view key, std::string_view value);

}  // namespace vornida
