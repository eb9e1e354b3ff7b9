// The project document: the file a collage arrangement is kept in (.vrn).
//
// Both user interfaces write and read the same document, plain UTF-8 XML
// without a byte-order mark:
//
//   <VornidaProject version='1'>
//     <Settings>
//       <Vornida shapeType='Rectangle' collageSize='1600,1200' .../>
//     </Settings>
//     <Photos>
//       <Photo src='/home/me/Pictures/a.jpg'/>
//       <Photo src='/home/me/Pictures/b.jpg'/>
//     </Photos>
//   </VornidaProject>
//
// `Settings` holds one `Vornida` element exactly as "MakeShape" sends it (the
// collage-parameter text); `Photos` lists the photos by full path in list
// order. Readers ignore every element and attribute they do not know, and
// element and attribute names match without regard to ASCII case, so the
// desktop movie may keep more of its own state in the same document.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace vornida {

class CXmlDoc;

inline constexpr std::string_view kProjectExtension = "vrn";
inline constexpr std::string_view kProjectRootName = "VornidaProject";
// The form written by ComposeProjectDocument.
inline constexpr int kProjectFormatVersion = 1;

struct ProjectDocument {
  int version = kProjectFormatVersion;
  // The collage-parameter text (one `Vornida` element); empty when the
  // document carries no settings.
  std::string collageParams;
  std::vector<std::string> photoPaths;
};

// The document text for `project`: the root, its `Settings` (left out when
// there are no parameters) and `Photos`, with the paths escaped for XML.
std::string ComposeProjectDocument(const ProjectDocument& project);

// Reads a project document. False when the text is not XML; a document
// without settings or photos reads as empty ones. The root may have any name.
// A relative photo path is taken from `projectFolder` (the folder of the
// project file) when one is given.
bool ReadProjectDocument(std::string_view text, ProjectDocument& project, const std::string& projectFolder = {});

// The photo paths the import takes from a parsed document: the `src` of every
// `Photo` in the root's first `Photos`, in order, empty values skipped, and
// relative ones taken from `projectFolder` when one is given. Moves the
// document's cursor.
std::vector<std::string> ProjectPhotoPaths(CXmlDoc& document, const std::string& projectFolder = {});

// `src` as a full path: itself when it is absolute (or there is no folder),
// else `projectFolder` + "/" + `src`, with "." and ".." steps resolved.
std::string ProjectPhotoPath(const std::string& projectFolder, const std::string& src);

// The version attribute of a document's root (0 when missing or not XML);
// above kProjectFormatVersion when a newer program wrote it.
int ProjectDocumentVersion(std::string_view text);
inline bool IsNewerProjectVersion(int version) { return version > kProjectFormatVersion; }

// Writes the text to `path` so that the previous file stays whole until the
// new one is complete (AtomicFileWriter). Fails with the system's reason; the
// target is then untouched.
Status WriteProjectFile(const std::string& path, std::string_view text);

}  // namespace vornida
