// The collage object and its layout run.
//
// A CCollage holds the collage parameters (read from the collage-parameter
// text), the shape maker built from them, and the layout result: which photo
// each item shows, where it stands, how it is turned and in which order the
// items are drawn. A layout run always works on a fresh CCollage:
//
//   CCollage c;  ReadCollageParams(text, c);  c.photos = ...;  c.CreateLayout();
//
// CreateLayout sizes the items and the canvas (CalcPhotoSizes), prepares the
// item pictures, lets the items settle (CalcItemsPosition) and renders the
// preview, reporting through the sinks below. The run reads only its own
// snapshot of the photo list (`photos`), so imports and removals during a
// run cannot change what it works on.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_texts.h"
#include "engine/geometry.h"
#include "engine/item_pictures.h"
#include "engine/random.h"
#include "engine/shape.h"
#include "imaging/bitmap.h"

namespace vornida {

// Where the run shows its preview (the canvas window over the movie).
class PreviewSink {
 public:
  virtual ~PreviewSink() = default;
  virtual void DrawImage(const Bitmap& picture) = 0;
  virtual void SetSize(int32_t width, int32_t height) = 0;
  virtual int32_t GetWidth() const = 0;
  virtual int32_t GetHeight() const = 0;
  virtual void Show() = 0;
};

// The movie's progress bar.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetPos(int32_t pos) = 0;
  virtual void SetMax(int32_t max) = 0;
  virtual int32_t GetMax() const = 0;
};

// One of the movie's text labels (state or info text).
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void SetText(const std::string& text) = 0;
};

// What the layout needs to know of one photo of the photo list.
struct CollagePhoto {
  int32_t width = 0;       // pixel size of the photo, 0 when it could not be read
  int32_t height = 0;
  int32_t thumbWidth = 0;  // width of its thumbnail picture
  int32_t rotation = 0;    // whole degrees
  std::string srcPath;
  std::string thumbPath;
  // The photo as the import decoded it (upright, decodedWidth x
  // decodedHeight), valid while the file at srcPath still has the stamp
  // `file`; the final render takes it for items no larger. Empty when none.
  std::string decodedPath;
  int32_t decodedWidth = 0;
  int32_t decodedHeight = 0;
  FileStamp file;
};

// Where RenderFinal writes a layered file (one layer per item) on its way.
// The output module supplies the implementation.
class LayeredOutput {
 public:
  virtual ~LayeredOutput() = default;
  // The names of the layers about to be opened, bottom first: "Background"
  // for a background layer, then each item's photo file name (no folder).
  virtual void nameLayers(std::vector<std::string> names) = 0;
  virtual bool open(const std::string& path, int32_t width, int32_t height, int32_t layerCount) = 0;
  // With a solid background layer in `argb` below the item layers.
  virtual bool openWithColour(const std::string& path, int32_t width, int32_t height, int32_t itemCount,
                              uint32_t argb) = 0;
  virtual bool addLayer(const Bitmap& picture, int32_t left, int32_t top) = 0;
  // Completes the file; `merged` is the flat collage as drawn, which readers
  // without layers show.
  virtual bool finish(const Bitmap& merged) = 0;
};

// The engine's message hook. It shows nothing and answers 0, so that a run
// without items ends quietly and the big-collage warning never stops a run.
int EngineMessage(const std::string& message, const std::string& caption, const std::string& button);

// What to tell the user when an exception stopped engine work: too little
// memory, or the failure's own words. The engine's entry points catch
// everything, so that nothing is thrown past them.
EngineText ProblemFromException(const std::exception& error);

class CCollage {
 public:
  CCollage();
  ~CCollage();
  CCollage(const CCollage&) = delete;
  CCollage& operator=(const CCollage&) = delete;

  // The whole layout run; true when it finished. False when it was
  // cancelled, had no items, or could not be made (then `problem` says why).
  // Throws nothing.
  bool CreateLayout();
  // Sizes, angles, canvas, item count and start positions; returns the item
  // count. 0, with `problem` set, when the items would be more work than a
  // layout may take (kMaxLayoutWork) or too large to draw.
  int32_t CalcPhotoSizes();
  // Lets the items settle over the shape (the relaxation sweeps).
  void CalcItemsPosition();
  // min(preview height / canvas height, preview width / canvas width, 1).
  double PreviewScale() const;
  // Sizes the preview window for the canvas at PreviewScale.
  void SizePreview();

