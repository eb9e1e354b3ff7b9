// The upgrade wizard's texts: keys of the movie's text table, the built-in
// English text each falls back to when the movie lacks the key, and the keys
// that tell the user how a download is doing or why it failed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vornida {

class CHttpDownload;

// Keys of failures the wizard finds itself (beside the downloads' own).
namespace wizard_key {
inline constexpr const char* kNoSignature = "UW.Err.NoSignature";
inline constexpr const char* kBadSignature = "UW.Err.BadSignature";
inline constexpr const char* kDamagedManifest = "UW.Err.DamagedManifest";
inline constexpr const char* kDamagedArchive = "UW.Err.DamagedArchive";
inline constexpr const char* kTooLarge = "UW.Err.TooLarge";
inline constexpr const char* kDiskFull = "UW.Err.DiskFull";
}  // namespace wizard_key

// The English text for `key`; empty when there is none.
std::string_view BuiltInWizardText(std::string_view key);

// Every key the wizard asks the movie for, in a fixed order.
std::vector<std::string_view> WizardTextKeys();

// What the wizard shows for `key`, given the movie's answer to getStr: the
// movie's text, unless the movie lacks the key (it answers nothing or the
// key itself); then the built-in text, or the key when there is none.
std::string ChooseWizardText(const std::string& key, const std::string& movieAnswer);

// Key of a download's state (connecting, downloading, complete); empty for
// the others.
std::string DownloadStatusKey(std::uint16_t status);

// Key of the reason a download ended with an error.
std::string DownloadFailureKey(const CHttpDownload& download);

}  // namespace vornida
