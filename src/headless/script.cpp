// The movie-script reader of the headless console.
#include <charconv>
#include <string_view>

#include "headless/headless_host.h"
#include "headless/headless_wizard.h"

namespace vornida {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// A decimal number, or a hexadecimal one after "0x" (system commands are
// usually written that way). The whole text must be the number.
template <typename Int>
bool ReadNumber(std::string_view text, Int& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size();
}

// Splits "word rest" at the first blank.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view line) {
  const auto blank = line.find_first_of(" \t");
  if (blank == std::string_view::npos) return {line, {}};
  return {line.substr(0, blank), Trim(line.substr(blank + 1))};
}

std::vector<std::string> SplitPaths(std::string_view text) {
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (true) {
    const auto bar = text.find('|', start);
    paths.emplace_back(text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return paths;
}

}  // namespace

int RunScript(HeadlessHost& host, std::istream& script, std::ostream& errors, std::chrono::milliseconds waitLimit) {
  std::string raw;
  std::size_t lineNumber = 0;
  while (std::getline(script, raw)) {
    ++lineNumber;
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;

    if (line.front() == '<') {
      host.Request(std::string(line));
      continue;
    }
    const auto [word, rest] = SplitWord(line);
    bool readable = true;
    if (word == "dialog") {
      if (rest.empty())
        host.PrepareFileDialog(std::nullopt);
      else
        host.PrepareFileDialog(SplitPaths(rest));
    } else if (word == "msgbox") {
      int button = 0;
      readable = ReadNumber(rest, button);
      if (readable) host.PrepareMessageBox(button);
    } else if (word == "menu") {
      std::uint32_t command = 0;
      readable = ReadNumber(rest, command);
      if (readable) host.PrepareMenu(command);
    } else if (word == "wizard") {
      readable = !rest.empty() && HeadlessWizardPresses().Prepare(rest);
    } else if (word == "wait") {
      readable = rest.empty();
      if (readable && !host.Wait(waitLimit)) {
        errors << "line " << lineNumber << ": wait gave up: the program did not become idle\n";
        return kScriptWaitGaveUp;
      }
    } else {
      readable = false;
    }
    if (!readable) {
      errors << "line " << lineNumber << ": cannot read: " << line << "\n";
      return kScriptUnreadableLine;
    }
  }
  return kScriptDone;
}

}  // namespace vornida
