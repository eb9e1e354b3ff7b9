#include "upgrade/url.h"

#include <gtest/gtest.h>

namespace vornida {
namespace {

TEST(HttpUrlTest, CracksHttpAndHttpsUrls) {
  HttpUrlParts parts;
  ASSERT_TRUE(CrackHttpUrl("HTTP://Example.org:8080/a/b?c=d#frag", parts));
  EXPECT_FALSE(parts.secure);
  EXPECT_EQ(parts.host, "Example.org");
  EXPECT_EQ(parts.port, 8080);
  EXPECT_EQ(parts.path, "/a/b?c=d");
  ASSERT_TRUE(CrackHttpUrl("http://host", parts));
  EXPECT_EQ(parts.port, 80);
  EXPECT_EQ(parts.path, "/");
  ASSERT_TRUE(CrackHttpUrl("http://host?q", parts));
  EXPECT_EQ(parts.path, "/?q");
  ASSERT_TRUE(CrackHttpUrl("https://host/x", parts));
  EXPECT_TRUE(parts.secure);
  EXPECT_EQ(parts.port, 443);
  ASSERT_TRUE(CrackHttpUrl("https://[::1]:8443/x", parts));
  EXPECT_EQ(parts.host, "[::1]");
  EXPECT_EQ(parts.port, 8443);
  for (const char* bad : {"ftp://host/", "http://", "http://:80/", "http://host:/x", "http://host:0/",
                          "http://host:65536/", "http://host:80https://x", "host/path", "http://ho st/",
                          "http://host/a b", "http://user@host/", "https://[::1/x", "http://host/\x7f"})
    EXPECT_FALSE(CrackHttpUrl(bad, parts)) << bad;
}

TEST(HttpUrlTest, ComposesWithThePortOnlyWhenItIsNotTheDefault) {
  EXPECT_EQ(ComposeHttpUrl({false, "h", 80, "/a"}), "http://h/a");
  EXPECT_EQ(ComposeHttpUrl({true, "h", 443, "/a"}), "https://h/a");
  EXPECT_EQ(ComposeHttpUrl({true, "h", 80, "/a"}), "https://h:80/a");
}

TEST(UrlReferenceTest, ResolvesLocationsAgainstTheRequestUrl) {
  const std::string base = "http://a:8080/b/c/d;p?q";
  const std::pair<const char*, const char*> cases[] = {
      {"g", "http://a:8080/b/c/g"},
      {"./g", "http://a:8080/b/c/g"},
      {"g/", "http://a:8080/b/c/g/"},
      {"/g", "http://a:8080/g"},
      {"//other/g", "http://other/g"},
      {"?y", "http://a:8080/b/c/d;p?y"},
      {"g?y", "http://a:8080/b/c/g?y"},
      {"#s", "http://a:8080/b/c/d;p?q"},
      {"", "http://a:8080/b/c/d;p?q"},
      {"..", "http://a:8080/b/"},
      {"../g", "http://a:8080/b/g"},
      {"../../../g", "http://a:8080/g"},
      {"/./g/../h", "http://a:8080/h"},
      {"HTTPS://secure.example/x", "HTTPS://secure.example/x"},
      // What a query holds is no scheme: these stay on the server that answered.
      {"/next?to=http://evil.example/", "http://a:8080/next?to=http://evil.example/"},
      {"data?u=http://x:1/", "http://a:8080/b/c/data?u=http://x:1/"},
      {"g:h/..", ""},  // another scheme
      {"ftp://host/x", ""},
      {"http://bad host/", ""},
  };
  for (const auto& [reference, expected] : cases) {
    std::string out = "untouched";
    const bool resolved = ResolveUrlReference(base, reference, out);
    EXPECT_EQ(resolved, *expected != '\0') << reference;
    EXPECT_EQ(out, *expected ? expected : "untouched") << reference;
  }
  std::string out;
  EXPECT_FALSE(ResolveUrlReference("not a url", "/x", out));
  ASSERT_TRUE(ResolveUrlReference("https://h", "x", out));
  EXPECT_EQ(out, "https://h/x");
}

TEST(UrlReferenceTest, SiblingGoesBeforeTheQuery) {
  EXPECT_EQ(SiblingUrl("http://h/up/update.xml", ".sig"), "http://h/up/update.xml.sig");
  EXPECT_EQ(SiblingUrl("http://h/update.xml?channel=beta#top", ".sig"), "http://h/update.xml.sig?channel=beta");
}

}  // namespace
}  // namespace vornida
