// Pictures: the Bitmap type, loading, scaling, saving and drawing.
//
// Pixel layout (every Bitmap, both formats):
//   - Each pixel is one native-endian 32-bit word 0xAARRGGBB. On the
//     little-endian machines we build for, the bytes in memory are
//     B, G, R, A. This is pixman's a8r8g8b8 / x8r8g8b8 and libjpeg-turbo's
//     JCS_EXT_BGRA, so decoders, pixman and encoders share buffers without
//     copies.
//   - Argb32 pictures hold PREMULTIPLIED alpha (each colour channel is
//     already multiplied by alpha/255), as pixman draws them. Use
//     Unpremultiply() where a straight colour is needed (PSD channels,
//     PNG rows). A pixel with alpha 0 is fully transparent.
//   - Rgb32 pictures are opaque. Drawing may leave any value in the top byte
//     of their stored words; LockPixels() sets it to 0xFF so that readers
//     always see opaque pixels.
//   - Rows run top to bottom; row y starts stride() bytes after row y-1.
//     stride() is a multiple of 4 and at least width() * 4. Do not assume it
//     equals width() * 4.
//   - Sizes and strides are 64-bit: a canvas of up to 2^30 pixels (4 GiB)
//     is addressable. No picture larger than kMaxPicturePixels is ever made,
//     and no allocation is tried that the machine cannot give.
//
// Ownership: a picture is handed around as Picture (std::unique_ptr<Bitmap>).
// Helpers that take a Picture by value consume it: they either return the
// same object or free it after making the new one, so at most two copies of
// a large picture exist at a time. A failed decode gives an empty picture
// (0 x 0), never a null pointer; a null Picture passed in comes back null.
//
// Thread safety: helpers keep no shared state beyond one-time codec set-up;
// any thread may call them on its own pictures.
#pragma once

#include <pixman.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vornida {

enum class PixelFormat : std::uint8_t {
  Rgb32,   // opaque, pixman x8r8g8b8
  Argb32,  // premultiplied alpha, pixman a8r8g8b8
};

// Largest picture (width * height) that is decoded or created.
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 30;

class Bitmap {
 public:
  // A zero-filled picture (transparent for Argb32, black for Rgb32), or null
  // when the size is negative, over kMaxPicturePixels, a side is over
  // 2^31 - 1, or the memory is not available. A 0 x 0 size gives an empty
  // picture.
  static std::unique_ptr<Bitmap> Create(std::int64_t width, std::int64_t height, PixelFormat format);
  static std::unique_ptr<Bitmap> CreateEmpty();

  ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  std::int64_t width() const { return width_; }
  std::int64_t height() const { return height_; }
  std::int64_t stride() const { return stride_; }  // bytes per row
  PixelFormat format() const { return format_; }
  bool empty() const { return width_ == 0 || height_ == 0; }
  bool hasAlpha() const { return format_ == PixelFormat::Argb32; }

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::uint32_t* row(std::int64_t y) { return reinterpret_cast<std::uint32_t*>(data_ + y * stride_); }
  const std::uint32_t* row(std::int64_t y) const {
    return reinterpret_cast<const std::uint32_t*>(data_ + y * stride_);
  }
  std::uint32_t pixel(std::int64_t x, std::int64_t y) const { return row(y)[x]; }

  // The EXIF orientation tag (274) the decoder found: 1..8, or 0 when the
  // file had none. ApplyExifOrientation() resets it to 1 once applied.
  std::uint16_t exifOrientation() const { return exifOrientation_; }
  void setExifOrientation(std::uint16_t value) { exifOrientation_ = value; }

  // Takes over the other picture's pixels, size and format (used by
  // operations that turn a picture "in place" through a new buffer).
  void swapContents(Bitmap& other) noexcept;

 private:
  Bitmap() = default;
  friend std::unique_ptr<Bitmap> ConvertFormat(std::unique_ptr<Bitmap> picture, PixelFormat format);

