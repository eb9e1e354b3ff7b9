#include "upgrade/http_download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <utility>

#include "base/text.h"
#include "upgrade/gzip.h"
#include "upgrade/sha256.h"

namespace vornida {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kExceptionTextLimit = 1023;  // UTF-16 units
// How long the job waits for the network before it looks at its stop flag
// and its bounds again (a stop request also wakes it at once).
constexpr int kPollMilliseconds = 100;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

// Value of the first response header called `name` (any case), if present.
bool FindHeader(const std::string& rawHeaders, std::string_view name, std::string& value) {
  std::size_t start = 0;
  while (start < rawHeaders.size()) {
    std::size_t end = rawHeaders.find('\n', start);
    if (end == std::string::npos) end = rawHeaders.size();
    const std::string_view line(rawHeaders.data() + start, end - start);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualsIgnoreAsciiCase(line.substr(0, colon), name)) {
      value = std::string(TrimBlanks(line.substr(colon + 1)));
      return true;
    }
    start = end + 1;
  }
  return false;
}

// Writes everything; 0, or the errno of the failed write.
int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

bool IsDiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

bool IsSecureConnectionFailure(CURLcode code) {
  switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return true;
    default:
      return false;
  }
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The speed floor over a sliding window: too slow when fewer than
// floor × window bytes arrived during the last whole window.
class SpeedWatch {
 public:
  SpeedWatch(const TransferLimits& limits, Clock::time_point start)
      : floor_(limits.speedFloor), window_(limits.speedWindow) {
    samples_.push_back({start, 0});
  }

  bool TooSlow(Clock::time_point now, std::uint64_t total) {
    if (floor_ == 0 || window_.count() <= 0) return false;
    samples_.push_back({now, total});
    // Keep one sample at or before the window's start, none older.
    while (samples_.size() >= 2 && samples_[1].time <= now - window_) samples_.pop_front();
    if (samples_.front().time > now - window_) return false;  // not a whole window yet
    const double needed = static_cast<double>(floor_) * std::chrono::duration<double>(window_).count();
    return static_cast<double>(total - samples_.front().bytes) < needed;
  }

 private:
  struct Sample {
    Clock::time_point time;
    std::uint64_t bytes;
  };
  std::uint32_t floor_;
  std::chrono::milliseconds window_;
  std::deque<Sample> samples_;
};

}  // namespace

// What one job works with, copied from the settings when it starts.
struct CHttpDownload::Job {
  std::string url, savePath, headers, body, expectedSha256, caFile;
  TransferLimits limits;
  long connectTimeout = kDefaultTimeoutSec;
  int fd = -1;
  Sha256Stream digest;
  std::uint64_t bytesSeen = 0;  // header and body bytes of every answer, for the speed floor
  Clock::time_point started = Clock::now();
};

// State of one request, shared with libcurl's callbacks.
struct CHttpDownload::Transfer {
  CHttpDownload* self = nullptr;
  Job* job = nullptr;
  CURL* curl = nullptr;
  std::string rawHeaders;  // headers of the last response only
  long httpStatus = 0;
  bool statusChecked = false;
  bool bodyStarted = false;     // the 200 answer's body is flowing
  std::uint16_t abortCode = 0;  // the error a callback or a bound cut the transfer off with
  bool stopped = false;

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::string_view line(data, size * count);
    transfer.job->bytesSeen += line.size();
    // Each response (an interim "100 Continue" too) starts over.
    if (line.substr(0, 5) == "HTTP/") transfer.rawHeaders.clear();
    if (transfer.rawHeaders.size() + line.size() > kMaxHeaderBytes) {
      transfer.abortCode = kErrorTooLarge;
      return 0;
    }
    transfer.rawHeaders.append(line);
    return size * count;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t total = size * count;
    transfer.job->bytesSeen += total;
    return transfer.self->OnBodyChunk(transfer, data, total) ? total : 0;
  }
};

CHttpDownload::CHttpDownload() { InitCurlOnce(); }

CHttpDownload::~CHttpDownload() {
  StopAndJoin();
  std::lock_guard lock(m_paramsLock);
  if (!m_strSavePath.empty()) ::unlink(m_strSavePath.c_str());
}

