#include "engine/collage.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <stdexcept>

namespace vornida {

namespace {

constexpr double kPi = std::numbers::pi;

double NormalizeAngle(double a) {
  while (a > kPi) a -= 2 * kPi;
  while (a < -kPi) a += 2 * kPi;
  return a;
}

}  // namespace

int EngineMessage(const std::string&, const std::string&, const std::string&) { return 0; }

EngineText ProblemFromException(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error) || dynamic_cast<const std::length_error*>(&error))
    return {"Not_enough_memory", {}};
  return {"Collage_failed", {{"reason", error.what()}}};
}

double BoxChord(double w, double h, double angle) {
  const double J = std::atan(h / w);
  const double b = NormalizeAngle(angle);
  if (-J <= b && b < J) return w / std::cos(b);
  if (J <= b && b < kPi - J) return h / std::cos(b - kPi / 2);
  if (J - kPi <= b && b < -J) return h / std::cos(b + kPi / 2);
  return b < 0 ? w / std::cos(b + kPi) : w / std::cos(b - kPi);
}

double LimitCanvas(SizeI& size, int64_t limit, int32_t maxSide) {
  const SizeI asked = size;
  double t = 1;
  const double lim = static_cast<double>(limit);
  int64_t longest = std::max(size.w, size.h);
  if (longest > limit) {
    double k = lim / static_cast<double>(longest);
    t *= k;
    size.w = RoundToInt(size.w * k);
    size.h = RoundToInt(size.h * k);
  }
  const int64_t area = static_cast<int64_t>(size.w) * size.h;
  if (area > limit) {
    double k = std::sqrt(lim / static_cast<double>(area));
    t *= k;
    size.w = RoundToInt(size.w * k);
    size.h = RoundToInt(size.h * k);
  }
  // A side of a real canvas never shrinks to nothing.
  if (size.w == 0 && asked.w > 0) size.w = 1;
  if (size.h == 0 && asked.h > 0) size.h = 1;
  longest = std::max(size.w, size.h);
  if (maxSide > 0 && longest > maxSide) {
    double k = static_cast<double>(maxSide) / static_cast<double>(longest);
    t *= k;
    size.w = std::min(maxSide, RoundToInt(size.w * k));
    size.h = std::min(maxSide, RoundToInt(size.h * k));
  }
  return t;
}

CCollage::CCollage() = default;
CCollage::~CCollage() = default;

void CCollage::Note(EngineText note) {
  if (noteSink) noteSink->SetText(NoteText(note));
  notes.push_back(std::move(note));
}

double CCollage::LimitCanvasAndNote() {
  const SizeI asked{canvasWidth, canvasHeight};
  SizeI canvas = asked;
  const double t = LimitCanvas(canvas, kMaxCanvasPixels, 0);
  const double side = LimitCanvas(canvas, kMaxCanvasPixels, maxCanvasSide);
  canvasWidth = canvas.w;
  canvasHeight = canvas.h;
  if (canvas.w == asked.w && canvas.h == asked.h) return 1.0;
  EngineText note{side < 1.0 ? "Canvas_reduced_side" : "Canvas_reduced",
                  {{"fromWidth", std::to_string(asked.w)},
                   {"fromHeight", std::to_string(asked.h)},
                   {"width", std::to_string(canvas.w)},
                   {"height", std::to_string(canvas.h)}}};
  if (side < 1.0)
    note.values.emplace_back("side", std::to_string(maxCanvasSide));
  else
    note.values.emplace_back("millions", std::to_string(kMaxCanvasPixels / 1000000));
  Note(std::move(note));
  return t * side;
}

