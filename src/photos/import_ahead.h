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
  LoadStatus status = LoadStatus::NotAPicture;
  PictureSize fullSize;  // upright
  Picture thumbnail;     // exactly ThumbnailSizeFor(fullSize)
  // The picture the import decoded, at DecodedSizeFor(fullSize), kept as a
  // file for the final render (empty path when none was kept).
  std::string decodedPath;
  PictureSize decodedSize;
  FileStamp file;  // the photo file as it was read
};

// The size the import decodes a photo at: within 500 x 500, or the whole
// photo when that is smaller. The thumbnail is made from it, and it is kept
// for a final render whose item is no larger.
PictureSize DecodedSizeFor(PictureSize fullSize);

// How many queued files an import worker has decoded ahead of it: one per
// core, so that every core decodes.
std::size_t DecodeAheadCount();

// Decodes a file for import on the calling thread; the decoded picture is
// kept in `folder` when it is smaller than the photo (nowhere when `folder`
// is empty).
DecodedPhoto DecodeForImport(const std::string& path, const std::string& folder);

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
