#include "project/project_commands.h"

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
  OpenProjectCallBack(document.text());

  const std::vector<std::string> photos = ProjectPhotoPaths(document);
  if (queueImport) queueImport(photos);
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
