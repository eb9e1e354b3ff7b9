#include "project/project_document.h"

#include <cstdlib>
#include <filesystem>

#include "output/atomic_file.h"
#include "xml/xml_doc.h"

namespace vornida {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string ComposeProjectDocument(const ProjectDocument& project) {
  std::string text = "<" + std::string(kProjectRootName) + " version='" + std::to_string(project.version) + "'>\n";
  const std::string_view params = TrimBlanks(project.collageParams);
  if (!params.empty()) {
    text += "  <Settings>\n    ";
    text += params;
    text += "\n  </Settings>\n";
  }
  text += "  <Photos>\n";
  for (const std::string& path : project.photoPaths) text += "    <Photo src='" + XmlEscape(path) + "'/>\n";
  text += "  </Photos>\n</" + std::string(kProjectRootName) + ">\n";
  return text;
}

std::string ProjectPhotoPath(const std::string& projectFolder, const std::string& src) {
  if (src.empty() || src.front() == '/' || projectFolder.empty()) return src;
  return (std::filesystem::path(projectFolder) / src).lexically_normal().string();
}

namespace {

int RootVersion(CXmlDoc& document) {
  if (!document.findElement()) return 0;
  const std::string version = document.attribute("version");
  return version.empty() ? 0 : std::atoi(version.c_str());
}

}  // namespace

int ProjectDocumentVersion(std::string_view text) {
  CXmlDoc document;
  return document.setText(text) ? RootVersion(document) : 0;
}

std::vector<std::string> ProjectPhotoPaths(CXmlDoc& document, const std::string& projectFolder) {
  std::vector<std::string> paths;
  if (!document.findElement() || !document.enterElement()) return paths;
  if (document.findElement("Photos") && document.enterElement()) {
    while (document.findElement("Photo")) {
      std::string src = document.attribute("src");
      if (!src.empty()) paths.push_back(ProjectPhotoPath(projectFolder, src));
    }
    document.leaveElement();
  }
  document.leaveElement();
  return paths;
}

bool ReadProjectDocument(std::string_view text, ProjectDocument& project, const std::string& projectFolder) {
  CXmlDoc document;
  if (!document.setText(text)) return false;
  project = ProjectDocument{};
  project.version = RootVersion(document);
  if (document.currentElement() == 0) return false;
  document.enterElement();
  if (document.findElement("Settings") && document.enterElement()) {
    if (document.findElement("Vornida")) project.collageParams = std::string(TrimBlanks(document.elementMarkup()));
    document.leaveElement();
  }
  document.leaveElement();
  document.leaveElement();
  // A fresh cursor for the photo walk, which starts at the document level.
  CXmlDoc photos;
  photos.setText(text);
  project.photoPaths = ProjectPhotoPaths(photos, projectFolder);
  return true;
}

Status WriteProjectFile(const std::string& path, std::string_view text) {
  // The temporary file goes into the target's folder, so that folder must be
  // spelled out even for a bare file name.
  std::error_code ec;
  const std::string target = std::filesystem::absolute(path, ec).string();
  if (ec) return Status::System(ec.value());
  return WriteFileAtomically(target, [text](AtomicFileWriter& writer) { return writer.write(text.data(), text.size()); });
}

}  // namespace vornida
