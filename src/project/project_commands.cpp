#include "project/project_commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "app/paths.h"
#include "app/registry.h"
#include "base/text.h"
#include "commands/vr_flash_ctrl.h"
#include "host/movie_calls.h"
#include "platform/system_codes.h"
#include "project/project_document.h"
#include "xml/xml_doc.h"

namespace vornida {
namespace {

constexpr std::string_view kProposedName = "MyShape";

struct TextWithEnglish {
  const char* key;
  const char* english;
};

// What opening a project may have to say, with built-in English.
constexpr TextWithEnglish kNewerProject = {"Project_newer_version",
                                           "This project was saved by a newer version of Vornida. It is opened as "
                                           "far as this version understands it."};
constexpr TextWithEnglish kWarningCaption = {"Warning", "Warning"};

// The movie's text, or the English words when its table has none (the
// headless movie answers an unknown key with the key itself).
std::string TextOr(const TextWithEnglish& text) {
  const std::string shown = GetText(text.key);
  return shown.empty() || shown == text.key ? std::string(text.english) : shown;
}

}  // namespace

std::string ProjectFileFilter() {
  const std::string ext(kProjectExtension);
  std::string filter = GetText("App_Project_File");
  filter += "(*." + ext + ")|*." + ext + "|";
  filter += GetText("AllFiles");
  filter += "(*.*)|*.*||";
  return filter;
}

ProjectSaveResult SaveProject(CVRFlashCtrl& control, const std::string& document, bool saveAs) {
  CXmlDoc parsed;
  if (!parsed.setText(document)) return ProjectSaveResult::NotXml;

  if (!control.CurrentProjectPath().empty() && !saveAs)
    return WriteProjectFile(control.CurrentProjectPath(), document) ? ProjectSaveResult::Saved
                                                                     : ProjectSaveResult::WriteFailed;

  std::string startPath = GetRecent(kRecentSaveProject);
  if (!control.CurrentProjectPath().empty()) startPath = control.CurrentProjectPath();
  platform::FileDialogRequest request;
  request.mode = platform::FileDialogMode::Save;
  request.initialFileName = kProposedName;
  if (!startPath.empty()) {
    request.initialFolder = GetFolderPart(startPath);
    if (saveAs) request.initialFileName = GetFileNamePart(startPath);
  }
  request.flags = platform::kOfnOverwritePrompt;
  request.filter = ProjectFileFilter();
  request.title = GetText(saveAs ? "Project_SaveAs" : "Project_Save");

  platform::FileDialogs* dialogs = control.Services().fileDialogs;
  if (dialogs == nullptr) return ProjectSaveResult::Cancelled;
  const platform::FileDialogResult chosen = dialogs->showFileDialog(request);
  if (!chosen.accepted || chosen.paths.empty()) return ProjectSaveResult::Cancelled;

  const std::string& path = chosen.paths.front();
  // Only a project that really reached the disk becomes the current one; a
  // failed write must not make the next quick save aim at a file that is not
  // there, nor move the remembered folder.
  if (!WriteProjectFile(path, document)) return ProjectSaveResult::WriteFailed;
  SetRecent(kRecentSaveProject, path);
  control.SetCurrentProjectPath(path);
  return ProjectSaveResult::Saved;
}

void OpenProject(CVRFlashCtrl& control, const ImportBatchQueue& queueImport) {
  platform::FileDialogRequest request;
  request.mode = platform::FileDialogMode::Open;
  request.initialFolder = GetFolderPart(GetRecent(kRecentSaveProject));
  request.flags = platform::kOfnOverwritePrompt;
  request.filter = ProjectFileFilter();
  request.title = GetText("Project_Open");

  platform::FileDialogs* dialogs = control.Services().fileDialogs;
  if (dialogs == nullptr) return;
  const platform::FileDialogResult chosen = dialogs->showFileDialog(request);
  if (!chosen.accepted || chosen.paths.empty()) return;

  OpenProjectFile(control, chosen.paths.front(), queueImport);
}

void OpenProjectFile(CVRFlashCtrl& control, const std::string& path, const ImportBatchQueue& queueImport) {
  SetRecent(kRecentSaveProject, path);

  // An unreadable file leaves the text empty and an unparsed one keeps its
  // text without elements; the movie hears about both.
  CXmlDoc document;
  document.loadFile(path);
  if (IsNewerProjectVersion(ProjectDocumentVersion(document.text()))) {
    if (platform::MessageBoxes* boxes = control.Services().messageBoxes) {
      platform::MessageBoxRequest warning;
      warning.text = TextOr(kNewerProject);
      warning.caption = TextOr(kWarningCaption);
      warning.style = platform::kMbOk | platform::kMbIconWarning;
      boxes->showMessageBox(warning);
    }
  }
  OpenProjectCallBack(document.text());

  // Photos named relative to the project are found beside it, wherever the
  // program happens to run.
  // The import takes the queue from its tail: queued last first, the photo
  // list gets the project's order, which its layout (and seed) depends on.
  const std::vector<std::string> photos = ProjectPhotoPaths(document, GetFolderPart(path));
  if (queueImport) queueImport(std::vector<std::string>(photos.rbegin(), photos.rend()));
  // The photos that are gone (moved or deleted since the project was saved),
  // told once, one path a line, for the movie to list.
  std::string missing;
  for (const std::string& photo : photos) {
    struct stat st;
    if (::lstat(photo.c_str(), &st) != 0 && errno == ENOENT) missing += (missing.empty() ? "" : "\n") + photo;
  }
  if (!missing.empty()) NotifyMovie("projectPhotosMissing", XmlEscape(missing));
  control.SetCurrentProjectPath(path);
}

void InstallProjectCommands(CVRFlashCtrl& control, ImportBatchQueue queueImport) {
  control.InstallCommandHandler("SaveProject", [](CVRFlashCtrl& c, DecodedCall& call) {
    SaveProject(c, call.args[0], ParseMovieInt(call.args[1]) != 0);
    return true;
  });
  control.InstallCommandHandler("OpenProject", [queue = std::move(queueImport)](CVRFlashCtrl& c, DecodedCall&) {
    OpenProject(c, queue);
    return true;
  });
}

}  // namespace vornida