bool CCollage::WithinWorkBudget() {
  // The pixels of each item's final picture: photo with border, the shadow's
  // margin, turned by the item's angle.
  const double margin = noShadow ? 0.0 : 2.0 * shadowRadius;
  double work = 0, largest = 0;
  SizeI largestBox;
  for (int32_t k = 0; k < itemCount; ++k) {
    const SizeI s = photoSize[itemPhoto[k]];
    if (s.w <= 0 || s.h <= 0) continue;
    const double w = s.w + margin + (noShadow ? 0 : std::abs(shadowOffset.x));
    const double h = s.h + margin + (noShadow ? 0 : std::abs(shadowOffset.y));
    const double c = std::fabs(std::cos(itemAngle[k])), sn = std::fabs(std::sin(itemAngle[k]));
    const double pixels = (w * c + h * sn) * (w * sn + h * c);
    work += kItemWork + pixels;
    if (pixels > largest) {
      largest = pixels;
      largestBox = s;
    }
  }
  if (largest > static_cast<double>(kMaxCanvasPixels)) {
    problem = {"Collage_items_too_large",
               {{"width", std::to_string(largestBox.w)}, {"height", std::to_string(largestBox.h)}}};
    return false;
  }
  if (work > kMaxLayoutWork) {
    problem = {"Collage_too_much_work",
               {{"count", std::to_string(itemCount)},
                {"width", std::to_string(RoundToInt(avgExtent.x))},
                {"height", std::to_string(RoundToInt(avgExtent.y))}}};
    return false;
  }
  return true;
}

void CCollage::SetState(const std::string& key) {
  if (stateSink) stateSink->SetText(Text(key));
}

void CCollage::SetProgressPos(int32_t pos) {
  if (progressSink) progressSink->SetPos(pos);
}

void CCollage::SetProgressMax(int32_t max) {
  if (progressSink) progressSink->SetMax(max);
}

double CCollage::PreviewScale() const {
  if (!previewSink || canvasWidth <= 0 || canvasHeight <= 0) return 1.0;
  return std::min({static_cast<double>(previewSink->GetHeight()) / canvasHeight,
                   static_cast<double>(previewSink->GetWidth()) / canvasWidth, 1.0});
}

void CCollage::SizePreview() {
  if (!previewSink) return;
  const double s = PreviewScale();
  previewSink->SetSize(RoundToInt(canvasWidth * s), RoundToInt(canvasHeight * s));
}

double CCollage::DrawAngle(int32_t photoIndex) {
  // The deviate is drawn again while it exceeds the bound; the bound is taken
  // by its size so that a negative maximum cannot make the draw endless.
  const double bound = std::fabs(maxAngle);
  double a;
  do {
    a = angleSource_.Next(rng_) * angleSpread;
  } while (std::fabs(a) > bound);
  int32_t rotation = photoIndex >= 0 && photoIndex < static_cast<int32_t>(photos.size())
                         ? photos[photoIndex].rotation
                         : 0;
  return a + avgAngle - rotation * kPi / 180;
}

void CCollage::ComputeBorder() {
  borderPx = RoundToInt(itemBoundingBoxWidth * borderSize);
  if (borderSize > 0) borderPx = std::max(borderPx, 1);
}

void CCollage::ComputeShadow() {
  const double a = static_cast<double>(itemBoundingBoxWidth) + 2.0 * borderPx;
  shadowRadius = std::max(1, RoundToInt(shadowSizeFactor * a));
  shadowOffset = {RoundToInt(offsetX * a), RoundToInt(offsetY * a)};
  // Division table of the tent blur: entry v = v / n^2, rounded. It holds
  // 256 n^2 entries, so large radii divide as they go instead (a radius of
  // a thousand would need 2 GiB of table).
  const int64_t n = static_cast<int64_t>(shadowRadius) + 1;
  const int64_t n2 = n * n;
  if (n > kMaxTabledBlurRadius + 1) {
    blurDivTable.clear();
    blurDivTable.shrink_to_fit();
    return;
  }
  blurDivTable.resize(static_cast<size_t>(n2 * 256));
  for (int64_t v = 0; v < n2 * 256; ++v)
    blurDivTable[static_cast<size_t>(v)] = static_cast<int32_t>(static_cast<double>(v) / n2 + 0.5);
}

