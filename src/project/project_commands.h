// The movie's project commands: "SaveProject" and "OpenProject" ("NewProject"
// only empties the current project path and lives with the command table).
//
// The movie composes the project document (project_document.h) and hands it
// over with "SaveProject"; "OpenProject" gives a stored document back to the
// movie unchanged through openProjectCallBack, after queueing its photos for
// import. Both dialogs use the project filter and remember the last project
// in the "Recent" setting "Path_SaveProject".
//
// Files are replaced whole: a project is written beside its target and
// renamed into place, and a save that fails leaves the current project path
// and the remembered path as they were.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vornida {

class CVRFlashCtrl;

// Queues photo files as one import batch of the photo library (an empty list
// still forms a batch, which ends at once).
using ImportBatchQueue = std::function<void(const std::vector<std::string>& paths)>;

// getStr("App_Project_File") + "(*.vrn)|*.vrn|" + getStr("AllFiles") + "(*.*)|*.*||".
std::string ProjectFileFilter();

enum class ProjectSaveResult {
  NotXml,     // the document does not parse: nothing written, no dialog
  Cancelled,  // the dialog was cancelled
  Saved,
  WriteFailed,
};

// "SaveProject": quick save to the current project unless `saveAs`, otherwise
// ask for a file ("MyShape", or the current project's name on save-as).
ProjectSaveResult SaveProject(CVRFlashCtrl& control, const std::string& document, bool saveAs);

// "OpenProject": ask for a project, hand its text to the movie, queue its
// photos (last first: the import takes its queue from the tail, so that the
// photo list gets the project's order) and make it the current project.
// Photos that do not exist are told to the movie once, after the text:
// `notify` "projectPhotosMissing" with their paths, one a line (escaped for
// XML). Does nothing when cancelled.
void OpenProject(CVRFlashCtrl& control, const ImportBatchQueue& queueImport);

// The open flow after the dialog, for a project chosen elsewhere (dropped on
// the window, named on the command line): remembers it, hands its text to
// the movie, queues its photos and makes it the current project.
void OpenProjectFile(CVRFlashCtrl& control, const std::string& path, const ImportBatchQueue& queueImport);

// Installs both commands into the control's table.
void InstallProjectCommands(CVRFlashCtrl& control, ImportBatchQueue queueImport);

}  // namespace vornida
