// JPEG through libjpeg-turbo, with DCT-domain scaling for reduced loads.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared first, and jerror.h after it.
#include <jpeglib.h>
#include <jerror.h>

#include "imaging/colour.h"
#include "imaging/decoders.h"
#include "imaging/jpeg_dc_decode.h"
#include "imaging/row_target.h"

namespace vornida::imaging_internal {

namespace {

// Progressive files can hold thousands of tiny scans that each cost a pass
// over the whole coefficient buffer; real encoders write a dozen or so.
constexpr int kMaxScans = 400;

// Where the rest of a truncated picture is shown: the grey that missing
// coefficients decode to.
constexpr std::uint32_t kMissingGrey = 0xFF808080u;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int fatalCode = 0;
  bool ranOut = false;  // the data ended before the picture did
};

ErrorManager& Errors(j_common_ptr cinfo) { return *reinterpret_cast<ErrorManager*>(cinfo->err); }

[[noreturn]] void OnError(j_common_ptr cinfo) {
  Errors(cinfo).fatalCode = cinfo->err->msg_code;
  std::longjmp(Errors(cinfo).jump, 1);
}

// The end of the data (a truncated file, or an end marker before the picture
// is full) is noted: what was read is used.
// Other damage to the data gives no picture rather than one with smeared
// parts, unless it comes after the end, where it is only the filler.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level != -1) return;  // trace messages
  ErrorManager& errors = Errors(cinfo);
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
      errors.ranOut = true;
      break;
    case JWRN_HIT_MARKER:
      // The end of the picture before its data filled it: cut short too.
      if (reinterpret_cast<j_decompress_ptr>(cinfo)->unread_marker == JPEG_EOI) {
        errors.ranOut = true;
        break;
      }
      [[fallthrough]];
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      if (!errors.ranOut) std::longjmp(errors.jump, 1);
      break;
    default:
      break;  // e.g. extraneous bytes before a marker: harmless
  }
}

void OnProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->input_scan_number > kMaxScans) std::longjmp(Errors(cinfo).jump, 1);
}

// A file read in pieces; at its end a fake EOI marker, as libjpeg's own
// sources do, with the warning that marks the picture damaged.
struct FileSource {
  jpeg_source_mgr pub;
  const PictureInput* input;
  std::int64_t offset;
  JOCTET buffer[65536];
};

void SourceInit(j_decompress_ptr) {}
void SourceTerm(j_decompress_ptr) {}

boolean SourceFill(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<FileSource*>(cinfo->src);
  std::size_t n = src->input->ReadAt(src->offset, src->buffer, sizeof src->buffer);
  src->offset += static_cast<std::int64_t>(n);
  if (n == 0) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  return TRUE;
}

void SourceSkip(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<FileSource*>(cinfo->src);
  if (count <= 0) return;
  const auto skip = static_cast<std::size_t>(count);
  if (skip <= src->pub.bytes_in_buffer) {
    src->pub.next_input_byte += skip;
    src->pub.bytes_in_buffer -= skip;
    return;
  }
  src->offset += static_cast<std::int64_t>(skip - src->pub.bytes_in_buffer);
  src->pub.bytes_in_buffer = 0;
}

std::uint16_t OrientationFromMarkers(j_decompress_ptr cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
      return ReadExifOrientation({m->data, m->data_length});
    }
  }
  return 0;
}

// Smallest scale n/8 whose output keeps at least `margin` times the wanted
// size in both directions; 8/8 when none does.
int ChooseScaleEighths(PictureSize stored, PictureSize wantedStored, double margin) {
  if (wantedStored.width <= 0 || wantedStored.height <= 0) return 8;
  for (int n = 1; n < 8; ++n) {
    const std::int64_t w = (stored.width * n + 7) / 8;
    const std::int64_t h = (stored.height * n + 7) / 8;
    if (static_cast<double>(w) >= margin * static_cast<double>(wantedStored.width) &&
        static_cast<double>(h) >= margin * static_cast<double>(wantedStored.height)) {
      return n;
    }
  }
  return 8;
}

