// Fetching one http or https URL into one local file on a worker thread.
//
// CHttpDownload follows 301/302/303 redirects itself (at most
// kMaxRedirects, inside the same run, so the object stays running
// throughout; a Location is resolved as a URL reference against the URL
// that answered), reports progress in whole percent, undoes a
// Content-Encoding of exactly "gzip", and deletes its target file when it is
// destroyed unless KeepFile() was called. https certificates are checked
// against the system's authorities (or SetCaFile's bundle); nothing is
// decoded or followed behind our back.
//
// Every transfer is bounded (TransferLimits): its size, raw and decoded; its
// speed, which may not stay below a floor for a whole window; and the time
// until the final answer of its redirect chain begins. A job ends at once
// when asked to stop. Whatever ends a job other than success (an error or a
// stop) removes the target file, so no partial file is ever left behind.
//
// Notifications, in order:
//   success                2; 1 (101); 1 (102); 101 (percent)...; 1 (104); 3
//   file cannot be created 2; 1 (2); 4 (103); 3
//   HTTP status not 200    2; 1 (101); 1 (2); 4 (104); 3
//   failure mid-body       2; 1 (101); 1 (102); 101...; 1 (2); 4 (code); 3
//   stop requested         2; 1 (101); [1 (102); 101...;] 1 (1); 3
// A receiver acts on kind 3 and reads GetStatus(): 2 is failure, 104
// success, 1 a stop.
//
// The status, error state and best percentage survive between downloads of
// the same object; Reset() clears them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "upgrade/thread_object.h"
#include "upgrade/url.h"

namespace vornida {

// Status codes of a download.
enum HttpDownloadStatus : std::uint16_t {
  kStatusConnecting = 101,
  kStatusDownloading = 102,
  kStatusDownloaded = 104,
};

// Error codes of a download.
enum HttpDownloadError : std::uint16_t {
  kErrorInvalidUrl = 101,      // not an http(s) URL, or unparseable (a redirect's target too)
  kErrorCreateFile = 103,      // the target file cannot be created or written
  kErrorHttpStatus = 104,      // an answer other than 200 (or too many redirects)
  kErrorTooLarge = 105,        // more than TransferLimits::maxBytes, announced, received or decoded
  kErrorTooSlow = 106,         // below the speed floor for a whole window, or the redirect chain took too long
  kErrorDiskFull = 107,        // no space left for the file
  kErrorChecksum = 108,        // the file does not have the expected SHA-256
  kErrorConnection = 201,      // no connection object
  kErrorOpenRequest = 202,     // the request cannot be set up
  kErrorSendRequest = 203,     // no answer: the server cannot be reached, connecting or sending failed
  kErrorCertificate = 204,     // https: the server's certificate is not trusted, or no secure connection
};

// Bounds of one job.
struct TransferLimits {
  // Largest body, as received and after undoing gzip; 0 for no limit.
  std::uint64_t maxBytes = 0;
  // A transfer that receives less than speedFloor bytes per second over a
  // whole speedWindow ends with kErrorTooSlow. 0 turns the floor off.
  std::uint32_t speedFloor = 1024;
  std::chrono::milliseconds speedWindow{30000};
  // Longest time from the start of the job until the final answer's body
  // begins (connecting, every redirect and waiting for the answers).
  std::chrono::milliseconds redirectChainLimit{60000};
};

class CHttpDownload : public CThreadObject {
 public:
  static constexpr int kMaxRedirects = 10;
  static constexpr int kDefaultTimeoutSec = 30;
  // Largest header block of one answer.
  static constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

  CHttpDownload();
  // Stops and joins a running job, then deletes the target file.
  ~CHttpDownload() override;

  int Reset() override;
  // Also wakes a transfer waiting for the network, so that it ends at once.
  bool RequestStop() override;
  std::string GetStatusText(std::uint16_t status) const override;
  std::string GetErrorText(std::uint16_t code) const override;
  virtual std::string GetHttpStatusText(std::uint16_t httpStatus) const;

  // Starts fetching `url` into `savePath` (missing folders are created).
  // Non-empty `body` makes it a POST. `headers` are extra request lines, each
  // ending in "\r\n". False, with nothing changed, while a job runs.
  bool Download(const std::string& url, const std::string& savePath, std::string_view headers = {},
                std::string_view body = {});

  // Settings for the next jobs; ignored by a job already running.
  // Time-out for connecting, in seconds.
  void SetTimeout(int seconds) { m_nTimeoutSec = seconds; }
  void SetLimits(const TransferLimits& limits);
  // The SHA-256 (hexadecimal) the downloaded file must have; a mismatch ends
  // the job with kErrorChecksum. Empty: not checked.
  void SetExpectedSha256(std::string_view hex);
  // A bundle of authorities (PEM) that https servers are checked against
  // instead of the system's; empty for the system's.
  void SetCaFile(std::string path);

  // HTTP status of the last answer that was not 200; 0 when none.
  std::uint16_t GetHttpStatus() const { return m_nHttpStatus.load(); }
  // URL of the last request, after redirects.
  std::string GetUrl() const;
  std::string GetSavePath() const;
  // Highest percentage reported so far.
  std::uint16_t GetLastPercent() const { return m_nLastPercent.load(); }
  // Leaves the target file in place when the object goes; returns its path.
  std::string KeepFile();

 protected:
  int Run() override;

 private:
  struct Transfer;
  struct Job;
  friend struct Transfer;

  // The transfer itself; true when the file is complete and checked.
  bool RunJob(Job& job);
  bool OnBodyChunk(Transfer& transfer, const char* data, std::size_t size);
  void BeginBody(Transfer& transfer);
  // Undoes a gzip encoding in place: 0 when done (or left as received), an
  // error code, or kStatusStopped when a stop came in between.
  std::uint16_t UndoGzip(Job& job, const std::string& rawHeaders);
  void SetExceptionText(const std::string& text);

  std::atomic<std::uint16_t> m_nHttpStatus{0};
  std::string m_strExceptionText;  // written by the job; read through GetErrorText after kind 3
  std::uint64_t m_dwContentLength = 0;
  bool m_bLengthKnown = false;
  std::uint64_t m_dwReceived = 0;
  std::atomic<std::uint16_t> m_nLastPercent{0};

  mutable std::mutex m_paramsLock;  // guards the request values and settings
  std::string m_strUrl;
  std::string m_strSavePath;
  std::string m_strHeaders;
  std::string m_strBody;
  std::atomic<int> m_nTimeoutSec{kDefaultTimeoutSec};
  TransferLimits m_limits;
  std::string m_strExpectedSha256;
  std::string m_strCaFile;

  std::mutex m_wakeLock;     // guards m_pWakeable
  void* m_pWakeable = nullptr;  // the running job's CURLM, woken by RequestStop
};

}  // namespace vornida
