#include "upgrade/wizard_texts.h"

#include <utility>

#include "upgrade/http_download.h"

namespace vornida {

namespace {

constexpr std::pair<std::string_view, std::string_view> kEnglish[] = {
    {"Msg.Title", "Vornida"},
    {"UW.Title", "Vornida Upgrade Wizard"},
    {"UW.Page1.Title", "Checking for updates"},
    {"UW.Page1.SubTitle", "The wizard asks the update server whether a newer version is available."},
    {"UW.Page1.Msg0", "Connecting to the server..."},
    {"UW.Page1.ErrMsg1", "The update information could not be fetched from the server."},
    {"UW.Page1.Msg1", "The update information has arrived."},
    {"UW.Page2.Title", "What is new"},
    {"UW.Page2.SubTitle", "Your version and the newest one."},
    {"UW.Page2.Text1", "What is new:"},
    {"UW.Page2.Text2", "Click \u201cNext\u201d to download the update."},
    {"UW.Page2.Msg1", "You have version %.2f; version %.2f is available. You can upgrade."},
    {"UW.Page2.Msg2", "You have version %.2f, the newest one."},
    {"UW.Page2.Msg3", "A new version of Vornida is available. Do you want to download it now?"},
    {"UW.Page3.Title", "Downloading the update"},
    {"UW.Page3.SubTitle", "The wizard downloads the installer of the new version."},
    {"UW.Page3.Msg0", "Downloading the files for the upgrade, please wait..."},
    {"UW.Page3.Msg1", "The installer could not be downloaded."},
    {"UW.Page3.Msg2", "The installer is ready. Click \u201cInstall\u201d to start it."},
    {"UW.Page3.Msg3", "The downloaded archive does not hold the installer."},
    {"UW.Page3.Setup", "Install"},
    {"UW.Status.Connecting", "Connecting to the server"},
    {"UW.Status.Downloading", "Downloading data"},
    {"UW.Status.Done", "Download complete"},
    {"UW.Err.NoConnection", "The server cannot be reached. Check the network connection."},
    {"UW.Err.ConnectionLost", "The connection to the server was lost."},
    {"UW.Err.Certificate", "The server's certificate is not trusted; no secure connection was made."},
    {"UW.Err.InvalidUrl", "The address of the download is not valid."},
    {"UW.Err.CannotSave", "The downloaded file cannot be saved."},
    {"UW.Err.NoSignature", "The update information is not signed."},
    {"UW.Err.BadSignature", "The signature of the update information is not valid."},
    {"UW.Err.DamagedManifest", "The update information is damaged."},
    {"UW.Err.Checksum", "The downloaded file does not match its checksum."},
    {"UW.Err.DiskFull", "There is not enough disk space for the download."},
    {"UW.Err.TooLarge", "The download is larger than allowed."},
    {"UW.Err.TooSlow", "The server sent too slowly; the download was stopped."},
    {"UW.Err.DamagedArchive", "The downloaded archive is damaged."},
    {"UW.Err.Http400", "The server did not understand the request."},
    {"UW.Err.Http404", "The file was not found on the server."},
    {"UW.Err.Http405", "The server does not support the request."},
    {"UW.Err.Http500", "The server had an unknown error."},
    {"UW.Err.Http503", "The service is not available."},
    {"UW.Err.Http4xx", "The server refused the request."},
    {"UW.Err.Http5xx", "The server had an internal error."},
    {"UW.Err.HttpOther", "The server gave an unexpected answer."},
};

std::string HttpStatusKey(std::uint16_t status) {
  switch (status) {
    case 400: case 404: case 405: case 500: case 503: return "UW.Err.Http" + std::to_string(status);
    default: break;
  }
  if (status >= 400 && status <= 499) return "UW.Err.Http4xx";
  if (status >= 500 && status <= 599) return "UW.Err.Http5xx";
  return "UW.Err.HttpOther";
}

}  // namespace

std::string_view BuiltInWizardText(std::string_view key) {
  for (const auto& [name, text] : kEnglish)
    if (name == key) return text;
  return {};
}

std::vector<std::string_view> WizardTextKeys() {
  std::vector<std::string_view> keys;
  for (const auto& entry : kEnglish) keys.push_back(entry.first);
  return keys;
}

std::string ChooseWizardText(const std::string& key, const std::string& movieAnswer) {
  if (!movieAnswer.empty() && movieAnswer != key) return movieAnswer;
  const std::string_view builtIn = BuiltInWizardText(key);
  return builtIn.empty() ? key : std::string(builtIn);
}

std::string DownloadStatusKey(std::uint16_t status) {
  switch (status) {
    case kStatusConnecting: return "UW.Status.Connecting";
    case kStatusDownloading: return "UW.Status.Downloading";
    case kStatusDownloaded: return "UW.Status.Done";
    default: return {};
  }
}

std::string DownloadFailureKey(const CHttpDownload& download) {
  switch (download.GetErrorCode()) {
    case kErrorInvalidUrl: return "UW.Err.InvalidUrl";
    case kErrorCreateFile: return "UW.Err.CannotSave";
    case kErrorHttpStatus: return HttpStatusKey(download.GetHttpStatus());
    case kErrorTooLarge: return wizard_key::kTooLarge;
    case kErrorTooSlow: return "UW.Err.TooSlow";
    case kErrorDiskFull: return wizard_key::kDiskFull;
    case kErrorChecksum: return "UW.Err.Checksum";
    case kErrorCertificate: return "UW.Err.Certificate";
    case kErrorException: return "UW.Err.ConnectionLost";
    default: return "UW.Err.NoConnection";  // 201, 202, 203: no answer came
  }
}

}  // namespace vornida
