// The update manifest: an XML document on the update server that names the
// server's version, patches, a description and the downloads of the full
// installer.
//
//   <update curver="3.7">
//     <UpdateFile>
//       <FileList><File verfrom="3.5" verto="3.61" name="patch361.zip"/></FileList>
//       <Urls><Url src="http://host/patches" type="ZIPEXE" inzipexename="patch"/></Urls>
//     </UpdateFile>
//     <UpgradeDesc>What is new</UpgradeDesc>
//     <InstallUrl>
//       <Url src="https://host/setup37.zip" type="ZIPEXE" inzipexename="setup.deb"
//            sha256="..." size="12345678"/>
//       <Url src="https://mirror/setup37.deb" sha256="..."/>
//     </InstallUrl>
//   </update>
//
// The root element's name is not looked at; element and attribute names match
// without regard to ASCII case. Versions compare as decimal numbers, so 3.10
// is older than 3.9. The "sha256" attribute of a download is the digest the
// downloaded file must have (a download without one is never used); "size",
// when present, is its exact length in bytes, the most that is fetched.
//
// The wizard reads the manifest from the bytes whose signature it checked,
// never again from the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vornida {

// A version text read as a decimal number: leading white space is skipped,
// the longest valid prefix is used, and text without one gives 0.
double ParseVersionNumber(std::string_view text);

// The manifest URL list: pieces separated by ";" (empty pieces kept, a
// trailing ";" closes the last piece rather than starting an empty one).
std::vector<std::string> SplitUrlList(std::string_view list);

// Fills a printf-style format from the movie's text table with doubles.
// Only floating-point conversions (%f %e %g %a, with flags, width and
// precision) take arguments, in order; "%%" gives "%"; any other conversion
// is copied as it stands, so a text can never read what was not passed.
std::string FormatWithDoubles(std::string_view format, const std::vector<double>& values);

struct ManifestVersion {
  bool loaded = false;        // the document was read and parsed, and has a root element
  double current = 0;         // installed version
  double server = 0;          // the root's "curver"
  bool newer = false;         // server > current
  bool hasFileList = false;   // UpdateFile/FileList exist, so the description is shown
  bool patchFound = false;    // a File entry covers the current version
  std::string patchName;
  bool hasDescription = false;
  std::string description;    // UpgradeDesc text, unchanged
};

// Reads what the second wizard page shows. Patch and description are only
// looked up when the server's version is newer.
ManifestVersion ReadManifestVersion(const std::string& manifestPath, std::string_view currentVersionText);
ManifestVersion ReadManifestVersionFromText(std::string_view manifest, std::string_view currentVersionText);

struct DownloadItem {
  std::string src;           // URL of the download
  std::string type;          // "ZIPEXE": a zip archive holding the installer
  std::string inZipExeName;  // the installer's name inside the archive
  std::string sha256;        // expected digest of the downloaded file; empty for none
  std::string size;          // declared length in bytes, as written; empty for none
};

// Reads a declared size: decimal digits only. False for anything else.
bool ParseDeclaredSize(std::string_view text, std::uint64_t& out);

// The InstallUrl/Url entries in document order; empty when the manifest
// cannot be read or has none.
std::vector<DownloadItem> ReadInstallItems(const std::string& manifestPath);
std::vector<DownloadItem> ReadInstallItemsFromText(std::string_view manifest);

}  // namespace vornida