  // --- rendering
  // Fills the item picture cache for the photos in use.
  void PrepareLayoutImages();
  // Border and shadow around a photo picture at item size.
  Picture DecoratePhoto(const Bitmap& picture) const;
  // The blurred, offset drop shadow with `picture` drawn over it.
  Picture MakeShadow(Picture picture) const;
  // The preview at PreviewScale; without items only the background.
  Picture RenderPreview(bool withItems);
  // The final item picture: decorated, then turned by `angle` radians.
  Picture RotatePhoto(const Bitmap& picture, double angle) const;
  // Shows the finished preview and saves it as `previewFilePath`.
  void WritePreview();
  // The finished collage at canvas size; `path`'s extension picks the fill
  // colour and, for "psd", writes the layers through `layered` on the way.
  // Only PNG keeps a transparent background; in every other format it is
  // white, while an opaque background colour is kept in all of them. The
  // item pictures are decoded, decorated and turned on every core, a few
  // items ahead, and drawn strictly in order.
  // Throws nothing: null, with `problem` set, when it could not be made.
  Picture RenderFinal(const std::string& path, LayeredOutput* layered = nullptr);
  // The photo picture of item k at its item size, as RenderFinal draws it
  // before decorating: from the picture the import kept when that is large
  // enough and the photo is unchanged, else decoded from the photo file.
  Picture LoadItemPicture(int32_t k) const;

  // --- run state and sinks
  bool layoutDone = false;
  PreviewSink* previewSink = nullptr;
  ProgressSink* progressSink = nullptr;
  TextSink* stateSink = nullptr;
  TextSink* infoSink = nullptr;
  // Told at once of each note (a reduced canvas), with its text.
  TextSink* noteSink = nullptr;
  // Texts by key (the movie's getStr); an empty text when unset.
  std::function<std::string(const std::string&)> getText;
  std::unique_ptr<MakeShapeBase> shape;
  // The picture the shape was made from (image and text shapes), else empty.
  std::string shapeFile;
  std::vector<CollagePhoto> photos;
  // Fixed seed for reproducible layouts; the time in seconds when unset.
  std::optional<uint32_t> fixedSeed;
  // The seed the parameter text names ("seed"), if any: the layout it
  // recorded. The run gives it to fixedSeed unless told another one.
  std::optional<uint32_t> paramSeed;
  // The seed CreateLayout used: with the parameters and the photos in their
  // order it gives this layout again.
  uint32_t seed = 0;
  // Folder of the installed assets ("TBgBrush.png") and of relative paths.
  std::string programFolder;
  // Where WritePreview saves the preview.
  std::string previewFilePath;
  // False when nothing shows the preview while the layout runs (the
  // command-line maker): the frames before the sweeps are not drawn, which
  // changes nothing else; the finished preview is still made and written.
  bool drawFrames = true;
  ItemPictureCache* pictureCache = &ItemPictureCache::Shared();
  // The longest canvas side the output can take (a format's own limit); 0
  // when only the pixel limit applies.
  int32_t maxCanvasSide = 0;

  // Why the collage cannot be made (a refused setting, a shape with nothing
  // to fill, too much work, too little memory); empty while all is well.
  // The run stops at the first one.
  EngineText problem;
  // What the run had to change to make the collage, in order.
  std::vector<EngineText> notes;
  // The texts of `problem` and of a note, from the movie's table.
  std::string ProblemText() const { return FillEngineText(problem, getText); }
  std::string NoteText(const EngineText& note) const { return FillEngineText(note, getText); }

