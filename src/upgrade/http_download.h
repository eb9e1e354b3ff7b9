// Fetching one http URL into one local file on a worker thread.
//
// CHttpDownload follows 301/302/303 redirects itself (at most
// kMaxRedirects, inside the same run, so the object stays running
// throughout), reports progress in whole percent, undoes a Content-Encoding
// of exactly "gzip", and deletes its target file when it is destroyed unless
// KeepFile() was called. Only plain http is spoken; nothing is decoded or
// followed behind our back.
//
// Notifications, in order:
//   success                2; 1 (101); 1 (102); 101 (percent)...; 1 (104); 3
//   file cannot be created 2; 1 (2); 4 (103); 3
//   HTTP status not 200    2; 1 (101); 1 (2); 4 (104); 3
//   failure mid-body       2; 1 (101); 1 (102); 101...; 1 (2); 4 (3); 3
//   stop requested         2; 1 (101); [1 (102); 101...;] 1 (1); 3
// A receiver acts on kind 3 and reads GetStatus(): 2 is failure, 104
// success, 1 a stop.
//
// The status, error state and best percentage survive between downloads of
// the same object; Reset() clears them.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "upgrade/thread_object.h"

namespace vornida {

// Status codes of a download.
enum HttpDownloadStatus : std::uint16_t {
  kStatusConnecting = 101,
  kStatusDownloading = 102,
  kStatusDownloaded = 104,
};

// Error codes of a download.
enum HttpDownloadError : std::uint16_t {
  kErrorInvalidUrl = 101,      // not an http URL, or unparseable
  kErrorCreateFile = 103,      // the target file cannot be created
  kErrorHttpStatus = 104,      // an answer other than 200 (or too many redirects)
  kErrorConnection = 201,      // no connection object
  kErrorOpenRequest = 202,     // the request cannot be set up
  kErrorSendRequest = 203,     // no answer: connecting or sending failed
};

// An http URL split the way the downloader needs it.
struct HttpUrlParts {
  std::string host;
  std::uint16_t port = 80;
  std::string path = "/";  // object path with its query, always starting with "/"
};

// Splits "http://host[:port][/path]" (scheme without regard to case). False
// for any other scheme, an empty host, or a port that is not 1 to 65535.
bool CrackHttpUrl(std::string_view url, HttpUrlParts& out);

class CHttpDownload : public CThreadObject {
 public:
  static constexpr int kMaxRedirects = 10;
  static constexpr int kDefaultTimeoutSec = 30;

  CHttpDownload();
  // Stops and joins a running job, then deletes the target file.
  ~CHttpDownload() override;

  int Reset() override;
  std::string GetStatusText(std::uint16_t status) const override;
  std::string GetErrorText(std::uint16_t code) const override;
  virtual std::string GetHttpStatusText(std::uint16_t httpStatus) const;

  // Starts fetching `url` into `savePath` (missing folders are created).
  // Non-empty `body` makes it a POST. `headers` are extra request lines, each
  // ending in "\r\n". False, with nothing changed, while a job runs.
  bool Download(const std::string& url, const std::string& savePath, std::string_view headers = {},
                std::string_view body = {});

  // Time-out for connecting and for a stalled transfer, in seconds.
  void SetTimeout(int seconds) { m_nTimeoutSec = seconds; }
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
  friend struct Transfer;

  bool OnBodyChunk(Transfer& transfer, const char* data, std::size_t size);
  void BeginBody(Transfer& transfer);
  void UndoGzip(const std::string& path, const std::string& rawHeaders);

  std::atomic<std::uint16_t> m_nHttpStatus{0};
  std::string m_strExceptionText;  // written by the job; read through GetErrorText after kind 3
  std::uint64_t m_dwContentLength = 0;
  bool m_bLengthKnown = false;
  std::uint64_t m_dwReceived = 0;
  std::atomic<std::uint16_t> m_nLastPercent{0};

  mutable std::mutex m_paramsLock;  // guards the four request values
  std::string m_strUrl;
  std::string m_strSavePath;
  std::string m_strHeaders;
  std::string m_strBody;
  std::atomic<int> m_nTimeoutSec{kDefaultTimeoutSec};
};

}  // namespace vornida
