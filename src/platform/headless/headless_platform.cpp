#include "platform/headless/headless_platform.h"

#include <cstdio>
#include <utility>

#include "platform/system_codes.h"

namespace vornida::platform {
namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}


}  // namespace

void EventLog::line(const std::string& text) {
  std::string oneLine;
  oneLine.reserve(text.size() + 1);
  for (char c : text) {
    if (c == '\n')
      oneLine += "\\n";
    else if (c == '\r')
      oneLine += "\\r";
    else
      oneLine += c;
  }
  oneLine += '\n';
  std::lock_guard lock(mutex_);
  out_ << oneLine;
  out_.flush();
}

HeadlessMovie::HeadlessMovie(EventLog& log, Responder responder)
    : HeadlessMovie([&log](const std::string& request) { log.line("call: " + request); }, std::move(responder)) {}

HeadlessMovie::HeadlessMovie(CallListener listener, Responder responder)
    : listener_(std::move(listener)), responder_(std::move(responder)) {}

void HeadlessMovie::setEventSink(MovieEventSink* sink) { sink_ = sink; }

bool HeadlessMovie::callFunction(const std::string& request, std::string& response) {
  if (!open_) return false;
  if (listener_) listener_(request);
  std::optional<std::string> answer = responder_ ? responder_(request) : std::optional<std::string>(std::string());
  if (!answer) return false;
  response = std::move(*answer);
  return true;
}

void HeadlessMovie::setReturnValue(const std::string& value) {
  if (!returnValues_.empty()) returnValues_.back() = value;
}

std::optional<std::string> HeadlessMovie::deliverFlashCall(const std::string& request) {
  if (sink_ == nullptr) return std::nullopt;
  returnValues_.emplace_back();
  sink_->onFlashCall(request);
  std::optional<std::string> value = std::move(returnValues_.back());
  returnValues_.pop_back();
  return value;
}

bool HeadlessMovie::deliverFsCommand(const std::string& command, const std::string& argument) {
  return sink_ != nullptr && sink_->onFsCommand(command, argument);
}

void ScriptedDialogs::prepareFileDialog(std::optional<std::vector<std::string>> paths) {
  fileAnswers_.push_back(std::move(paths));
}

void ScriptedDialogs::prepareMessageBox(int button) { messageBoxAnswers_.push_back(button); }

FileDialogResult ScriptedDialogs::showFileDialog(const FileDialogRequest& request) {
  log_.line(std::string("dialog: ") + (request.mode == FileDialogMode::Save ? "save" : "open") +
            " title=" + request.title + " folder=" + request.initialFolder + " filter=" + request.filter);
  FileDialogResult result;
  if (fileAnswers_.empty()) return result;
  std::optional<std::vector<std::string>> answer = std::move(fileAnswers_.front());
  fileAnswers_.pop_front();
  if (!answer || answer->empty()) return result;
  result.accepted = true;
  result.paths = std::move(*answer);
  if (!request.allowMultiple && result.paths.size() > 1) result.paths.resize(1);
  return result;
}

int ScriptedDialogs::showMessageBox(const MessageBoxRequest& request) {
  log_.line("msgbox: style=" + std::to_string(request.style) + " caption=" + request.caption +
            " text=" + request.text);
  if (messageBoxAnswers_.empty()) return kIdOk;
  const int button = messageBoxAnswers_.front();
  messageBoxAnswers_.pop_front();
  return button;
}

bool RecordingShell::execute(const std::string& verb, const std::string& target, const std::string& parameters,
                             int /*showState*/) {
  std::string text = "shell: " + verb + " " + target;
  if (!parameters.empty()) text += " " + parameters;
  log_.line(text);
  return true;
}

void HeadlessFrame::prepareMenu(std::uint32_t command) { menuAnswers_.push_back(command); }

void HeadlessFrame::apply(std::uint32_t command) {
  log_.line("window: syscommand " + Hex(command));
  if (command == kScMaximize) maximized_ = true;
  if (command == kScRestore) maximized_ = false;
}

void HeadlessFrame::postSysCommand(std::uint32_t command) { apply(command); }
void HeadlessFrame::sendSysCommand(std::uint32_t command) { apply(command); }

void HeadlessFrame::sendMessage(std::uint32_t message) { log_.line("window: message " + std::to_string(message)); }

std::uint32_t HeadlessFrame::trackSystemMenu(int clientX, int clientY, const SystemMenuState& /*state*/) {
  log_.line("window: sysmenu " + std::to_string(clientX) + " " + std::to_string(clientY));
  if (menuAnswers_.empty()) return 0;
  const std::uint32_t command = menuAnswers_.front();
  menuAnswers_.pop_front();
  return command;
}

void HeadlessCanvas::move(const WindowRect& rect) {
  bounds_ = rect;
  log_.line("canvas: move " + std::to_string(rect.x) + " " + std::to_string(rect.y) + " " +
            std::to_string(rect.width) + " " + std::to_string(rect.height));
}

void HeadlessCanvas::show() {
  visible_ = true;
  log_.line("canvas: show");
}

void HeadlessCanvas::hide() {
  visible_ = false;
  log_.line("canvas: hide");
}

void HeadlessCanvas::draw(const PixelView& picture) {
  log_.line("canvas: draw " + std::to_string(picture.width) + " " + std::to_string(picture.height));
}

}  // namespace vornida::platform
