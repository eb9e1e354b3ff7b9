#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <unordered_set>

#include "base/text.h"
#include "engine/collage.h"
#include "engine/item_pipeline.h"

namespace vornida {

namespace {

constexpr double kPi = std::numbers::pi;

// The checkerboard that shows transparency, used when the program folder
// holds no "TBgBrush.png".
Picture Checkerboard() {
  constexpr int kCell = 8;
  Picture tile = Bitmap::Create(2 * kCell, 2 * kCell, PixelFormat::Rgb32);
  if (!tile) return nullptr;
  for (int y = 0; y < 2 * kCell; ++y)
    for (int x = 0; x < 2 * kCell; ++x)
      tile->row(y)[x] = ((x / kCell) ^ (y / kCell)) ? 0xFFCCCCCC : 0xFFFFFFFF;
  return tile;
}

void FillTiled(Bitmap& canvas, const Bitmap& tile) {
  if (tile.empty()) return;
  for (int64_t y = 0; y < canvas.height(); y += tile.height())
    for (int64_t x = 0; x < canvas.width(); x += tile.width()) DrawPictureAt(canvas, tile, x, y, true);
}

// A straight-alpha colour as it shows over white, opaque.
uint32_t OverWhite(uint32_t argb) {
  const uint32_t a = argb >> 24;
  uint32_t out = 0xFF000000;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t c = (argb >> shift) & 0xFF;
    out |= ((c * a + 255 * (255 - a) + 127) / 255) << shift;
  }
  return out;
}

std::string LowerExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return {};
  return AsciiLowered(path.substr(dot + 1));
}

}  // namespace

ItemPictureCache& ItemPictureCache::Shared() {
  static ItemPictureCache cache;
  return cache;
}

std::string ItemPictureCache::KeyFor(const std::string& path) { return AsciiLowered(path); }

// ------------------------------------------------------------- decoration

Picture CCollage::DecoratePhoto(const Bitmap& picture) const {
  const int64_t w = picture.width(), h = picture.height();
  const int64_t B = borderPx, R = shadowRadius;
  const int64_t ox = noShadow ? 0 : shadowOffset.x, oy = noShadow ? 0 : shadowOffset.y;
  int64_t outW = w + 2 * B, outH = h + 2 * B;
  if (!noShadow) {
    // Room for the whole shadow: the blur reaches R beyond the offset copy
    // of the photo, and the photo sits half the offset off centre, so the
    // offset is added whole. Less room would cut the fading edge off.
    outW += 2 * R + std::abs(ox);
    outH += 2 * R + std::abs(oy);
  }
  Picture out = Bitmap::Create(outW, outH, PixelFormat::Argb32);
  if (!out) return nullptr;
  const int64_t x0 = RoundHalfAway(static_cast<double>(outW - ox - w) * 0.5);
  const int64_t y0 = RoundHalfAway(static_cast<double>(outH - oy - h) * 0.5);
  if (B > 0) FillRect(*out, x0 - B, y0 - B, w + 2 * B, h + 2 * B, borderColor);
  DrawPictureAt(*out, picture, x0, y0);
  if (noShadow) return out;
  return MakeShadow(std::move(out));
}