int CHttpDownload::Reset() {
  m_nHttpStatus = 0;
  {
    std::lock_guard lock(m_paramsLock);
    m_strExceptionText.clear();
  }
  m_dwContentLength = 0;
  m_bLengthKnown = false;
  m_dwReceived = 0;
  m_nLastPercent = 0;
  return CThreadObject::Reset();
}

bool CHttpDownload::RequestStop() {
  CThreadObject::RequestStop();
  std::lock_guard lock(m_wakeLock);
  if (m_pWakeable) curl_multi_wakeup(static_cast<CURLM*>(m_pWakeable));
  return true;
}

std::string CHttpDownload::GetStatusText(std::uint16_t status) const {
  switch (status) {
    case kStatusConnecting: return "正在连接服务器";
    case kStatusDownloading: return "正在下载数据";
    case kStatusDownloaded: return "下载完成";
    default: return CThreadObject::GetStatusText(status);
  }
}

std::string CHttpDownload::GetErrorText(std::uint16_t code) const {
  switch (code) {
    case kErrorException: {
      std::lock_guard lock(m_paramsLock);
      return m_strExceptionText;
    }
    case kErrorInvalidUrl: return "无效的URL";
    case kErrorCreateFile: return "创建下载保存文件失败";
    case kErrorHttpStatus: return GetHttpStatusText(m_nHttpStatus.load());
    case kErrorTooLarge: return "下载的文件过大";
    case kErrorTooSlow: return "下载速度过慢";
    case kErrorDiskFull: return "磁盘空间不足";
    case kErrorChecksum: return "文件校验失败";
    case kErrorConnection: return "创建连接对象失败";
    case kErrorOpenRequest: return "创建Http请求失败";
    case kErrorSendRequest: return "向服务器发送请求失败";
    case kErrorCertificate: return "服务器证书无效";
    default: return CThreadObject::GetErrorText(code);
  }
}

std::string CHttpDownload::GetHttpStatusText(std::uint16_t httpStatus) const {
  switch (httpStatus) {
    case 400: return "无法理解的请求";
    case 404: return "未找到请求的URL";
    case 405: return "服务器不支持请求的方法";
    case 500: return "未知的服务器错误";
    case 503: return "服务不可用";
    default: break;
  }
  if (httpStatus >= 400 && httpStatus <= 499) return "请求错误";
  if (httpStatus >= 500 && httpStatus <= 599) return "服务器内部错误";
  return {};
}

bool CHttpDownload::Download(const std::string& url, const std::string& savePath, std::string_view headers,
                             std::string_view body) {
  // A running job keeps its own target: the file deleted at destruction must
  // be the one that was written.
  if (IsRunning()) return false;
  {
    std::lock_guard lock(m_paramsLock);
    m_strUrl = url;
    m_strSavePath = savePath;
    m_strHeaders = std::string(headers);
    m_strBody = std::string(body);
  }
  return Start();
}

void CHttpDownload::SetLimits(const TransferLimits& limits) {
  std::lock_guard lock(m_paramsLock);
  m_limits = limits;
}

void CHttpDownload::SetExpectedSha256(std::string_view hex) {
  std::lock_guard lock(m_paramsLock);
  m_strExpectedSha256 = std::string(hex);
}

void CHttpDownload::SetCaFile(std::string path) {
  std::lock_guard lock(m_paramsLock);
  m_strCaFile = std::move(path);
}

std::string CHttpDownload::GetUrl() const {
  std::lock_guard lock(m_paramsLock);
  return m_strUrl;
}

std::string CHttpDownload::GetSavePath() const {
  std::lock_guard lock(m_paramsLock);
  return m_strSavePath;
}

std::string CHttpDownload::KeepFile() {
  std::lock_guard lock(m_paramsLock);
  return std::exchange(m_strSavePath, std::string());
}

void CHttpDownload::SetExceptionText(const std::string& text) {
  std::lock_guard lock(m_paramsLock);
  m_strExceptionText = TruncateUtf16(text, kExceptionTextLimit);
}

