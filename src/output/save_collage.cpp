// Writing one collage to a file: the layered PSD branch of the renderer and
// the flat picture encoders.
#include "output/save_collage.h"

#include "base/text.h"
#include "output/flat_picture.h"

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

}  // namespace

bool PsdLayeredOutput::track(bool ok) {
  if (!ok) failed_ = true;
  return ok;
}

bool PsdLayeredOutput::open(const std::string& path, int32_t width, int32_t height, int32_t layerCount) {
  opened_ = track(writer_.open(path, width, height, layerCount));
  return opened_;
}

bool PsdLayeredOutput::openWithColour(const std::string& path, int32_t width, int32_t height, int32_t itemCount,
                                      uint32_t argb) {
  opened_ = track(writer_.openWithColour(path, width, height, itemCount, argb));
  return opened_;
}

bool PsdLayeredOutput::addLayer(const Bitmap& picture, int32_t left, int32_t top) {
  if (!opened_) return track(false);
  return track(writer_.addLayer(picture, left, top));
}

bool PsdLayeredOutput::finish() {
  if (!opened_) return track(false);
  if (cancel_ != nullptr && cancel_->load()) {
    writer_.abandon();
    return track(false);
  }
  finished_ = track(writer_.finish());
  return finished_;
}

SaveOutcome saveCollage(CCollage& collage, const std::string& path, int32_t psdFlag) {
  if (!collage.layoutDone) return SaveOutcome::NotLaidOut;
  const std::string extension = LowerExtension(path);
  SetState(collage, "Saving_the_collage");

  // The renderer writes the layers only for a ".psd" name. A flat save under
  // such a name would replace the layered file with the flat encoding anyway,
  // so the layers are asked for only when the PSD flag wants them.
  const bool layered = psdFlag != 0;
  if (layered && extension != "psd") {
    // Only a ".psd" name gets the layers; rendering would write nothing.
    SetState(collage, "Error");
    return SaveOutcome::Failed;
  }
  PsdLayeredOutput layers(&collage.cancel);
  Picture flat = collage.RenderFinal(path, layered ? &layers : nullptr);

  bool written = false;
  if (collage.cancel) {
    // A partly drawn collage is not worth a file; the old one stays.
  } else if (layered) {
    // An unfinished document (no picture, a failed layer) is dropped by the
    // writer and the old file stays.
    written = flat != nullptr && layers.succeeded();
  } else {
    written = flat != nullptr && SaveFlatPicture(*flat, path);
  }
  flat.reset();

  if (collage.progressSink) collage.progressSink->SetPos(collage.progressSink->GetMax());
  SetState(collage, written ? "Done" : "Error");
  return written ? SaveOutcome::Saved : SaveOutcome::Failed;
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
