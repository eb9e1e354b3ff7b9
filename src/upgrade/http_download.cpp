#include "upgrade/http_download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/text.h"
#include "upgrade/gzip.h"

namespace vornida {

namespace {

constexpr std::size_t kExceptionTextLimit = 1023;  // UTF-16 units

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
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

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

bool CrackHttpUrl(std::string_view url, HttpUrlParts& out) {
  constexpr std::string_view kScheme = "http://";
  if (url.size() < kScheme.size() || !EqualsIgnoreAsciiCase(url.substr(0, kScheme.size()), kScheme)) return false;
  std::string_view rest = url.substr(kScheme.size());
  const std::size_t authorityEnd = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view path = authorityEnd == std::string_view::npos ? std::string_view{} : rest.substr(authorityEnd);

  HttpUrlParts parts;
  const std::size_t colon = authority.find(':');
  std::string_view host = authority.substr(0, colon);
  if (colon != std::string_view::npos) {
    const std::string_view port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5) return false;
    unsigned value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    parts.port = static_cast<std::uint16_t>(value);
  }
  if (host.empty()) return false;
  for (char c : host)
    if (!IsHostChar(c)) return false;
  parts.host = std::string(host);
  if (!path.empty() && path.front() == '#') path = {};
  const std::size_t fragment = path.find('#');
  if (fragment != std::string_view::npos) path = path.substr(0, fragment);
  for (char c : path)
    if (static_cast<unsigned char>(c) <= ' ') return false;
  parts.path = path.empty() ? "/" : (path.front() == '/' ? std::string(path) : "/" + std::string(path));
  out = std::move(parts);
  return true;
}

// State of one request, shared with libcurl's callbacks.
struct CHttpDownload::Transfer {
  CHttpDownload* self = nullptr;
  CURL* curl = nullptr;
  int fd = -1;
  std::string rawHeaders;  // headers of the last response only
  long httpStatus = 0;
  bool statusChecked = false;
  bool discarded = false;  // body of a non-200 answer, cut off on purpose
  bool stopped = false;
  std::string writeError;

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::string_view line(data, size * count);
    // Each response (an interim "100 Continue" too) starts over.
    if (line.substr(0, 5) == "HTTP/") transfer.rawHeaders.clear();
    transfer.rawHeaders.append(line);
    return size * count;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t total = size * count;
    return transfer.self->OnBodyChunk(transfer, data, total) ? total : 0;
  }

  static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& transfer = *static_cast<Transfer*>(user);
    if (!transfer.self->IsStopRequested()) return 0;
    transfer.stopped = true;
    return 1;
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
    case kErrorConnection: return "创建连接对象失败";
    case kErrorOpenRequest: return "创建Http请求失败";
    case kErrorSendRequest: return "向服务器发送请求失败";
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
  if (!transfer.statusChecked) {
    transfer.statusChecked = true;
    curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &transfer.httpStatus);
    if (transfer.httpStatus != 200) {
      // Nothing of a redirect or error body is kept.
      transfer.discarded = true;
      return false;
    }
    BeginBody(transfer);
  }
  if (!WriteAll(transfer.fd, data, size)) {
    transfer.writeError = std::string("writing the downloaded file failed: ") + std::strerror(errno);
    return false;
  }
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