void CHttpDownload::BeginBody(Transfer& transfer) {
  curl_off_t length = -1;
  if (curl_easy_getinfo(transfer.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0) {
    m_dwContentLength = static_cast<std::uint64_t>(length);
    m_bLengthKnown = true;
  } else {
    m_dwContentLength = 1048576;
    m_bLengthKnown = false;
  }
  SetStatus(kStatusDownloading);
  m_dwReceived = 0;
}

bool CHttpDownload::OnBodyChunk(Transfer& transfer, const char* data, std::size_t size) {
  Job& job = *transfer.job;
  if (!transfer.statusChecked) {
    transfer.statusChecked = true;
    curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &transfer.httpStatus);
    // Nothing of a redirect or error body is kept.
    if (transfer.httpStatus != 200) return false;
    curl_off_t announced = -1;
    if (job.limits.maxBytes != 0 &&
        curl_easy_getinfo(transfer.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
        announced > 0 && static_cast<std::uint64_t>(announced) > job.limits.maxBytes) {
      transfer.abortCode = kErrorTooLarge;
      return false;
    }
    transfer.bodyStarted = true;
    BeginBody(transfer);
  }
  if (job.limits.maxBytes != 0 && m_dwReceived + size > job.limits.maxBytes) {
    transfer.abortCode = kErrorTooLarge;
    return false;
  }
  if (const int error = WriteAll(job.fd, data, size); error != 0) {
    if (IsDiskFull(error)) {
      transfer.abortCode = kErrorDiskFull;
    } else {
      SetExceptionText(std::string("writing the downloaded file failed: ") + std::strerror(error));
      transfer.abortCode = kErrorCreateFile;
    }
    return false;
  }
  job.digest.Update(data, size);
  m_dwReceived += size;
  if (m_bLengthKnown && m_dwContentLength != 0) {
    const double percent =
        std::min(static_cast<double>(m_dwReceived) / static_cast<double>(m_dwContentLength) * 100.0, 65535.0);
    const auto whole = static_cast<std::uint16_t>(percent);
    if (whole > m_nLastPercent.load()) {
      m_nLastPercent = whole;
      Notify(kNotifyPercent, whole);
    }
  }
  if (IsStopRequested()) {
    transfer.stopped = true;
    return false;
  }
  return true;
}

std::uint16_t CHttpDownload::UndoGzip(Job& job, const std::string& rawHeaders) {
  std::string encoding;
  // Only the exact token: other spellings are left as received.
  if (!FindHeader(rawHeaders, "Content-Encoding", encoding) || encoding != "gzip") return 0;
  zlib::CGZip gzip;
  if (!gzip.Open(job.savePath, zlib::kGzRead)) return 0;
  // The decoded content streams into a sibling file that replaces the
  // download only when the whole stream was sound, so a body that inflates
  // enormously never has to fit in memory, and it stops at the size limit.
  const std::string decodedPath = job.savePath + ".decoded";
  const int fd = ::open(decodedPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (IsDiskFull(errno)) return kErrorDiskFull;
    SetExceptionText(std::string("creating the decoded file failed: ") + std::strerror(errno));
    return kErrorCreateFile;
  }
  Sha256Stream digest;
  std::uint64_t written = 0;
  std::uint16_t failure = 0;
  const bool decoded = gzip.ReadAllInto([&](const std::uint8_t* data, std::size_t size) {
    if (IsStopRequested()) {
      failure = kStatusStopped;
      return false;
    }
    if (job.limits.maxBytes != 0 && written + size > job.limits.maxBytes) {
      failure = kErrorTooLarge;
      return false;
    }
    if (const int error = WriteAll(fd, reinterpret_cast<const char*>(data), size); error != 0) {
      if (IsDiskFull(error)) {
        failure = kErrorDiskFull;
      } else {
        failure = kErrorCreateFile;
        SetExceptionText(std::string("writing the decoded file failed: ") + std::strerror(error));
      }
      return false;
    }
    digest.Update(data, size);
    written += size;
    return true;
  });
  gzip.Close();
  const int closeError = ::close(fd) == 0 ? 0 : errno;
  if (decoded && closeError == 0 && ::rename(decodedPath.c_str(), job.savePath.c_str()) == 0) {
    // The digest that counts is the one of the content kept.
    std::swap(job.digest, digest);
    return 0;
  }
  ::unlink(decodedPath.c_str());
  if (failure != 0) return failure;
  if (decoded) {
    if (IsDiskFull(closeError)) return kErrorDiskFull;
    SetExceptionText(std::string("writing the decoded file failed: ") + std::strerror(closeError ? closeError : EIO));
    return kErrorCreateFile;
  }
  return 0;  // a damaged or empty stream leaves the file as received
}

int CHttpDownload::Run() {
  Job job;
  {
    std::lock_guard lock(m_paramsLock);
    job.url = m_strUrl;
    job.savePath = m_strSavePath;
    job.headers = m_strHeaders;
    job.body = m_strBody;
    job.limits = m_limits;
    job.expectedSha256 = m_strExpectedSha256;
    job.caFile = m_strCaFile;
  }
  job.connectTimeout = std::max(1, m_nTimeoutSec.load());

  std::error_code ignored;
  const std::filesystem::path parent = std::filesystem::path(job.savePath).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
  job.fd = ::open(job.savePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (job.fd < 0) {
    SetError(kErrorCreateFile, {});
    return 0;
  }
  bool complete = false;
  try {
    complete = RunJob(job);
  } catch (const std::exception& error) {
    SetExceptionText(error.what());
    SetError(kErrorException, {});
  }
  if (job.fd >= 0) ::close(job.fd);
  // Only a complete, checked file stays.
  if (!complete) ::unlink(job.savePath.c_str());
  return complete ? 1 : 0;
}

bool CHttpDownload::RunJob(Job& job) {
  SetStatus(kStatusConnecting);
  std::string& headers = job.headers;
  if (!job.body.empty() && headers.find("application/x-www-form-urlencoded") == std::string::npos) {
    constexpr std::string_view kAcceptEncoding = "Accept-Encoding:";
    constexpr std::string_view kContentType = "Content-Type: application/x-www-form-urlencoded\r\n";
    if (headers.find(kAcceptEncoding) != std::string::npos) {
      std::string merged;
      std::size_t start = 0, found;
      while ((found = headers.find(kAcceptEncoding, start)) != std::string::npos) {
        merged.append(headers, start, found - start).append(kContentType).append(kAcceptEncoding);
        start = found + kAcceptEncoding.size();
      }
      headers = merged + headers.substr(start);
    } else {
      headers += kContentType;
    }
  }

  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!multi) {
    SetError(kErrorConnection, {});
    return false;
  }
  // RequestStop wakes the job through the multi handle while it exists.
  struct Published {
    CHttpDownload& self;
    Published(CHttpDownload& owner, CURLM* multi) : self(owner) {
      std::lock_guard lock(self.m_wakeLock);
      self.m_pWakeable = multi;
    }
    ~Published() {
      std::lock_guard lock(self.m_wakeLock);
      self.m_pWakeable = nullptr;
    }
  } published(*this, multi.get());
  SpeedWatch speed(job.limits, job.started);

  std::string url = job.url;
  for (int redirects = 0;; ++redirects) {
    HttpUrlParts parts;
    if (!CrackHttpUrl(url, parts)) {
      SetError(kErrorInvalidUrl, {});
      return false;
    }
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
      SetError(kErrorConnection, {});
      return false;
    }
    curl_slist* lines = nullptr;
    bool headersBuilt = true;
    for (std::size_t start = 0; start < headers.size();) {
      std::size_t end = headers.find("\r\n", start);
      if (end == std::string::npos) end = headers.size();
      if (end > start) {
        curl_slist* grown = curl_slist_append(lines, headers.substr(start, end - start).c_str());
        if (!grown) {
          headersBuilt = false;
          break;
        }
        lines = grown;
      }
      start = end + 2;
    }
    std::unique_ptr<curl_slist, SlistDeleter> headerList(lines);

    Transfer transfer;
    transfer.self = this;
    transfer.job = &job;
    transfer.curl = curl.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const std::string requestUrl = ComposeHttpUrl(parts);
    CURL* c = curl.get();
    bool setUp = headersBuilt && curl_easy_setopt(c, CURLOPT_URL, requestUrl.c_str()) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, job.connectTimeout) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::OnBody) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_NOPROGRESS, 1L) == CURLE_OK;
    if (setUp && !job.caFile.empty())
      setUp = curl_easy_setopt(c, CURLOPT_CAINFO, job.caFile.c_str()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_CAPATH, nullptr) == CURLE_OK;
    if (setUp && headerList) setUp = curl_easy_setopt(c, CURLOPT_HTTPHEADER, headerList.get()) == CURLE_OK;
    if (setUp && !job.body.empty())
      setUp = curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(job.body.size())) ==
                  CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_POSTFIELDS, job.body.data()) == CURLE_OK;
    if (!setUp || curl_multi_add_handle(multi.get(), c) != CURLM_OK) {
      SetError(kErrorOpenRequest, {});
      return false;
    }

    CURLcode code = CURLE_OK;
    for (bool finished = false; !finished;) {
      int running = 0;
      if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
        code = CURLE_FAILED_INIT;
        break;
      }
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued))
        if (message->msg == CURLMSG_DONE) {
          code = message->data.result;
          finished = true;
        }
      if (finished || transfer.abortCode != 0 || transfer.stopped) break;
      if (IsStopRequested()) {
        transfer.stopped = true;
        break;
      }
      const Clock::time_point now = Clock::now();
      if ((!transfer.bodyStarted && now - job.started > job.limits.redirectChainLimit) ||
          speed.TooSlow(now, job.bytesSeen)) {
        transfer.abortCode = kErrorTooSlow;
        break;
      }
      curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
    }
    curl_multi_remove_handle(multi.get(), c);

    if (transfer.stopped || IsStopRequested()) {
      SetStatus(kStatusStopped);
      return false;
    }
    if (transfer.abortCode != 0) {
      SetError(transfer.abortCode, {});
      return false;
    }
    if (!transfer.statusChecked) curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &transfer.httpStatus);
    if (transfer.httpStatus == 0) {
      SetError(IsSecureConnectionFailure(code) ? kErrorCertificate : kErrorSendRequest, {});
      return false;
    }

    const long status = transfer.httpStatus;
    std::string location;
    if ((status == 301 || status == 302 || status == 303) &&
        FindHeader(transfer.rawHeaders, "Location", location) && !location.empty()) {
      if (redirects >= kMaxRedirects) {
        m_nHttpStatus = static_cast<std::uint16_t>(status);
        SetError(kErrorHttpStatus, {});
        return false;
      }
      // The Location is a URL reference: absolute, or relative to the URL
      // that answered.
      std::string next;
      const bool resolved = ResolveUrlReference(url, location, next);
      {
        std::lock_guard lock(m_paramsLock);
        m_strUrl = resolved ? next : location;
      }
      if (!resolved) {
        SetError(kErrorInvalidUrl, {});
        return false;
      }
      url = next;
      if (::ftruncate(job.fd, 0) != 0 || ::lseek(job.fd, 0, SEEK_SET) != 0) {
        SetError(kErrorCreateFile, {});
        return false;
      }
      job.digest.Reset();
      continue;
    }
    if (status != 200) {
      m_nHttpStatus = static_cast<std::uint16_t>(status > 65535 ? 65535 : status);
      SetError(kErrorHttpStatus, {});
      return false;
    }
    if (code != CURLE_OK) {
      SetExceptionText(errorBuffer[0] ? std::string(errorBuffer) : std::string(curl_easy_strerror(code)));
      SetError(kErrorException, {});
      return false;
    }
    if (!transfer.statusChecked) BeginBody(transfer);  // an empty body
    if (::close(job.fd) != 0 && IsDiskFull(errno)) {
      job.fd = -1;
      SetError(kErrorDiskFull, {});
      return false;
    }
    job.fd = -1;
    if (const std::uint16_t failure = UndoGzip(job, transfer.rawHeaders); failure != 0) {
      if (failure == kStatusStopped)
        SetStatus(kStatusStopped);
      else
        SetError(failure, {});
      return false;
    }
    if (!job.expectedSha256.empty() && !Sha256Matches(job.digest.FinishHex(), job.expectedSha256)) {
      SetError(kErrorChecksum, {});
      return false;
    }
    SetStatus(kStatusDownloaded);
    return true;
  }
}

}  // namespace vornida