void CCollage::RescaleSizes(double f, int32_t oldBorderPx) {
  const int u = std::min<int>(static_cast<int>(photos.size()), itemCount);
  std::vector<bool> done(photoSize.size(), false);
  for (int k = 0; k < u; ++k) {
    const int32_t p = itemPhoto[k];
    if (done[p]) continue;
    done[p] = true;
    SizeI& s = photoSize[p];
    if (s.w <= 0 || s.h <= 0) continue;
    s.w = RoundToInt((s.w - 2.0 * oldBorderPx) * f) + 2 * borderPx;
    s.h = RoundToInt((s.h - 2.0 * oldBorderPx) * f) + 2 * borderPx;
  }
}

int32_t CCollage::CalcPhotoSizes() {
  // 1.
  cancel = false;
  const int32_t P = static_cast<int32_t>(photos.size());
  // A negative canvas side is no canvas at all: ask for an automatic one.
  if (canvasWidth < 0 || canvasHeight < 0) canvasWidth = canvasHeight = 0;

  // 2. Items. Without photos there is nothing to repeat, and without a shape
  // maker nothing to fill: both end the run as a run without items.
  if (P == 0 || !shape) {
    itemCount = 0;
    numPhotos = 0;
    itemPhoto.clear();
    itemPos.clear();
    itemAngle.clear();
    drawOrder.clear();
    return 0;
  }
  itemCount = std::min(numPhotos > 0 ? numPhotos : P, kMaxItems);
  itemPhoto.resize(static_cast<size_t>(itemCount));
  for (int32_t k = 0; k < itemCount; ++k) itemPhoto[k] = k % P;

  // 3.
  const int32_t u = std::min(P, itemCount);

  // 4. Photo sizes.
  if (!photoSizeReady) {
    photoSize.assign(static_cast<size_t>(P), SizeI{});
    photoSizeReady = true;
    SetProgressMax(u);
    SetProgressPos(0);
    SetState("Calc_photos_size");
    for (int32_t k = 0; k < u; ++k) {
      if (cancel) break;
      SetProgressPos(k);
      const CollagePhoto& ph = photos[itemPhoto[k]];
      photoSize[itemPhoto[k]] = (ph.width < 1 || ph.height < 1) ? SizeI{} : SizeI{ph.width, ph.height};
    }
  }

  // 5. Largest side among the photos in use.
  int32_t m = u == 0 ? -1 : 0;
  for (int32_t k = 0; k < u; ++k) {
    const SizeI s = photoSize[itemPhoto[k]];
    m = std::max({m, s.w, s.h});
  }

  // 6. Angles.
  itemAngle.assign(static_cast<size_t>(itemCount), 0.0);
  for (int32_t k = 0; k < itemCount; ++k) {
    if (cancel) break;
    itemAngle[k] = DrawAngle(itemPhoto[k]);
  }

  // 7. Item box.
  const bool automaticSize = itemBoundingBoxWidth < 0;
  if (automaticSize) {
    photoScale = 1;
    itemBoundingBoxWidth = m;
  } else {
    photoScale = m > 0 ? static_cast<double>(itemBoundingBoxWidth) / m : 1.0;
  }

  // 8. Border.
  ComputeBorder();

  // 9. Scaled sizes of the photos in use.
  {
    std::vector<bool> done(photoSize.size(), false);
    for (int32_t k = 0; k < u; ++k) {
      const int32_t p = itemPhoto[k];
      if (done[p]) continue;
      done[p] = true;
      SizeI& s = photoSize[p];
      if (s.w <= 0 || s.h <= 0) continue;
      const double f = samePhotoSize ? static_cast<double>(itemBoundingBoxWidth) / std::max(s.w, s.h) : photoScale;
      s = {RoundToInt(s.w * f) + 2 * borderPx, RoundToInt(s.h * f) + 2 * borderPx};
    }
  }

  // 10. Average extent: mean chords of the rotated items.
  auto averageExtent = [this]() {
    PointD sum;
    int32_t counted = 0;
    for (int32_t k = 0; k < itemCount; ++k) {
      const SizeI s = photoSize[itemPhoto[k]];
      if (s.w <= 0 || s.h <= 0) continue;
      sum.x += BoxChord(s.w, s.h, itemAngle[k]);
      sum.y += BoxChord(s.w, s.h, NormalizeAngle(itemAngle[k] + kPi / 2));
      ++counted;
    }
    if (counted > 0) sum = {sum.x / counted, sum.y / counted};
    return sum;
  };
  avgExtent = averageExtent();

  // 11. First canvas limit, on the requested canvas.
  LimitCanvasAndNote();

  // 12. Automatic item size: as large as `itemCount` items fill the canvas.
  // "As many as fit" sizes for at least kMinFillItems, since a handful of
  // photos as large as the whole shape could never follow its outline.
  if (automaticSize) {
    const int32_t sizedFor = numPhotos == -2 ? std::max(itemCount, kMinFillItems) : itemCount;
    const double f = shape->ItemScaleForCount({canvasWidth, canvasHeight}, avgExtent, sizedFor, spacing);
    avgExtent = {avgExtent.x * f, avgExtent.y * f};
    itemBoundingBoxWidth = SaturateToInt32(itemBoundingBoxWidth * f);
    photoScale *= f;
    const int32_t oldBorder = borderPx;
    ComputeBorder();
    RescaleSizes(f, oldBorder);
  }

  // 13. Shadow values.
  ComputeShadow();

  // 14. A single photo on an automatic canvas: the canvas is its turned box
  // with room for the shadow.
  if ((canvasWidth == 0 || canvasHeight == 0) && (numPhotos == 1 || (numPhotos == -1 && itemCount == 1))) {
    const SizeI s = photoSize[itemPhoto[0]];
    const double r = shadowRadius;
    const double q = static_cast<double>(RoundHalfAway(r * 0.5));
    const double W = s.w + q + 2 * r, H = s.h + q + 2 * r;
    const double d = std::sqrt(W * W + H * H) * 0.5;
    const double J = std::atan(H / W);
    const double th = itemAngle[0];
    canvasHeight = SaturateToInt32(
        std::ceil(2 * d * std::max(std::fabs(std::sin(th + kPi - J)), std::fabs(std::sin(th + J)))));
    canvasWidth = SaturateToInt32(
        std::ceil(2 * d * std::max(std::fabs(std::cos(th + kPi - J)), std::fabs(std::cos(th + J)))));
  }

  // 15. The shape settles the canvas.
  if (canvasWidth != 0 && canvasHeight != 0)
    shape->FitToCanvas({canvasWidth, canvasHeight}, avgExtent);
  else
    shape->AutoCanvasSize(aspectRatio, avgExtent, itemCount, spacing);
  canvasWidth = std::max(0, shape->width);
  canvasHeight = std::max(0, shape->height);

  // 16. Second canvas limit, now on the shape's canvas, with everything that
  // depends on the scale shrunk along.
  {
    const int64_t w1 = static_cast<int64_t>(canvasWidth) - 1, h1 = static_cast<int64_t>(canvasHeight) - 1;
    const bool sideTooLong = maxCanvasSide > 0 && std::max(canvasWidth, canvasHeight) > maxCanvasSide;
    if (!(w1 <= kMaxCanvasPixels && h1 <= kMaxCanvasPixels && w1 * h1 <= kMaxCanvasPixels) || sideTooLong) {
      const double t = LimitCanvasAndNote();
      avgExtent = {avgExtent.x * t, avgExtent.y * t};
      itemBoundingBoxWidth = SaturateToInt32(itemBoundingBoxWidth * t);
      photoScale *= t;
      const int32_t oldBorder = borderPx;
      ComputeBorder();
      RescaleSizes(t, oldBorder);
      ComputeShadow();
      shape->FitToCanvas({canvasWidth, canvasHeight}, avgExtent);
    }
  }

  // 17. Fill mode: as many items as fit.
  if (numPhotos == -2) {
    int32_t n = shape->CountItemsThatFit({canvasWidth, canvasHeight}, avgExtent, spacing);
    if (n < 1 && avgExtent.x != 0 && avgExtent.y != 0) n = 1;
    if (automaticSize && avgExtent.x > 0 && avgExtent.y > 0 && spacing > 0) {
      // The items were sized for a count (step 12). Counting them again by the
      // shape's own rule would give fewer (it keeps half an item of margin),
      // so the count follows the area instead: enough items to cover the
      // shape kFillCover times over, and never fewer than one per photo.
      const double cover = kFillCover * shape->RegionArea() / (avgExtent.x * avgExtent.y * spacing * spacing);
      n = std::max({n, P, SaturateToInt32(std::ceil(cover))});
    }
    n = std::clamp(n, 0, kMaxItems);
    const int32_t old = itemCount;
    itemCount = n;
    itemPhoto.resize(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k) itemPhoto[k] = k % P;
    itemAngle.resize(static_cast<size_t>(n));
    for (int32_t k = std::min(n, old); k < n; ++k) {
      if (cancel) break;
      itemAngle[k] = DrawAngle(itemPhoto[k]);
    }
  }

  // The work this layout would take, before anything large is made.
  if (!WithinWorkBudget()) {
    itemCount = 0;
    numPhotos = 0;
    itemPhoto.clear();
    itemAngle.clear();
    itemPos.clear();
    drawOrder.clear();
    return 0;
  }

  // 18. Start positions.
  itemPos = shape->RandomPositions(itemCount, avgExtent, rng_);
  if (static_cast<int32_t>(itemPos.size()) < itemCount) itemPos.resize(static_cast<size_t>(itemCount));

  // 19. Draw order.
  drawOrder = RandomPermutation(rng_, itemCount);

  // 20.
  numPhotos = itemCount;
  return itemCount;
}

}  // namespace vornida