  std::int64_t width_ = 0;
  std::int64_t height_ = 0;
  std::int64_t stride_ = 0;
  PixelFormat format_ = PixelFormat::Rgb32;
  std::uint16_t exifOrientation_ = 0;
  std::uint8_t* data_ = nullptr;
  std::size_t allocated_ = 0;  // bytes mapped, 0 when data_ is null
};

using Picture = std::unique_ptr<Bitmap>;

// ---- pixel helpers -------------------------------------------------------

// Premultiplies a straight-alpha 0xAARRGGBB colour.
std::uint32_t Premultiply(std::uint32_t straightArgb);
// Turns a premultiplied pixel back into straight alpha (alpha 0 gives 0).
std::uint32_t Unpremultiply(std::uint32_t premultipliedArgb);

// ---- loading -------------------------------------------------------------
// Formats: JPEG (libjpeg-turbo), BMP (own reader), and PNG, GIF (first
// frame), WebP, TIFF (first page), HEIC/HEIF through libvips. Pictures with
// an alpha channel decode as Argb32, others as Rgb32. Colours come out as
// sRGB: an embedded ICC profile is applied, and CMYK without one is turned
// into RGB by its inks, the same way in every format.
//
// Only regular files are opened: a FIFO, device, socket or folder is never
// read (it could block or never end). Files are read in pieces, never held
// whole. A JPEG that ends early is used as far as its data goes, the rest
// grey. Corrupt or unknown data, or an announced size over
// kMaxPicturePixels, gives an empty picture.

// Why a load gave what it gave.
enum class LoadStatus : std::uint8_t {
  Decoded,      // the whole picture
  Damaged,      // the data ended early: the picture holds what could be read
  NotAFile,     // a folder, FIFO, device or socket: not opened
  Unreadable,   // missing, or not permitted
  NotAPicture,  // no format we read, or damaged beyond use
  TooLarge,     // more pixels than kMaxPicturePixels, or more memory than decoding may take
};

// Decoded and turned upright by its EXIF orientation.
Picture LoadPicture(const std::string& path);
// Decoded as stored (orientation tag kept in exifOrientation(), not applied).
Picture LoadPicturePlain(const std::string& path);
// The same from bytes in memory.
Picture LoadPictureFromMemory(std::span<const std::uint8_t> bytes, bool upright);

// Turns the picture upright by its exifOrientation(): all eight EXIF
// orientations, the mirrored ones included. Returns false (picture
// unchanged) only when memory for a quarter turn is not available.
bool ApplyExifOrientation(Bitmap& picture);

struct PictureSize {
  std::int64_t width = 0;
  std::int64_t height = 0;
};

// The identity and state of a file: the same file unchanged has the same
// stamp; written again, replaced or gone, another. All zero for no file.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;
  bool operator==(const FileStamp&) const = default;
  // The stamp of `path` now (all zero when it cannot be looked at).
  static FileStamp Of(const std::string& path);
};

// A picture decoded at a reduced size, plus the size of the whole upright
// picture. `chooseSize` gets the upright full size and returns the size
// wanted. The decoder reads just enough (JPEG: the smallest DCT scale that
// keeps at least `margin` times the wanted size; WebP and HEIF likewise
// where their libraries can) and shrinks the rows with an area-averaging
// filter as they come, so memory follows the wanted size, not the file's:
// the result is exactly the chosen size, with the pixels ResizeTo would give
// from the whole decode. A chosen size equal to the full size gives the full decode
// untouched. Failure: empty picture, a full size of 0 x 0, and the reason.
struct SizedLoad {
  PictureSize fullSize;
  Picture picture;
  LoadStatus status = LoadStatus::NotAPicture;
  FileStamp file;  // the file as it was read (zero from memory)
};
SizedLoad LoadPictureSized(const std::string& path,
                           const std::function<PictureSize(PictureSize upright)>& chooseSize, double margin = 2.0);
