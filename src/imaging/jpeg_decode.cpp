// JPEG through libjpeg-turbo, with DCT-domain scaling for reduced loads.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared first, and jerror.h after it.
#include <jpeglib.h>
#include <jerror.h>

#include "imaging/decoders.h"
#include "imaging/memory.h"

namespace vornida::imaging_internal {

namespace {

// Progressive files can hold thousands of tiny scans that each cost a pass
// over the whole coefficient buffer; real encoders write a dozen or so.
constexpr int kMaxScans = 400;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings that mean the data is damaged: a truncated or corrupt file gives
// no picture rather than one with grey or smeared parts.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level != -1) return;  // trace messages
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
    default:
      break;  // e.g. extraneous bytes before a marker: harmless
  }
}

void OnProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->input_scan_number > kMaxScans) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
  }
}

std::uint16_t OrientationFromMarkers(j_decompress_ptr cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
      return ReadExifOrientation({m->data, m->data_length});
    }
  }
  return 0;
}

// Smallest scale n/8 whose output keeps at least twice the wanted size in
// both directions; 8/8 when none does.
int ChooseScaleEighths(PictureSize stored, PictureSize wantedStored) {
  if (wantedStored.width <= 0 || wantedStored.height <= 0) return 8;
  for (int n = 1; n < 8; ++n) {
    const std::int64_t w = (stored.width * n + 7) / 8;
    const std::int64_t h = (stored.height * n + 7) / 8;
    if (w >= 2 * wantedStored.width && h >= 2 * wantedStored.height) return n;
  }
  return 8;
}

// Adobe CMYK / YCCK files store inverted ink values.
void CmykRowToBgra(const JSAMPLE* cmyk, std::uint32_t* out, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x) {
    std::uint32_t c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    const std::uint32_t r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
    out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
  }
}

// Everything the decode touches after setjmp lives here, reached through a
// pointer that does not change, so a longjmp leaves it in a known state.
struct JpegState {
  jpeg_decompress_struct cinfo{};
  ErrorManager error{};
  jpeg_progress_mgr progress{};
  Picture picture;
  std::vector<JSAMPLE> cmykRow;
  bool created = false;
};

}  // namespace

Picture DecodeJpeg(std::span<const std::uint8_t> bytes, const SizeChooser* chooseSize, PictureSize& storedSize) {
  if (bytes.size() < 4 || bytes.size() > 0xFFFFFFFFu) return nullptr;
  auto state = std::make_unique<JpegState>();
  JpegState* s = state.get();
  s->cinfo.err = jpeg_std_error(&s->error.pub);
  s->error.pub.error_exit = OnError;
  s->error.pub.emit_message = OnMessage;
  if (setjmp(s->error.jump) != 0) {
    if (s->created) jpeg_destroy_decompress(&s->cinfo);
    return nullptr;
  }
  jpeg_create_decompress(&s->cinfo);
  s->created = true;
  s->progress.progress_monitor = OnProgress;
  s->cinfo.progress = &s->progress;
  jpeg_mem_src(&s->cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_save_markers(&s->cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&s->cinfo, TRUE);

  const PictureSize stored{s->cinfo.image_width, s->cinfo.image_height};
  if (stored.width <= 0 || stored.height <= 0 || stored.width * stored.height > MaxDecodedPixels()) {
    jpeg_destroy_decompress(&s->cinfo);
    return nullptr;
  }
  const std::uint16_t orientation = OrientationFromMarkers(&s->cinfo);

  int eighths = 8;
  if (chooseSize != nullptr) {
    const bool swap = OrientationSwapsSides(orientation);
    const PictureSize upright = swap ? PictureSize{stored.height, stored.width} : stored;
    const PictureSize wanted = (*chooseSize)(upright);
    const PictureSize wantedStored = swap ? PictureSize{wanted.height, wanted.width} : wanted;
    eighths = ChooseScaleEighths(stored, wantedStored);
  }
  s->cinfo.scale_num = static_cast<unsigned>(eighths);
  s->cinfo.scale_denom = 8;

  const bool cmyk = s->cinfo.jpeg_color_space == JCS_CMYK || s->cinfo.jpeg_color_space == JCS_YCCK;
  s->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_calc_output_dimensions(&s->cinfo);

  // A progressive (or multi-scan) file keeps every DCT coefficient of the
  // full picture in memory while it decodes: refuse what cannot fit.
  std::size_t need = static_cast<std::size_t>(s->cinfo.output_width) * s->cinfo.output_height * 4;
  if (jpeg_has_multiple_scans(&s->cinfo)) {
    need += static_cast<std::size_t>(stored.width + 16) * (stored.height + 16) * 2 *
            static_cast<std::size_t>(s->cinfo.num_components);
  }
  if (need > (std::size_t{64} << 20) && !MemoryAvailableFor(need)) {
    jpeg_destroy_decompress(&s->cinfo);
    return nullptr;
  }

  jpeg_start_decompress(&s->cinfo);
  s->picture = Bitmap::Create(s->cinfo.output_width, s->cinfo.output_height, PixelFormat::Rgb32);
  if (!s->picture || s->picture->empty()) {
    jpeg_destroy_decompress(&s->cinfo);
    return nullptr;
  }
  if (cmyk) s->cmykRow.resize(static_cast<std::size_t>(s->cinfo.output_width) * 4);
  const bool inverted = s->cinfo.saw_Adobe_marker;

  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    const JDIMENSION y = s->cinfo.output_scanline;
    if (cmyk) {
      JSAMPROW row = s->cmykRow.data();
      jpeg_read_scanlines(&s->cinfo, &row, 1);
      CmykRowToBgra(row, s->picture->row(y), s->cinfo.output_width, inverted);
    } else {
      JSAMPROW row = reinterpret_cast<JSAMPROW>(s->picture->row(y));
      jpeg_read_scanlines(&s->cinfo, &row, 1);
    }
  }
  jpeg_finish_decompress(&s->cinfo);
  jpeg_destroy_decompress(&s->cinfo);
  s->picture->setExifOrientation(orientation);
  storedSize = stored;
  return std::move(s->picture);
}

}  // namespace vornida::imaging_internal