namespace vornida {

bool CCollage::CreateLayout() try {
  // 1.
  seed = fixedSeed ? *fixedSeed : TimeSeed();
  rng_.Seed(seed);
  // 2. - 4.
  SetProgressPos(0);
  SetState("Calculating_photo_sizes");
  CalcPhotoSizes();
  if (!problem.empty()) return false;
  SizePreview();
  // 5. The empty canvas first, so the user sees where the collage goes.
  if (previewSink) {
    ShowPreviewFrame(false);
    previewSink->Show();
  }
  // 6. - 7.
  if (cancel) return false;
  if (itemCount < 1) {
    EngineMessage(Text("None_of_the_photos_could_be_read"), Text("Error"), Text("OK"));
    return false;
  }
  // 8.
  SetState("Creating_the_layout");
  if (infoSink) {
    infoSink->SetText(Text("Dimensions") + " " + std::to_string(canvasWidth) + " x " + std::to_string(canvasHeight) +
                      ", " + Text("Photos") + " " + std::to_string(itemCount));
  }
  // 9.
  if (static_cast<int64_t>(canvasWidth) * canvasHeight > kBigCanvasPixels) {
    const std::string yes = Text("Yes");
    (void)yes;
    if (EngineMessage(Text("Big_collage_message"), Text("Warning"), Text("No")) != 0) return false;
  }
  // 10. - 11.
  SetState("Parpare_Layout_Images");
  PrepareLayoutImages();
  SetState("Calc_Items_Position");
  CalcItemsPosition();
  // 12. - 13.
  if (cancel) return false;
  previewImage = RenderPreview(true);
  WritePreview();
  layoutDone = true;
  if (progressSink) progressSink->SetPos(progressSink->GetMax());
  SetState("Done");
  return true;
} catch (const std::exception& error) {
  // The budget keeps ordinary runs far from this; a machine short of memory
  // still gets an answer instead of an abort.
  problem = ProblemFromException(error);
  return false;
}

}  // namespace vornida
