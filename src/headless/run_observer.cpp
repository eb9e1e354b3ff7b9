#include "headless/run_observer.h"

#include "base/text.h"

namespace vornida {

std::string PhotoSourceFromMovieText(const std::string& photoText) {
  // The values are inserted raw, so a path may itself hold quotes: the
  // source runs from its marker to the last thumbnail marker.
  constexpr std::string_view kSrc = " src='";
  constexpr std::string_view kThumb = "' thumb='";
  const auto start = photoText.find(kSrc);
  if (start == std::string::npos) return {};
  const auto from = start + kSrc.size();
  const auto end = photoText.rfind(kThumb);
  if (end == std::string::npos || end < from) return {};
  return photoText.substr(from, end - from);
}

void DeliverMovieCall(RunObserver& observer, const DecodedCall& call) {
  const auto arg = [&call](std::size_t i) { return i < call.args.size() ? call.args[i] : std::string(); };
  const std::string& name = call.name;
  if (name == "setProgressMaximum") {
    observer.onProgressMaximum(ParseMovieInt(arg(0)));
  } else if (name == "setProgress") {
    observer.onProgress(ParseMovieInt(arg(0)));
  } else if (name == "setStateText") {
    observer.onStateText(arg(0));
  } else if (name == "setInfoText") {
    observer.onInfoText(arg(0));
  } else if (name == "openAddPhotosDlgCallBack") {
    if (std::string path = PhotoSourceFromMovieText(arg(0)); !path.empty()) observer.onPhotoAdded(path);
  } else if (name == "notify") {
    if (arg(0) == "haveCreateCollage") {
      if (arg(1) == "true") observer.onCollageMade();
    } else {
      observer.onNotify(arg(0), arg(1));
    }
  } else if (name == "setShapePreview") {
    observer.onPreviewFile(arg(0));
  }
}

}  // namespace vornida
