// Arbitrary bytes as a project file: reading must not crash, and whatever a
// document yields must survive being written and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "project/project_document.h"
#include "xml/xml_doc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  vornida::CXmlDoc document;
  if (document.setText(text)) vornida::ProjectPhotoPaths(document);

  vornida::ProjectDocument project;
  if (!vornida::ReadProjectDocument(text, project)) return 0;
  // Settings that are not a single element cannot be carried over whole.
  vornida::CXmlDoc settings;
  if (!project.collageParams.empty() && (!settings.setText(project.collageParams) || settings.elementCount() != 1))
    return 0;
  project.version = vornida::kProjectFormatVersion;
  vornida::ProjectDocument again;
  if (!vornida::ReadProjectDocument(vornida::ComposeProjectDocument(project), again)) std::abort();
  if (again.photoPaths != project.photoPaths || again.collageParams != project.collageParams) std::abort();
  return 0;
}