void CHttpDownload::UndoGzip(const std::string& path, const std::string& rawHeaders) {
  std::string encoding;
  // Only the exact token: other spellings are left as received.
  if (!FindHeader(rawHeaders, "Content-Encoding", encoding) || encoding != "gzip") return;
  zlib::CGZip gzip;
  if (!gzip.Open(path, zlib::kGzRead)) return;
  // The decoded content streams into a sibling file that replaces the
  // download only when the whole stream was sound, so a body that inflates
  // enormously never has to fit in memory.
  const std::string decodedPath = path + ".decoded";
  const int fd = ::open(decodedPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error(std::string("creating the decoded file failed: ") + std::strerror(errno));
  int writeErrno = 0;
  const bool decoded = gzip.ReadAllInto([fd, &writeErrno](const std::uint8_t* data, std::size_t size) {
    if (WriteAll(fd, reinterpret_cast<const char*>(data), size)) return true;
    writeErrno = errno;
    return false;
  });
  gzip.Close();
  const bool closed = ::close(fd) == 0;
  if (decoded && closed && ::rename(decodedPath.c_str(), path.c_str()) == 0) return;
  ::unlink(decodedPath.c_str());
  if (writeErrno != 0 || (decoded && !closed))
    throw std::runtime_error(std::string("writing the decoded file failed: ") +
                             std::strerror(writeErrno != 0 ? writeErrno : EIO));
  // A damaged or empty stream leaves the file as received.
}

int CHttpDownload::Run() {
  std::string url, savePath, headers, body;
  {
    std::lock_guard lock(m_paramsLock);
    url = m_strUrl;
    savePath = m_strSavePath;
    headers = m_strHeaders;
    body = m_strBody;
  }
  const long timeout = std::max(1, m_nTimeoutSec.load());

  std::error_code ignored;
  const std::filesystem::path parent = std::filesystem::path(savePath).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
  const int fd = ::open(savePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetError(kErrorCreateFile, {});
    return 0;
  }
  struct FdCloser {
    int fd;
    ~FdCloser() {
      if (fd >= 0) ::close(fd);
    }
  } fileGuard{fd};
  SetStatus(kStatusConnecting);

  if (!body.empty() && headers.find("application/x-www-form-urlencoded") == std::string::npos) {
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

  try {
    for (int redirects = 0;; ++redirects) {
      HttpUrlParts parts;
      if (!CrackHttpUrl(url, parts)) {
        SetError(kErrorInvalidUrl, {});
        return 0;
      }
      std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
      if (!curl) {
        SetError(kErrorConnection, {});
        return 0;
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
      transfer.curl = curl.get();
      transfer.fd = fd;
      char errorBuffer[CURL_ERROR_SIZE] = {};
      const std::string requestUrl = "http://" + parts.host + ":" + std::to_string(parts.port) + parts.path;
      CURL* c = curl.get();
      bool setUp = headersBuilt && curl_easy_setopt(c, CURLOPT_URL, requestUrl.c_str()) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http") == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, timeout) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, timeout) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::OnBody) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer) == CURLE_OK &&
                   curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
      if (setUp && headerList) setUp = curl_easy_setopt(c, CURLOPT_HTTPHEADER, headerList.get()) == CURLE_OK;
      if (setUp && !body.empty())
        setUp = curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())) ==
                    CURLE_OK &&
                curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data()) == CURLE_OK;
      if (!setUp) {
        SetError(kErrorOpenRequest, {});
        return 0;
      }

      const CURLcode code = curl_easy_perform(c);
      if (transfer.stopped) {
        SetStatus(kStatusStopped);
        return 1;
      }
      if (!transfer.statusChecked) curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &transfer.httpStatus);
      if (transfer.httpStatus == 0) {
        SetError(kErrorSendRequest, {});
        return 0;
      }

      const long status = transfer.httpStatus;
      std::string location;
      if ((status == 301 || status == 302 || status == 303) &&
          FindHeader(transfer.rawHeaders, "Location", location) && !location.empty()) {
        if (redirects >= kMaxRedirects) {
          m_nHttpStatus = static_cast<std::uint16_t>(status);
          SetError(kErrorHttpStatus, {});
          return 0;
        }
        // A target naming its own scheme stands as it is; anything else is
        // glued to this server as received.
        if (location.find("http://") != std::string::npos)
          url = location;
        else
          url = "http://" + parts.host + (parts.port != 80 ? ":" + std::to_string(parts.port) : "") + location;
        {
          std::lock_guard lock(m_paramsLock);
          m_strUrl = url;
        }
        if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
          SetError(kErrorCreateFile, {});
          return 0;
        }
        continue;
      }
      if (status != 200) {
        m_nHttpStatus = static_cast<std::uint16_t>(status > 65535 ? 65535 : status);
        SetError(kErrorHttpStatus, {});
        return 0;
      }
      if (code != CURLE_OK) {
        std::string text = !transfer.writeError.empty() ? transfer.writeError
                           : errorBuffer[0]             ? std::string(errorBuffer)
                                                        : std::string(curl_easy_strerror(code));
        {
          std::lock_guard lock(m_paramsLock);
          m_strExceptionText = TruncateUtf16(text, kExceptionTextLimit);
        }
        SetError(kErrorException, {});
        return 0;
      }
      if (!transfer.statusChecked) BeginBody(transfer);  // an empty body
      ::close(fileGuard.fd);
      fileGuard.fd = -1;
      UndoGzip(savePath, transfer.rawHeaders);
      SetStatus(kStatusDownloaded);
      return 1;
    }
  } catch (const std::exception& error) {
    {
      std::lock_guard lock(m_paramsLock);
      m_strExceptionText = TruncateUtf16(error.what(), kExceptionTextLimit);
    }
    SetError(kErrorException, {});
    return 0;
  }
}

}  // namespace vornida
