// Decoding queued photos ahead of their import, on a second core.
//
// An import worker that takes a path asks for the next queued path to be
// decoded at once on a helper thread; when that path's own worker comes, it
// takes the finished (or finishing) result instead of decoding. Only the
// decode moves: every step the movie or the photo list can see still happens
// in the worker, in the specified order.
#pragma once

#include <functional>
#include <string>

#include "imaging/bitmap.h"

namespace vornida::photos_internal {

struct DecodedPhoto {
  bool ok = false;
  PictureSize fullSize;  // upright
  Picture thumbnail;     // exactly ThumbnailSizeFor(fullSize)
};

// Decodes a file for import on the calling thread.
DecodedPhoto DecodeForImport(const std::string& path);

// Starts decoding `path` on a registered worker thread, unless it is already
// under way, a few decodes are already waiting, or the program is stopping.
void DecodeAhead(const std::string& path);

// The decode of `path`: waits for one started ahead, or decodes now.
DecodedPhoto TakeDecoded(const std::string& path);

// Forgets a decode started ahead (a duplicate path that will not be used).
void DropDecoded(const std::string& path);

// Starts `body` on a new thread that is entered into WorkerThreadIds before
// this returns, so the set of workers never looks empty between a worker
// and its successor. False when no thread could be started.
bool StartRegisteredWorker(std::function<void()> body);

}  // namespace vornida::photos_internal