Picture CCollage::MakeShadow(Picture picture) const {
  if (!picture || picture->empty()) return picture;
  const int64_t W = picture->width(), H = picture->height();
  const int64_t n = static_cast<int64_t>(shadowRadius) + 1;
  const int64_t n2 = n * n;
  Picture shadow = Bitmap::Create(W, H, PixelFormat::Argb32);
  if (!shadow) return picture;
  const int64_t ox = shadowOffset.x, oy = shadowOffset.y;

  // Offset alpha, scaled by the opacity, one value per word of the shadow
  // picture itself (a new picture is all zero).
  const auto values = [&shadow](int64_t y) { return reinterpret_cast<int32_t*>(shadow->row(y)); };
  for (int64_t y = 0; y < H; ++y) {
    const int64_t sy = y - oy;
    if (sy < 0 || sy >= H) continue;
    const uint32_t* src = picture->row(sy);
    int32_t* dst = values(y);
    for (int64_t x = std::max<int64_t>(0, ox); x < std::min(W, W + ox); ++x)
      dst[x] = static_cast<int32_t>((src[x - ox] >> 24) * shadowOpacity + 0.5);
  }

  // Tent filter (two running sums), the same along rows and then columns.
  // The sums are divided by n^2 with rounding, through the table when the
  // radius is small enough to have one.
  const bool haveTable = blurDivTable.size() >= static_cast<size_t>(n2 * 256);
  const int32_t* div = blurDivTable.data();
  const auto divide = [&](int64_t v) -> int32_t {
    return haveTable ? div[v] : static_cast<int32_t>((2 * v + n2) / (2 * n2));
  };
  std::vector<int32_t> ring(static_cast<size_t>(n));
  auto blurLine = [&](int32_t* line, int64_t length, int64_t step) {
    std::fill(ring.begin(), ring.end(), 0);
    int64_t sIn = 0, weighted = 0, sOut = 0;
    for (int64_t j = 0; j < n && j < length; ++j) {
      sIn += line[j * step];
      weighted += (n - j) * line[j * step];
    }
    for (int64_t i = 0; i < length; ++i) {
      const int32_t old = line[i * step];
      line[i * step] = divide(weighted);
      sOut += old - ring[static_cast<size_t>(i % n)];
      const int32_t next = i + n < length ? line[(i + n) * step] : 0;
      sIn += next - old;
      weighted += sIn - sOut;
      ring[static_cast<size_t>(i % n)] = old;
    }
  };
  const int64_t stride = shadow->stride() / 4;
  for (int64_t y = 0; y < H; ++y) blurLine(values(y), W, 1);
  for (int64_t x = 0; x < W; ++x) blurLine(values(0) + x, H, stride);

  // Black with the blurred alpha (premultiplied black is the alpha alone).
  for (int64_t y = 0; y < H; ++y) {
    uint32_t* dst = shadow->row(y);
    for (int64_t x = 0; x < W; ++x) dst[x] <<= 24;
  }
  DrawPictureAt(*shadow, *picture, 0, 0);
  return shadow;
}

Picture CCollage::RotatePhoto(const Bitmap& picture, double angle) const {
  Picture d = DecoratePhoto(picture);
  if (!d || d->empty()) return nullptr;
  const double w = static_cast<double>(d->width()), h = static_cast<double>(d->height());
  const double D = std::sqrt(w * w + h * h), J = std::atan(h / w);
  // The turned box's extent, rounded up; a whisker is taken off first so that
  // rounding noise in the sines does not add a pixel to an exact side.
  const int64_t outW = static_cast<int64_t>(
      std::ceil(std::max(std::fabs(std::cos(kPi - J + angle)), std::fabs(std::cos(J + angle))) * D - 1e-9));
  const int64_t outH = static_cast<int64_t>(
      std::ceil(std::max(std::fabs(std::sin(kPi - J + angle)), std::fabs(std::sin(J + angle))) * D - 1e-9));
  Picture out = Bitmap::Create(outW, outH, PixelFormat::Argb32);
  if (!out) return nullptr;
  const double cx = static_cast<double>(RoundHalfAway(outW * 0.5));
  const double cy = static_cast<double>(RoundHalfAway(outH * 0.5));
  const Affine placement = Affine::Translation(cx, cy) * Affine::Rotation(-angle) * Affine::Translation(-cx, -cy) *
                           Affine::Translation(static_cast<double>((outW - d->width()) / 2),
                                               static_cast<double>((outH - d->height()) / 2));
  DrawPicture(*out, *d, placement, DrawFilter::Bilinear);
  return out;
}

// ---------------------------------------------------------------- preview

Picture CCollage::LoadCoveringBackground(double scale) const {
  // Shrunk while it is read: a background declaring a huge size costs the
  // canvas's memory, not its own.
  return LoadPictureSized(backgroundFile, [this, scale](PictureSize full) {
           const double f = std::max(static_cast<double>(canvasWidth) / static_cast<double>(full.width),
                                     static_cast<double>(canvasHeight) / static_cast<double>(full.height)) *
                            scale;
           return PictureSize{RoundHalfAway(static_cast<double>(full.width) * f),
                              RoundHalfAway(static_cast<double>(full.height) * f)};
         }).picture;
}

