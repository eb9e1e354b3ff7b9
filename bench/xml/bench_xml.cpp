// Parse and walk speed of CXmlDoc on a generated 10 MB document shaped like
// the program's own documents: a project with many photo records (attributes,
// text with entities, comments, CDATA, nesting). Reported as bytes/second of
// wall time, beside xmllint on the same document.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "xml/xml_doc.h"

namespace {

std::string MakeDocument(std::size_t targetBytes) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vornida version=\"3.61\">\n  <Photos>\n";
  uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  for (int i = 0; text.size() < targetBytes; ++i) {
    text += "    <Photo src=\"/home/user/Pictures/Holiday 2024/IMG_" + std::to_string(10000 + i) +
            ".jpg\" width=\"" + std::to_string(1000 + next() % 5000) + "\" height=\"" +
            std::to_string(1000 + next() % 4000) + "\" rotate='" + std::to_string(next() % 4 * 90) + "'>\n";
    text += "      <Caption>Day " + std::to_string(i % 30) + " &amp; the beach &#233;t&#xE9; caf\xC3\xA9</Caption>\n";
    if (i % 10 == 0) text += "      <!-- checked by hand -->\n      <Note><![CDATA[raw <text> & more]]></Note>\n";
    text += "      <Tags><Tag>sea</Tag><Tag>sun</Tag><Tag/></Tags>\n    </Photo>\n";
  }
  text += "  </Photos>\n</Vornida>\n";
  return text;
}

const std::string& Document() {
  static const std::string document = MakeDocument(10 * 1024 * 1024);
  return document;
}

// Visits every element and reads its name, one attribute and its text.
std::size_t WalkAll(vornida::CXmlDoc& doc) {
  std::size_t total = 0;
  int depth = 0;
  for (;;) {
    if (doc.findElement()) {
      total += doc.tagName().size() + doc.attribute("src").size();
      if (!doc.hasChildElements()) total += doc.elementText().size();
      doc.enterElement();
      ++depth;
    } else if (depth > 0) {
      doc.leaveElement();
      --depth;
    } else {
      return total;
    }
  }
}

void BM_Parse(benchmark::State& state) {
  const std::string& text = Document();
  vornida::CXmlDoc doc;
  for (auto _ : state) {
    if (!doc.setText(text)) state.SkipWithError(doc.resultText().c_str());
    benchmark::DoNotOptimize(doc.elementCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ParseAndWalk(benchmark::State& state) {
  const std::string& text = Document();
  vornida::CXmlDoc doc;
  for (auto _ : state) {
    if (!doc.setText(text)) state.SkipWithError(doc.resultText().c_str());
    benchmark::DoNotOptimize(WalkAll(doc));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseAndWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same walk looking elements up by name, the way callers read projects.
void BM_FindByName(benchmark::State& state) {
  const std::string& text = Document();
  vornida::CXmlDoc doc;
  doc.setText(text);
  for (auto _ : state) {
    doc.setText(text);
    std::size_t found = 0;
    doc.findElement("Vornida");
    doc.enterElement();
    doc.findElement("Photos");
    doc.enterElement();
    while (doc.findElement("Photo")) found += doc.attribute("src").size();
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FindByName)->Unit(benchmark::kMillisecond)->UseRealTime();

// Outside baseline in the same run: a full XML parser (xmllint from libxml2)
// checking the same document, process start included (about 1 ms).
void BM_XmllintBaseline(benchmark::State& state) {
  const std::string& text = Document();
  char path[] = "/tmp/bench_xml.XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    state.SkipWithError("cannot write the document");
    return;
  }
  close(fd);
  const std::string command = std::string("xmllint --noout ") + path;
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("xmllint failed");
      break;
    }
  }
  unlink(path);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_XmllintBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