// Everything the decode touches after setjmp lives here, reached through a
// pointer that does not change, so a longjmp leaves it in a known state.
struct JpegState {
  jpeg_decompress_struct cinfo{};
  ErrorManager error{};
  jpeg_progress_mgr progress{};
  FileSource source{};
  std::unique_ptr<RowTarget> target;
  std::unique_ptr<ColourConverter> colour;
  std::vector<JSAMPLE> sampleRow;
  std::vector<std::uint8_t> profile;
  JpegHeaderFacts facts;
  bool progressive = false;
  bool created = false;
};

}  // namespace

DecodeOutcome DecodeJpeg(const PictureInput& input, const DecodeWish& wish) {
  DecodeOutcome outcome;
  if (input.size() < 4) return outcome;
  auto state = std::make_unique<JpegState>();
  JpegState* s = state.get();
  s->cinfo.err = jpeg_std_error(&s->error.pub);
  s->error.pub.error_exit = OnError;
  s->error.pub.emit_message = OnMessage;
  if (setjmp(s->error.jump) != 0) {
    if (s->created) jpeg_destroy_decompress(&s->cinfo);
    // libjpeg reports "backing store" when a multi-scan picture needs more
    // coefficient memory than it may use. A progressive one asked for at a
    // reduced size can still be had from its DC coefficients, at 1/8 scale
    // (enlarged from there when more was wanted: sharper would need the
    // coefficients that do not fit).
    if (s->error.fatalCode == JERR_NO_BACKING_STORE) {
      if (s->progressive && wish.choose != nullptr) return DecodeJpegDcOnly(input, s->facts, wish);
      outcome.status = LoadStatus::TooLarge;
    }
    return outcome;
  }
  jpeg_create_decompress(&s->cinfo);
  s->created = true;
  s->progress.progress_monitor = OnProgress;
  s->cinfo.progress = &s->progress;
  if (!input.memory().empty()) {
    jpeg_mem_src(&s->cinfo, input.memory().data(), static_cast<unsigned long>(input.memory().size()));
  } else {
    s->source.input = &input;
    s->source.pub.init_source = SourceInit;
    s->source.pub.fill_input_buffer = SourceFill;
    s->source.pub.skip_input_data = SourceSkip;
    s->source.pub.resync_to_restart = jpeg_resync_to_restart;
    s->source.pub.term_source = SourceTerm;
    s->cinfo.src = &s->source.pub;
  }
  jpeg_save_markers(&s->cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&s->cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC profile
  jpeg_read_header(&s->cinfo, TRUE);

  const PictureSize stored{s->cinfo.image_width, s->cinfo.image_height};
  if (stored.width <= 0 || stored.height <= 0 || stored.width * stored.height > MaxDecodedPixels()) {
    jpeg_destroy_decompress(&s->cinfo);
    outcome.status = LoadStatus::TooLarge;
    return outcome;
  }
  const std::uint16_t orientation = OrientationFromMarkers(&s->cinfo);
  const PictureSize wanted = WantedStoredSize(stored, orientation, wish.choose);
  const int eighths = wish.choose != nullptr ? ChooseScaleEighths(stored, wanted, wish.margin) : 8;
  s->cinfo.scale_num = static_cast<unsigned>(eighths);
  s->cinfo.scale_denom = 8;

  JOCTET* icc = nullptr;
  unsigned int iccLength = 0;
  if (jpeg_read_icc_profile(&s->cinfo, &icc, &iccLength) && icc != nullptr) {
    s->profile.assign(icc, icc + iccLength);
  }
  std::free(icc);

  const J_COLOR_SPACE space = s->cinfo.jpeg_color_space;
  SourceLayout layout = SourceLayout::Bgrx;
  if (space == JCS_CMYK || space == JCS_YCCK) {
    // Adobe's writers store inverted inks.
    layout = s->cinfo.saw_Adobe_marker ? SourceLayout::CmykInverted : SourceLayout::Cmyk;
    s->cinfo.out_color_space = JCS_CMYK;
  } else if (space == JCS_GRAYSCALE && !s->profile.empty()) {
    layout = SourceLayout::Grey;  // a grey profile needs the grey values
    s->cinfo.out_color_space = JCS_GRAYSCALE;
  } else {
    s->cinfo.out_color_space = JCS_EXT_BGRA;
  }
  s->colour = std::make_unique<ColourConverter>(layout, s->profile);
  s->progressive = s->cinfo.progressive_mode;
  s->facts.orientation = orientation;
  s->facts.adobe = s->cinfo.saw_Adobe_marker;
  s->facts.profile = s->profile;
  switch (space) {
    case JCS_GRAYSCALE: s->facts.colourSpace = JpegColourSpace::Grey; break;
    case JCS_RGB: s->facts.colourSpace = JpegColourSpace::Rgb; break;
    case JCS_CMYK: s->facts.colourSpace = JpegColourSpace::Cmyk; break;
    case JCS_YCCK: s->facts.colourSpace = JpegColourSpace::Ycck; break;
    default: s->facts.colourSpace = JpegColourSpace::YCbCr; break;
  }
  if (layout == SourceLayout::Grey && !s->colour->managed()) {
    // The profile did not fit: grey straight to words, as without one.
    layout = SourceLayout::Bgrx;
    s->cinfo.out_color_space = JCS_EXT_BGRA;
  }

  // A progressive (or multi-scan) file keeps every DCT coefficient of the
  // whole picture while it decodes; libjpeg refuses to go beyond this.
  s->cinfo.mem->max_memory_to_use = static_cast<long>(DecoderMemoryBudget());
  jpeg_start_decompress(&s->cinfo);
  const bool multiScan = jpeg_has_multiple_scans(&s->cinfo);
  if (s->error.ranOut && !multiScan) {
    // Not even the first rows are there.
    jpeg_destroy_decompress(&s->cinfo);
    return outcome;
  }

  const PictureSize decoded{s->cinfo.output_width, s->cinfo.output_height};
  s->target = RowTarget::Make(decoded, wanted, PixelFormat::Rgb32);
  if (!s->target) {
    jpeg_destroy_decompress(&s->cinfo);
    outcome.status = LoadStatus::TooLarge;
    return outcome;
  }
  if (layout != SourceLayout::Bgrx) {
    s->sampleRow.resize(static_cast<std::size_t>(decoded.width) * s->cinfo.output_components);
  }
  // Rows come from libjpeg one band of MCUs at a time.
  const JDIMENSION band = static_cast<JDIMENSION>(s->cinfo.max_v_samp_factor * s->cinfo.min_DCT_scaled_size);
  JDIMENSION endOfData = 0;  // the band after the one where a truncated file ended
  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    const JDIMENSION y = s->cinfo.output_scanline;
    if (endOfData != 0 && y >= endOfData) break;
    std::uint32_t* out = s->target->Row(y);
    if (layout == SourceLayout::Bgrx) {
      JSAMPROW row = reinterpret_cast<JSAMPROW>(out);
      jpeg_read_scanlines(&s->cinfo, &row, 1);
      if (s->colour->managed()) s->colour->ToWords(row, out, decoded.width);
    } else {
      JSAMPROW row = s->sampleRow.data();
      jpeg_read_scanlines(&s->cinfo, &row, 1);
      s->colour->ToWords(row, out, decoded.width);
    }
    s->target->Commit();
    if (s->error.ranOut && !multiScan && endOfData == 0) {
      // The band this row belongs to was cut off part way; after it only
      // filler follows.
      if (y < band) {
        jpeg_destroy_decompress(&s->cinfo);
        return outcome;
      }
      endOfData = (y / band + 1) * band;
    }
  }
  const bool damaged = s->error.ranOut;
  if (damaged && s->cinfo.output_scanline < s->cinfo.output_height) s->target->FillRest(kMissingGrey);
  // A file that stopped early cannot be finished; destroying it is enough.
  if (!damaged) jpeg_finish_decompress(&s->cinfo);
  jpeg_destroy_decompress(&s->cinfo);
  outcome.picture = s->target->Finish();
  outcome.picture->setExifOrientation(orientation);
  outcome.stored = stored;
  outcome.status = damaged ? LoadStatus::Damaged : LoadStatus::Decoded;
  return outcome;
}

}  // namespace vornida::imaging_internal
