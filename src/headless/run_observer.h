// Watching a run of the native side on the headless host as typed events.
//
// The host decodes every call that the native side makes into the movie once
// and hands it to each observer it has: progress, state and info texts,
// photos added by the import, the finished layout and its preview file. How
// each save ended, with its reason when it failed, comes straight from the
// save flow. The event log ("call: ..." lines) is one observer among others;
// the command-line maker watches its run through its own.
//
// Events arrive on whichever thread caused them (the UI thread, the import,
// layout or save worker), one at a time and in order; an observer must not
// call back into the host.
#pragma once

#include <cstdint>
#include <string>

#include "host/messages.h"
#include "output/save_collage.h"

namespace vornida {

class RunObserver {
 public:
  virtual ~RunObserver() = default;

  // Every movie call, as the request text the native side sent, before the
  // typed event it stands for.
  virtual void onMovieCall(const std::string& /*request*/) {}

  virtual void onProgressMaximum(int32_t /*maximum*/) {}
  virtual void onProgress(int32_t /*position*/) {}
  virtual void onStateText(const std::string& /*text*/) {}
  virtual void onInfoText(const std::string& /*text*/) {}
  // A photo the import announced to the movie, by its path.
  virtual void onPhotoAdded(const std::string& /*path*/) {}
  // A layout run finished with a collage (notify "haveCreateCollage" "true").
  virtual void onCollageMade() {}
  // Any other notification ("previewing", "saving", ...).
  virtual void onNotify(const std::string& /*event*/, const std::string& /*value*/) {}
  // The preview picture of the finished layout (setShapePreview).
  virtual void onPreviewFile(const std::string& /*path*/) {}
  // A save that "SaveShape" was asked for ended (also when it was refused
  // before it started).
  virtual void onSaveFinished(const SaveReport& /*report*/) {}
};

// Hands one decoded movie call to `observer` as its typed event; calls that
// stand for no event are left out.
void DeliverMovieCall(RunObserver& observer, const DecodedCall& call);

// The photo path in an imported photo's text as the movie receives it
// ("<photo name='...' src='...' thumb='...'/>", values unescaped); empty
// when the text has none.
std::string PhotoSourceFromMovieText(const std::string& photoText);

}  // namespace vornida