SizedLoad LoadPictureSizedFromMemory(std::span<const std::uint8_t> bytes,
                                     const std::function<PictureSize(PictureSize upright)>& chooseSize,
                                     double margin = 2.0);

// LoadPicture, then FitWithin the box with no upper bound on the factor.
Picture LoadPictureFitted(const std::string& path, double boxWidth, double boxHeight);
// LoadPicture, then ScaleBy(factor).
Picture LoadPictureScaled(const std::string& path, double factor);

// ---- scaling and converting ----------------------------------------------

// x > 0: floor(x + 0.5), otherwise ceil(x - 0.5). NaN gives 0 and values
// beyond +-9e18 are clamped there.
std::int64_t RoundHalfAway(double x);

// ResizeTo(RoundHalfAway(width * f), RoundHalfAway(height * f)).
Picture ScaleBy(Picture picture, double factor);
// e = min(boxHeight / height, boxWidth / width, largestFactor); the same
// picture when e == 1, else ResizeTo(RoundHalfAway(width * e),
// RoundHalfAway(height * e)).
Picture FitWithin(Picture picture, double boxWidth, double boxHeight,
                  double largestFactor = std::numeric_limits<double>::infinity());
// The same picture when the size already matches; else a new Argb32 picture
// of that size with the old one stretched over it (area average when
// shrinking, bilinear when enlarging); the old one is freed. A size of 0 or
// less, or a failed allocation, gives an empty picture.
Picture ResizeTo(Picture picture, std::int64_t width, std::int64_t height);
// A new picture of the same size, format and orientation tag.
Picture ClonePicture(const Bitmap& picture);
// The same picture when it has the format; else a new one of that format
// (Argb32 -> Rgb32 composes over black, as drawing does); the old is freed.
Picture ConvertFormat(Picture picture, PixelFormat format);
// Crops to the smallest rectangle holding every pixel with alpha != 0. The
// same picture when that is the whole picture or when no pixel has content.
Picture CropToContent(Picture picture);

// The whole picture for reading as 0xAARRGGBB words (premultiplied for
// Argb32, alpha 0xFF for Rgb32). Unlocks when it goes out of scope.
class LockedPixels {
 public:
  LockedPixels() = default;
  const std::uint32_t* first() const { return first_; }
  std::int64_t stride() const { return stride_; }  // bytes
  std::int64_t width() const { return width_; }
  std::int64_t height() const { return height_; }
  const std::uint32_t* row(std::int64_t y) const {
    return reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(first_) + y * stride_);
  }
  void unlock() { first_ = nullptr; width_ = height_ = stride_ = 0; }

 private:
  friend LockedPixels LockPixels(Bitmap& picture);
  const std::uint32_t* first_ = nullptr;
  std::int64_t stride_ = 0;
  std::int64_t width_ = 0;
  std::int64_t height_ = 0;
};
LockedPixels LockPixels(Bitmap& picture);

// ---- encoders ------------------------------------------------------------

enum class EncoderId : std::uint8_t { Bmp, Jpeg, Png };

// The longest side the JPEG encoder writes: libjpeg's limit, a little below
// the 65535 the format could hold.
inline constexpr std::int64_t kJpegMaxSide = 65500;

struct EncoderInfo {
  int index = -1;  // position in InstalledEncoders(), -1 when none
  EncoderId id = EncoderId::Png;
  std::string mimeType;
};

// In order: "image/bmp", "image/jpeg", "image/png".
const std::vector<EncoderInfo>& InstalledEncoders();
// First encoder whose MIME type equals `mimeType` exactly (case-sensitive);
// index -1 when there is none.
EncoderInfo FindEncoder(std::string_view mimeType);

