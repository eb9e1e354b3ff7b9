// Helpers for the upgrade tests: temporary folders, files, external tools,
// and a local HTTP server run by Debian's Python.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vornida::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "vornida-upgrade-XXXXXX").string();
    path_ = ::mkdtemp(templ.data()) ? templ : std::string();
  }
  ~TempFolder() {
    std::error_code ignored;
    // Extracted files may be read-only; make them removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

// The byte pattern the test server sends for /data/N.
inline std::string Pattern(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 251);
  return bytes;
}

// Runs a shell command; true when it exits with 0.
inline bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Certificates made by the openssl tool for a local https server:
//   ca.pem                      a test authority
//   server.pem, server.key      a certificate for 127.0.0.1 that it signed
//   self.pem, self.key          a self-signed certificate for 127.0.0.1 nobody trusts
inline bool MakeTestCertificates(const std::string& folder) {
  const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
  WriteFile(folder + "/server.ext", "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n");
  return Shell("cd " + Quote(folder) + " && openssl req -x509" + key +
               " -keyout ca.key -out ca.pem -subj '/CN=Vornida Test Authority'"
               " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null"
               " && openssl req" + key + " -keyout server.key -out server.csr -subj /CN=127.0.0.1 2>/dev/null"
               " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
               " -extfile server.ext -out server.pem 2>/dev/null"
               " && openssl req -x509" + key + " -keyout self.key -out self.pem -subj /CN=127.0.0.1"
               " -addext subjectAltName=IP:127.0.0.1 2>/dev/null");
}

// Signs `path` with the test key into `path`.sig, as the update server's
// maintainers do (scripts/sign-update-manifest.sh).
inline bool SignWithTestKey(const std::string& path) {
  const std::string source = VORNIDA_SOURCE_DIR;
  return Shell("bash " + Quote(source + "/scripts/sign-update-manifest.sh") + " " +
               Quote(source + "/tests/upgrade/keys/test-update-key.pem") + " " + Quote(path));
}

// The test server of http_test_server.py, on 127.0.0.1 and a free port. It
// ends when this object goes (its stdin closes) or after its lifetime. With
// a certificate and key it speaks https.
class TestHttpServer {
 public:
  explicit TestHttpServer(const std::string& filesFolder = {}, const std::string& tlsCertificate = {},
                          const std::string& tlsKey = {})
      : secure_(!tlsCertificate.empty()) {
    // A proxy configured in the environment must not stand between the
    // downloader and this server.
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
    const std::string script = std::string(VORNIDA_SOURCE_DIR) + "/tests/upgrade/http_test_server.py";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(toChild[0], 0);
      ::dup2(fromChild[1], 1);
      ::close(toChild[1]);
      ::close(fromChild[0]);
      std::vector<const char*> args = {VORNIDA_PYTHON, script.c_str(), "120"};
      if (!filesFolder.empty()) args.push_back(filesFolder.c_str());
      if (secure_) {
        args.insert(args.end(), {"--tls", tlsCertificate.c_str(), tlsKey.c_str()});
      }
      args.push_back(nullptr);
      ::execv(VORNIDA_PYTHON, const_cast<char* const*>(args.data()));
      ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    stdin_ = toChild[1];
    FILE* out = ::fdopen(fromChild[0], "r");
    if (out && std::fscanf(out, "%d", &port_) != 1) port_ = 0;
    if (out) std::fclose(out);
  }
  ~TestHttpServer() {
    if (stdin_ >= 0) ::close(stdin_);
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int port() const { return port_; }
  std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string url(const std::string& path) const { return (secure_ ? "https://" : "http://") + hostPort() + path; }

 private:
  bool secure_ = false;
  pid_t pid_ = -1;
  int stdin_ = -1;
  int port_ = 0;
};

}  // namespace vornida::testing
