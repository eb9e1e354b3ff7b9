#include "host/movie_calls.h"

#include <atomic>

#include "host/flash_ctrl.h"
#include "host/messages.h"

namespace vornida {
namespace {

std::atomic<CFlashCtrl*> mainMovieCtrl{nullptr};

std::string Invoke(const std::string& function, const std::string& values) { return InvokeRequest(function, values); }
std::string String(const std::string& text) { return StringValue(text); }
std::string Number(int value) { return NumberValue(value); }

// Calls the movie and gives ParseResponse of its answer; empty on failure.
std::string AskMovie(const std::string& request) {
  CFlashCtrl* control = MainMovieCtrl();
  if (control == nullptr) return {};
  std::string response;
  if (!control->CallFunction(request, response)) return {};
  return ParseResponse(response);
}

}  // namespace

CFlashCtrl* MainMovieCtrl() { return mainMovieCtrl.load(); }
void SetMainMovieCtrl(CFlashCtrl* control) { mainMovieCtrl.store(control); }
void ClearMainMovieCtrl(CFlashCtrl* control) { mainMovieCtrl.compare_exchange_strong(control, nullptr); }

bool CallMovie(const std::string& request) {
  CFlashCtrl* control = MainMovieCtrl();
  if (control == nullptr) return false;
  std::string ignored;
  return control->CallFunction(request, ignored);
}

std::string GetText(const std::string& key) { return AskMovie(movie_request::GetStr(key)); }
std::string GetMovieVersion() { return AskMovie(movie_request::GetVerStr()); }

namespace movie_request {
std::string Notify(const std::string& event, const std::string& value) {
  return Invoke("notify", String(event) + String(value));
}
std::string SetProgressVisual() { return Invoke("setProgressVisual", "<false/>"); }
std::string SetProgress(int position) { return Invoke("setProgress", Number(position)); }
std::string SetProgressMaximum(int maximum) { return Invoke("setProgressMaximum", Number(maximum)); }
std::string SetLabelText(const std::string& function, const std::string& text) {
  return Invoke(function, String(text));
}
std::string SetBackgroundFile(const std::string& path) { return Invoke("setBackgroundFile", String(path)); }
std::string SetCustomShape(const std::string& path) { return Invoke("setCustomShape", String(path)); }
std::string SetShapePreview(const std::string& path) { return Invoke("setShapePreview", String(path)); }
std::string ClearPreviewShape() { return Invoke("clearPreviewShape", ""); }
std::string GetStr(const std::string& key) { return Invoke("getStr", String(key)); }
std::string GetVerStr() { return Invoke("getVerStr", ""); }
std::string OpenProjectCallBack(const std::string& projectText) {
  return Invoke("openProjectCallBack", String(projectText));
}
std::string OpenAddPhotosDlgCallBack(const std::string& escapedPhotoText) {
  return Invoke("openAddPhotosDlgCallBack", String(escapedPhotoText));
}
std::string Reply(const std::string& function, int button) { return Invoke(function, Number(button)); }
std::string Reply(const std::string& function, int button, const std::string& replyText) {
  return Invoke(function, Number(button) + String(replyText));
}
}  // namespace movie_request

void NotifyMovie(const std::string& event, const std::string& value) {
  CallMovie(movie_request::Notify(event, value));
}
void SetMovieProgressVisual() { CallMovie(movie_request::SetProgressVisual()); }
void SetMovieBackgroundFile(const std::string& path) { CallMovie(movie_request::SetBackgroundFile(path)); }
void SetMovieCustomShape(const std::string& path) { CallMovie(movie_request::SetCustomShape(path)); }
void SetMovieShapePreview(const std::string& path) { CallMovie(movie_request::SetShapePreview(path)); }
void OpenProjectCallBack(const std::string& projectText) { CallMovie(movie_request::OpenProjectCallBack(projectText)); }
void OpenAddPhotosDlgCallBack(const std::string& escapedPhotoText) {
  CallMovie(movie_request::OpenAddPhotosDlgCallBack(escapedPhotoText));
}

}  // namespace vornida
