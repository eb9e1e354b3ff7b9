// Writing one collage to a file: the checks before the work, the layered PSD
// branch of the renderer and the flat picture encoders.
#include "output/save_collage.h"

#include <algorithm>
#include <cctype>

#include "base/text.h"
#include "output/flat_picture.h"
#include "output/output_checks.h"
#include "xml/xml_doc.h"

namespace vornida {

namespace {

std::string LowerExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : AsciiLowered(std::string_view(path).substr(dot + 1));
}

std::string Text(const CCollage& collage, const std::string& key) {
  return collage.getText ? collage.getText(key) : std::string();
}

void SetState(CCollage& collage, const std::string& key) {
  if (collage.stateSink) collage.stateSink->SetText(Text(collage, key));
}

// Our own reasons, as the movie words them.
Status Refusal(const CCollage& collage, const std::string& key) {
  return Status::Error(SaveFlowText(collage.getText, key));
}

// What stops a save before anything is drawn.
Status CheckBeforeDrawing(const CCollage& collage, const std::string& path, bool layered) {
  if (layered && LowerExtension(path) != "psd") return Refusal(collage, "Save_Psd_Extension");
  if (const std::string input = InputAtOutput(path, CollageInputFiles(collage)); !input.empty()) {
    return OutputIsInput(input, collage.getText);
  }
  const bool backgroundLayer = !collage.backgroundFile.empty() || (collage.backgroundColor >> 24) == 0xFF;
  return CheckOutputLimits(path, layered, collage.canvasWidth, collage.canvasHeight,
                           int64_t{collage.itemCount} + (backgroundLayer ? 1 : 0), collage.getText);
}

}  // namespace

bool PsdLayeredOutput::track(Status step) {
  if (!step && failure_.ok()) failure_ = std::move(step);
  return failure_.ok();
}

Status PsdLayeredOutput::result() const {
  if (!failure_.ok()) return failure_;
  return finished_ ? Status::Ok() : Status::Error("the layered file was not completed");
}

bool PsdLayeredOutput::open(const std::string& path, int32_t width, int32_t height, int32_t layerCount) {
  opened_ = track(writer_.open(path, width, height, layerCount));
  width_ = width;
  height_ = height;
  return opened_;
}

bool PsdLayeredOutput::openWithColour(const std::string& path, int32_t width, int32_t height, int32_t itemCount,
                                      uint32_t argb) {
  opened_ = track(writer_.openWithColour(path, width, height, itemCount, argb));
  width_ = width;
  height_ = height;
  return opened_;
}

bool PsdLayeredOutput::addLayer(const Bitmap& picture, int32_t left, int32_t top) {
  if (!opened_) return false;
  // The part of the picture on the canvas.
  PsdPixels view;
  view.alpha = picture.hasAlpha() ? PsdAlpha::Premultiplied : PsdAlpha::Opaque;
  const int64_t x0 = std::max<int64_t>(left, 0), y0 = std::max<int64_t>(top, 0);
  const int64_t x1 = std::min<int64_t>(int64_t{left} + picture.width(), width_);
  const int64_t y1 = std::min<int64_t>(int64_t{top} + picture.height(), height_);
  if (x1 > x0 && y1 > y0) {
    view.pixels = picture.row(y0 - top) + (x0 - left);
    view.width = static_cast<int32_t>(x1 - x0);
    view.height = static_cast<int32_t>(y1 - y0);
    view.stride = static_cast<std::ptrdiff_t>(picture.stride());
    left = static_cast<int32_t>(x0);
    top = static_cast<int32_t>(y0);
  } else {
    left = top = 0;
  }
  if (writer_.addLayer(view, left, top)) return true;
  // A layer the document has no room for leaves it without that item.
  return track(writer_.status().ok() ? Status::Error("the collage has more items than the layered file announced")
                                     : writer_.status());
}

bool PsdLayeredOutput::finish(const Bitmap& merged) {
  if (!opened_) return false;
  if (cancel_ != nullptr && cancel_->load()) {
    writer_.abandon();
    return false;
  }
  finished_ = track(writer_.finish(merged));
  return finished_;
}

int JpegQualityFromParameters(std::string_view parameterText) {
  CXmlDoc document;
  if (!document.setText(parameterText)) return kDefaultJpegQuality;
  document.findElement("Vornida");
  const std::string value = document.attribute("jpegQuality");
  if (std::none_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); })) {
    return kDefaultJpegQuality;
  }
  return std::clamp(ParseMovieInt(value), 1, 100);
}

std::vector<std::string> CollageInputFiles(const CCollage& collage) {
  std::vector<std::string> files;
  files.reserve(collage.photos.size() + 2);
  for (const CollagePhoto& photo : collage.photos) files.push_back(photo.srcPath);
  if (!collage.backgroundFile.empty()) files.push_back(collage.backgroundFile);
  if (!collage.shapeFile.empty()) files.push_back(collage.shapeFile);
  return files;
}

SaveReport saveCollage(CCollage& collage, const std::string& path, int32_t psdFlag, const SaveOptions& options) {
  SaveReport report;
  report.path = path;
  if (!collage.layoutDone) return report;
  report.outcome = SaveOutcome::Failed;
  SetState(collage, "Saving_the_collage");

  // The renderer writes the layers only for a ".psd" name. A flat save under
  // such a name would replace the layered file with the flat encoding anyway,
  // so the layers are asked for only when the PSD flag wants them.
  const bool layered = psdFlag != 0;
  report.status = CheckBeforeDrawing(collage, path, layered);
  if (report.status.ok()) {
    PsdLayeredOutput layers(&collage.cancel);
    Picture flat = collage.RenderFinal(path, layered ? &layers : nullptr);
    if (collage.cancel) {
      // A partly drawn collage is not worth a file; the old one stays.
      report.status = Refusal(collage, "Save_Stopped");
    } else if (flat == nullptr) {
      report.status = Refusal(collage, "Save_No_Memory");
    } else if (layered) {
      // An unfinished document is dropped by the writer and the old file stays.
      report.status = layers.result();
    } else {
      EncoderParams params;
      params.quality = std::clamp(options.jpegQuality, 1, 100);
      report.status = SaveFlatPicture(*flat, path, params);
    }
  }
  if (report.status.ok()) report.outcome = SaveOutcome::Saved;

  if (collage.progressSink) collage.progressSink->SetPos(collage.progressSink->GetMax());
  if (report.status.ok()) {
    SetState(collage, "Done");
  } else if (collage.stateSink) {
    collage.stateSink->SetText(SaveFlowText(collage.getText, "Save_Failed") + ": " + report.status.reason());
  }
  return report;
}

std::string SaveShapeFilter(bool psd, const std::string& fileText, const std::string& allFilesText) {
  std::string filter;
  if (psd) {
    filter = "PSD" + fileText + "(*.psd)|*.psd|";
  } else {
    filter = "PNG" + fileText + "(*.png)|*.png|";
    filter += "JPG" + fileText + "(*.jpg)|*.jpg|";
    filter += "BMP" + fileText + "(*.bmp)|*.bmp|";
  }
  filter += allFilesText + " (*.*)|*.*|";
  filter += "|";
  return filter;
}

}  // namespace vornida
