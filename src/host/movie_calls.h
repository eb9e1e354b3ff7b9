// The functions of the main movie that native code calls, and the texts it
// fetches from the movie by key.
//
// Every call goes to the main movie's control (MainMovieCtrl), from any
// thread (see CFlashCtrl::CallFunction). Values are inserted into the request
// unchanged: the caller escapes where the movie expects escaped text. Apart
// from GetText and GetMovieVersion the movie's answers are ignored.
#pragma once

#include <string>

namespace vornida {

class CFlashCtrl;

// The main movie's control: set by CVRFlashCtrl's constructor, cleared by its
// destructor. Null while there is none; movie calls then do nothing.
CFlashCtrl* MainMovieCtrl();
void SetMainMovieCtrl(CFlashCtrl* control);
// Clears the pointer only if it still names `control`.
void ClearMainMovieCtrl(CFlashCtrl* control);

// Sends a request to the main movie and ignores its answer. Returns whether
// the call reached the movie.
bool CallMovie(const std::string& request);

// A user-visible text from the movie's text table ("getStr"); empty when the
// call fails or the answer is not one value.
std::string GetText(const std::string& key);
// The movie's version ("getVerStr").
std::string GetMovieVersion();

// Request texts, exactly as the movie expects them.
namespace movie_request {
std::string Notify(const std::string& event, const std::string& value);
std::string SetProgressVisual();  // always "<false/>"
std::string SetProgress(int position);
std::string SetProgressMaximum(int maximum);
std::string SetLabelText(const std::string& function, const std::string& text);  // setInfoText, setStateText
std::string SetBackgroundFile(const std::string& path);
std::string SetCustomShape(const std::string& path);
std::string SetShapePreview(const std::string& path);
std::string ClearPreviewShape();
std::string GetStr(const std::string& key);
std::string GetVerStr();
std::string OpenProjectCallBack(const std::string& projectText);
std::string OpenAddPhotosDlgCallBack(const std::string& escapedPhotoText);
std::string Reply(const std::string& function, int button);
std::string Reply(const std::string& function, int button, const std::string& replyText);
}  // namespace movie_request

// The calls themselves, through MainMovieCtrl.
void NotifyMovie(const std::string& event, const std::string& value);
void SetMovieProgressVisual();
void SetMovieBackgroundFile(const std::string& path);
void SetMovieCustomShape(const std::string& path);
void SetMovieShapePreview(const std::string& path);
void OpenProjectCallBack(const std::string& projectText);
void OpenAddPhotosDlgCallBack(const std::string& escapedPhotoText);

}  // namespace vornida