void CCollage::PrepareLayoutImages() {
  const double c = PreviewScale();
  ItemPictureCache& cache = *pictureCache;
  std::lock_guard<std::mutex> hold(cache.mutex);

  ItemLook now{borderSize, borderColor, offsetX, offsetY, noShadow, samePhotoSize,
               itemBoundingBoxWidth, photoScale, c};
  const ItemLook& was = cache.look;
  bool lookChanged = was.borderSize != now.borderSize || was.borderColor != now.borderColor ||
                     was.offsetX != now.offsetX || was.noShadow != now.noShadow || was.offsetY != now.offsetY ||
                     was.samePhotoSize != now.samePhotoSize;
  if (samePhotoSize)
    lookChanged = lookChanged || was.itemBoundingBoxWidth != now.itemBoundingBoxWidth;
  else
    lookChanged = lookChanged || was.photoScale != now.photoScale;
  const bool previewChanged = lookChanged || std::fabs(was.previewScale - c) > 0.001;
  cache.look = now;

  // Forget the pictures of photos that have left the list, and those that
  // the current look no longer matches.
  std::unordered_set<std::string> inList;
  for (const CollagePhoto& p : photos) inList.insert(ItemPictureCache::KeyFor(p.srcPath));
  for (auto it = cache.byPath.begin(); it != cache.byPath.end();) {
    if (!inList.count(it->first)) {
      it = cache.byPath.erase(it);
      continue;
    }
    if (lookChanged) it->second.prepared.reset();
    if (previewChanged) it->second.scaled.reset();
    ++it;
  }

  const int32_t P = static_cast<int32_t>(photos.size());
  const int32_t u = std::min(P, itemCount);
  SetProgressMax(u);
  SetProgressPos(0);
  scaledByPhoto_.assign(photos.size(), nullptr);
  for (int32_t i = 0; i < u; ++i) {
    if (cancel) break;
    const int32_t p = itemPhoto[i];
    const CollagePhoto& photo = photos[p];
    const SizeI size = photoSize[p];
    ItemPictures& entry = cache.byPath[ItemPictureCache::KeyFor(photo.srcPath)];
    if (!entry.scaled && size.w > 0 && size.h > 0) {
      if (!entry.prepared) {
        Picture thumb = LoadPicture(photo.thumbPath);
        if (thumb && !thumb->empty()) {
          if (samePhotoSize)
            thumb = FitWithin(std::move(thumb), itemBoundingBoxWidth, itemBoundingBoxWidth);
          else
            thumb = ScaleBy(std::move(thumb), photoScale * photo.width / std::max(1, photo.thumbWidth));
          if (thumb && !thumb->empty()) entry.prepared = DecoratePhoto(*thumb);
        }
      }
      if (entry.prepared) entry.scaled = ScaleBy(ClonePicture(*entry.prepared), c);
    }
    scaledByPhoto_[p] = entry.scaled.get();
    SetProgressPos(i);
  }
  // The background is made again for the frames of this run.
  previewBackground_.reset();
  previewBackgroundScale_ = -1;
}

const Bitmap* CCollage::PreviewBackground(int32_t width, int32_t height, double r) {
  if (previewBackground_ && previewBackgroundScale_ == r && previewBackground_->width() == width &&
      previewBackground_->height() == height)
    return previewBackground_.get();
  Picture bg = Bitmap::Create(width, height, PixelFormat::Argb32);
  if (!bg) return nullptr;
  bool drawn = false;
  if (!backgroundFile.empty()) {
    Picture file = LoadCoveringBackground(r);
    if (file && !file->empty()) {
      DrawPictureAt(*bg, *file, RoundHalfAway(width * 0.5 - file->width() * 0.5),
                    RoundHalfAway(height * 0.5 - file->height() * 0.5));
    }
    drawn = true;
  }
  if (!drawn && (backgroundColor >> 24) != 0) {
    Fill(*bg, backgroundColor);
    drawn = true;
  }
  if (!drawn) {
    Picture tile = programFolder.empty() ? nullptr : LoadPicture(programFolder + "/TBgBrush.png");
    if (!tile || tile->empty()) tile = Checkerboard();
    if (tile) FillTiled(*bg, *tile);
  }
  previewBackground_ = std::move(bg);
  previewBackgroundScale_ = r;
  return previewBackground_.get();
}