struct EncoderParams {
  // JPEG 1..100; -1 means the default, 75. PNG/BMP ignore it. At 90 and above
  // the colour is kept at full resolution (4:4:4): fine borders and edges
  // between items keep their colour, for about a third more bytes; below 90
  // it is halved both ways (4:2:0).
  int quality = -1;
};

// Where an encoder hands its bytes, in order. Returning false stops the
// encoder, which then fails.
using EncodedBytesSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

// Writes the picture; false (and no partial file left) on any failure or for
// an empty picture. PNG: 8-bit RGB for Rgb32, RGBA for Argb32 (straight
// alpha). JPEG: RGB, alpha dropped. BMP: 24-bit for Rgb32, 32-bit BGRA for
// Argb32 (straight alpha), bottom-up.
bool SavePicture(const Bitmap& picture, const std::string& path, EncoderId encoder,
                 const EncoderParams& params = {});
// PNG with quality 100, through FindEncoder("image/png").
bool SavePng(const Bitmap& picture, const std::string& path);
// The same into memory (empty vector on failure).
std::vector<std::uint8_t> EncodePicture(const Bitmap& picture, EncoderId encoder,
                                        const EncoderParams& params = {});
// The same through `sink`, so that the bytes go wherever the caller writes
// (an atomic file writer, a socket) without a copy of the whole file. False
// when the picture cannot be encoded or the sink refused bytes.
bool EncodePictureTo(const Bitmap& picture, EncoderId encoder, const EncoderParams& params,
                     const EncodedBytesSink& sink);

// ---- drawing (pixman) ----------------------------------------------------
// All drawing composes with OVER unless said otherwise, in premultiplied
// space. Coordinates may exceed 32767: every call draws through a pixman
// image that covers only the touched part of the canvas, so pixman's 16.16
// fixed-point limits never apply to canvas positions.

// Maps picture coordinates (x, y) to canvas coordinates:
//   X = xx * x + xy * y + x0,   Y = yx * x + yy * y + y0.
struct Affine {
  double xx = 1, yx = 0, xy = 0, yy = 1, x0 = 0, y0 = 0;

  static Affine Translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
  static Affine Scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  // Counter-clockwise in a y-down picture is negative; angle in radians.
  static Affine Rotation(double radians);
  // this after `first`: (this * first)(p) = this(first(p)).
  Affine operator*(const Affine& first) const;
};

enum class DrawFilter : std::uint8_t {
  Nearest,
  Bilinear,
  HighQuality,  // separable box/linear convolution, for down-scaling
};

// Draws `picture` onto `canvas` through `placement`. `opacity` 0..255
// multiplies the picture's alpha. Returns false when nothing could be drawn
// (empty input, degenerate transform, memory).
bool DrawPicture(Bitmap& canvas, const Bitmap& picture, const Affine& placement,
                 DrawFilter filter = DrawFilter::Bilinear, std::uint8_t opacity = 255);
// Unscaled at whole-pixel position (x, y); `replace` copies instead of OVER.
bool DrawPictureAt(Bitmap& canvas, const Bitmap& picture, std::int64_t x, std::int64_t y,
                   bool replace = false);
// Fills a rectangle (clipped to the canvas) with a straight-alpha colour;
// `replace` writes the colour instead of composing it OVER.
void FillRect(Bitmap& canvas, std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height,
              std::uint32_t straightArgb, bool replace = true);
void Fill(Bitmap& canvas, std::uint32_t straightArgb);

// For code that needs pixman itself: an image over the rectangle
// (x, y, width, height) of the picture, sharing its pixels, using the
// picture's stride. The rectangle must lie inside the picture and have
// sides of at most 32767. Null on bad arguments.
struct PixmanImageRelease {
  void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanImageRelease>;
PixmanImage WrapForPixman(Bitmap& picture, std::int64_t x, std::int64_t y, std::int64_t width,
                          std::int64_t height);
PixmanImage WrapForPixman(const Bitmap& picture);  // whole picture, read-only use

}  // namespace vornida