  // --- parameters and layout result
  int32_t canvasWidth = 0;
  int32_t canvasHeight = 0;
  double aspectRatio = 0;
  int32_t itemBoundingBoxWidth = 0;
  int32_t numPhotos = 0;
  double spacing = 0;
  double borderSize = 0.03;
  uint32_t borderColor = 0xFFF2F2F2;
  int32_t borderPx = 0;
  std::vector<SizeI> photoSize;  // per photo: item size with border, (0, 0) without size
  bool photoSizeReady = false;
  uint32_t backgroundColor = 0xFF000000;
  std::string backgroundFile;
  PointD avgExtent;
  std::vector<int32_t> itemPhoto;
  int32_t itemCount = 0;
  std::vector<PointD> itemPos;
  std::vector<double> itemAngle;
  std::vector<int32_t> drawOrder;
  bool samePhotoSize = false;
  double photoScale = 0;
  double avgAngle = 0;
  double maxAngle = 0;
  double angleSpread = 0;
  bool noShadow = false;
  // The text and font family of a text shape, kept so that a project can
  // draw the shape again; the layout itself reads only the shape picture.
  std::string shapeText;
  std::string shapeFont;
  double shadowSizeFactor = 0.025;
  int32_t shadowRadius = 0;
  double offsetX = 0.01;
  double offsetY = 0.01;
  PointI shadowOffset;
  double shadowOpacity = 0.75;
  std::vector<int32_t> blurDivTable;
  std::atomic<bool> cancel{false};
  std::vector<PointD> itemHalf;
  std::vector<std::string> failedPhotos;
  Picture previewImage;

  RandomGenerator& rng() { return rng_; }

  // The canvas is kept at or below this many pixels (16384 x 16384, 1 GiB
  // of 32-bit pixels), so that the final picture and the items drawn onto it
  // stay within the memory of an ordinary desktop.
  static constexpr int64_t kMaxCanvasPixels = int64_t{1} << 28;
  // Item counts are held to this: an absurd count from the parameters or a
  // fill count from a near-zero spacing would otherwise exhaust memory.
  static constexpr int32_t kMaxItems = 1000000;
  // The work a layout may take, in pixel equivalents: each item costs a
  // fixed share (its settling sweeps, its decode) plus the pixels of its
  // decorated and turned picture. About 4 gigapixels: tens of thousands of
  // items, or a poster canvas covered a few times over. A single item may
  // not exceed the canvas limit.
  static constexpr double kItemWork = 65536;
  static constexpr double kMaxLayoutWork = 4294967296.0;
  // In fill mode with an automatic item size, the items are sized as for
  // one per photo but for at least kMinFillItems, and together cover this
  // many times the shape's area, so that their tilts and the gaps the
  // settling leaves still let them cover it.
  static constexpr double kFillCover = 1.25;
  static constexpr int32_t kMinFillItems = 24;
  // Shadows up to this radius divide through blurDivTable (4 MiB at most).
  static constexpr int32_t kMaxTabledBlurRadius = 63;
  // Canvases above this many pixels are warned about.
  static constexpr int64_t kBigCanvasPixels = 200000000;

 private:
  std::string Text(const std::string& key) const { return getText ? getText(key) : std::string(); }
  void SetState(const std::string& key);
  void SetProgressPos(int32_t pos);
  void SetProgressMax(int32_t max);
  double DrawAngle(int32_t photoIndex);
  void ComputeBorder();
  void ComputeShadow();
  void RescaleSizes(double f, int32_t oldBorderPx);
  // Shrinks the canvas to the pixel and side limits, with a note when it
  // must; returns the factor applied (1 when none).
  double LimitCanvasAndNote();
  // Refuses (sets `problem`) a layout whose work would exceed the budget.
  bool WithinWorkBudget();
  void Note(EngineText note);
  void ShowPreviewFrame(bool withItems);

  const Bitmap* PreviewBackground(int32_t width, int32_t height, double scale);
  // The background picture scaled to cover the canvas times `scale`.
  Picture LoadCoveringBackground(double scale) const;
  // Roughly the memory RenderFinal holds for item k while making it.
  int64_t ItemBytesEstimate(int32_t k) const;
  void DrawPreviewItems(Bitmap& frame, double scale) const;

  RandomGenerator rng_;
  NormalSource angleSource_;
  // Per run: the preview picture of each photo (owned by the cache) and the
  // background of the preview frames, made once.
  std::vector<const Bitmap*> scaledByPhoto_;
  Picture previewBackground_;
  Picture previewFrame_;
  double previewBackgroundScale_ = -1;
};

// Average chord of a w x h box through its centre at direction `angle`
// (radians): the item's extent along that direction.
double BoxChord(double w, double h, double angle);

// Shrink factor that brings a canvas within `limit` pixels (both sides and
// area) and, when `maxSide` is above 0, within `maxSide` a side; 1 when it is
// already within. `size` is changed to the rounded result.
double LimitCanvas(SizeI& size, int64_t limit, int32_t maxSide = 0);

}  // namespace vornida