void CCollage::DrawPreviewItems(Bitmap& frame, double r) const {
  for (int32_t i = 0; i < itemCount && i < static_cast<int32_t>(drawOrder.size()); ++i) {
    const int32_t k = drawOrder[i];
    const int32_t p = itemPhoto[k];
    const SizeI size = photoSize[p];
    if (size.w <= 0 || size.h <= 0) continue;
    const Bitmap* picture = p < static_cast<int32_t>(scaledByPhoto_.size()) ? scaledByPhoto_[p] : nullptr;
    if (!picture || picture->empty()) continue;
    const double x = itemPos[k].x * r, y = itemPos[k].y * r;
    const double w = static_cast<double>(picture->width()), h = static_cast<double>(picture->height());
    const Affine placement =
        Affine::Translation(x, y) * Affine::Rotation(-itemAngle[k]) * Affine::Translation(-x, -y) *
        Affine::Translation(static_cast<double>(RoundHalfAway(x - w * 0.5 + 1)),
                            static_cast<double>(RoundHalfAway(y - h * 0.5 + 1)));
    DrawPicture(frame, *picture, placement, DrawFilter::Bilinear);
  }
}

Picture CCollage::RenderPreview(bool withItems) {
  const double r = PreviewScale();
  const int32_t pw = std::max(0, RoundToInt(canvasWidth * r)), ph = std::max(0, RoundToInt(canvasHeight * r));
  const Bitmap* bg = PreviewBackground(pw, ph, r);
  if (!bg) return nullptr;
  Picture out = ClonePicture(*bg);
  if (out && withItems) DrawPreviewItems(*out, r);
  return out;
}

void CCollage::ShowPreviewFrame(bool withItems) {
  if (!previewSink || !drawFrames) return;
  // Frames are drawn into one picture kept for the run: a frame is a copy of
  // the background and the cached item pictures composed over it.
  const double r = PreviewScale();
  const int32_t pw = std::max(0, RoundToInt(canvasWidth * r)), ph = std::max(0, RoundToInt(canvasHeight * r));
  const Bitmap* bg = PreviewBackground(pw, ph, r);
  if (!bg || bg->empty()) return;
  if (!previewFrame_ || previewFrame_->width() != pw || previewFrame_->height() != ph)
    previewFrame_ = Bitmap::Create(pw, ph, PixelFormat::Argb32);
  if (!previewFrame_) return;
  for (int64_t y = 0; y < ph; ++y) std::memcpy(previewFrame_->row(y), bg->row(y), static_cast<size_t>(pw) * 4);
  if (withItems) DrawPreviewItems(*previewFrame_, r);
  previewSink->DrawImage(*previewFrame_);
}

void CCollage::WritePreview() {
  SizePreview();
  if (!previewImage || previewImage->empty()) return;
  if (previewSink) previewSink->DrawImage(*previewImage);
  if (FindEncoder("image/png").index < 0) return;
  if (!previewFilePath.empty()) SavePng(*previewImage, previewFilePath);
}

// ------------------------------------------------------------------ final

Picture CCollage::LoadItemPicture(int32_t k) const {
  const int32_t p = itemPhoto[k];
  const SizeI size = photoSize[p];
  if (size.w <= 0 || size.h <= 0) return nullptr;
  const CollagePhoto& photo = photos[p];
  // The item's size from the photo's upright size (the same the layout used).
  auto itemSize = [this](PictureSize full) {
    double e = photoScale;
    if (samePhotoSize)
      e = std::min(static_cast<double>(itemBoundingBoxWidth) / full.height,
                   static_cast<double>(itemBoundingBoxWidth) / full.width);
    return PictureSize{RoundHalfAway(full.width * e), RoundHalfAway(full.height * e)};
  };
  const PictureSize wanted = itemSize({photo.width, photo.height});
  if (!photo.decodedPath.empty() && wanted.width <= photo.decodedWidth && wanted.height <= photo.decodedHeight &&
      FileStamp::Of(photo.srcPath) == photo.file) {
    Picture kept = LoadPictureSized(photo.decodedPath, [&](PictureSize) { return wanted; }).picture;
    if (kept && kept->width() == wanted.width && kept->height() == wanted.height) return kept;
  }
  Picture loaded = LoadPictureSized(photo.srcPath, itemSize).picture;
  if (!loaded || loaded->empty()) return nullptr;
  return loaded;
}

int64_t CCollage::ItemBytesEstimate(int32_t k) const {
  const SizeI size = photoSize[itemPhoto[k]];
  // The photo at item size, its decorated picture and the turned one, whose
  // box is at most the decorated picture's diagonal squared.
  const int64_t side = static_cast<int64_t>(std::max(0, size.w)) + std::max(0, size.h) + 4 * shadowRadius;
  return 4 * (2 * static_cast<int64_t>(std::max(0, size.w)) * std::max(0, size.h) + side * side);
}

Picture CCollage::RenderFinal(const std::string& path, LayeredOutput* layered) try {
  SetProgressPos(0);
  SetProgressMax(std::max(itemCount - 1, 1));
  const std::string ext = LowerExtension(path);
  LayeredOutput* layers = nullptr;
  if (ext == "psd" && layered) {
    // A layer per drawn item in draw order, named after its photo's file, so
    // that a photo can be found by name in a layered editor.
    std::vector<std::string> names;
    const bool backgroundLayer = !backgroundFile.empty() || (backgroundColor >> 24) == 0xFF;
    if (backgroundLayer) names.push_back("Background");
    for (int32_t i = 0; i < itemCount && i < static_cast<int32_t>(drawOrder.size()); ++i) {
      const std::string& src = photos[itemPhoto[drawOrder[i]]].srcPath;
      names.push_back(src.substr(src.find_last_of('/') + 1));
    }
    layered->nameLayers(std::move(names));
    bool opened;
    if (!backgroundFile.empty())
      opened = layered->open(path, canvasWidth, canvasHeight, itemCount + 1);
    else if ((backgroundColor >> 24) == 0xFF)
      opened = layered->openWithColour(path, canvasWidth, canvasHeight, itemCount, backgroundColor);
    else
      opened = layered->open(path, canvasWidth, canvasHeight, itemCount);
    if (opened) layers = layered;
  }
  // Formats without alpha (all but PNG: JPEG under any name, BMP as saved,
  // the PSD's merged image) show what is not opaque over white.
  const uint32_t fill = ext == "png" ? backgroundColor : OverWhite(backgroundColor);
  Picture out = Bitmap::Create(canvasWidth, canvasHeight, (fill >> 24) == 0xFF ? PixelFormat::Rgb32 : PixelFormat::Argb32);
  if (!out) return nullptr;
  Fill(*out, fill);

  if (!backgroundFile.empty()) {
    Picture bg = LoadCoveringBackground(1.0);
    if (bg && !bg->empty()) {
      const int64_t x = RoundHalfAway(canvasWidth * 0.5 - bg->width() * 0.5);
      const int64_t y = RoundHalfAway(canvasHeight * 0.5 - bg->height() * 0.5);
      if (layers) layers->addLayer(*bg, static_cast<int32_t>(x), static_cast<int32_t>(y));
      DrawPictureAt(*out, *bg, x, y);
    }
  }

  failedPhotos.clear();
  const int32_t n = std::min<int32_t>(itemCount, static_cast<int32_t>(drawOrder.size()));
  // Decoding and turning the items is most of the work and each item is
  // independent: workers (one per core) make the item pictures of the next
  // few items while this thread draws them strictly in draw order, so the
  // output is the same as with one thread. The items made ahead are bounded
  // by count and by memory.
  ItemPipeline pipeline(n, [this](int32_t i) -> Picture {
    const int32_t k = drawOrder[i];
    Picture loaded = LoadItemPicture(k);
    if (!loaded || loaded->empty()) return nullptr;
    return RotatePhoto(*loaded, itemAngle[k]);
  }, [this](int32_t i) { return ItemBytesEstimate(drawOrder[i]); }, cancel);
  for (int32_t i = 0; i < n; ++i) {
    SetProgressPos(i);
    Picture q = pipeline.Take(i);
    const int32_t k = drawOrder[i];
    const CollagePhoto& photo = photos[itemPhoto[k]];
    if (!q || q->empty()) {
      failedPhotos.push_back(photo.srcPath);
    } else {
      const int64_t qw = q->width(), qh = q->height();
      const int64_t cx =
          std::max(qw / 2, std::min<int64_t>(RoundHalfAway(itemPos[k].x), canvasWidth - qw / 2 - 1));
      const int64_t cy =
          std::max(qh / 2, std::min<int64_t>(RoundHalfAway(itemPos[k].y), canvasHeight - qh / 2 - 1));
      const int64_t left = cx - qw / 2, top = cy - qh / 2;
      if (layers) layers->addLayer(*q, static_cast<int32_t>(left), static_cast<int32_t>(top));
      DrawPictureAt(*out, *q, left, top);
    }
    if (cancel) break;
  }
  pipeline.Stop();
  if (layers) layers->finish(*out);
  return out;
} catch (const std::exception& error) {
  // Nothing is thrown to the save: no picture, and the reason.
  problem = ProblemFromException(error);
  return nullptr;
}

}  // namespace vornida
