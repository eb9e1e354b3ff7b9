// The layered writer's files, read back with psd-tools.
#include "output/psd_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "psd_reader.h"

namespace vornida {
namespace {

// A layer record with a 7-character name: 66 fixed bytes, the Pascal string
// (1 + 7) and the Unicode name block (8BIM, luni, length, count, 7 units, 2
// bytes of padding).
constexpr std::size_t kSevenCharacterRecord = 66 + 8 + (12 + 4 + 14 + 2);

using testing::MakePicture;
using testing::RawPicture;
using testing::ReadBytes;
using testing::ReadDocument;
using testing::ReadWithPsdTools;
using testing::ScratchFolder;

uint64_t BigEndianAt(const std::vector<uint8_t>& bytes, std::size_t offset, int size) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | bytes.at(offset + i);
  return value;
}

// Compares the reader's RGBA of a layer with the picture that was drawn,
// with premultiplied input expected back as straight colour.
::testing::AssertionResult SamePixels(const testing::ReadLayer& layer, const RawPicture& picture) {
  const std::size_t count = static_cast<std::size_t>(picture.width) * picture.height;
  if (layer.rgba.size() != count * 4) {
    return ::testing::AssertionFailure() << "layer has " << layer.rgba.size() << " bytes, want "
                                         << count * 4;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t p = picture.pixels[i];
    const uint8_t want[4] = {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                             static_cast<uint8_t>(p),
                             picture.alpha == PsdAlpha::Opaque ? uint8_t{255}
                                                               : static_cast<uint8_t>(p >> 24)};
    for (int c = 0; c < 4; ++c) {
      if (layer.rgba[i * 4 + c] != want[c]) {
        return ::testing::AssertionFailure()
               << "pixel " << i % picture.width << "," << i / picture.width << " channel " << c
               << ": " << int(layer.rgba[i * 4 + c]) << " != " << int(want[c]);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// A canvas-sized merged picture of one colour.
RawPicture Flat(int32_t width, int32_t height, uint32_t argb = 0xFFFFFFFF) {
  RawPicture picture;
  picture.width = width;
  picture.height = height;
  picture.alpha = PsdAlpha::Opaque;
  picture.pixels.assign(static_cast<std::size_t>(width) * height, argb);
  return picture;
}

void ExpectRectangle(const testing::ReadLayer& layer, int64_t left, int64_t top, int64_t right,
                     int64_t bottom) {
  EXPECT_EQ(layer.left, left) << layer.name;
  EXPECT_EQ(layer.top, top) << layer.name;
  EXPECT_EQ(layer.right, right) << layer.name;
  EXPECT_EQ(layer.bottom, bottom) << layer.name;
}

TEST(PsdLayers, ItemsOnTransparentCanvasReadBackBottomFirstWithTheirRectangles) {
  ScratchFolder folder;
  const std::string path = folder.file("collage.psd");
  const RawPicture inside = MakePicture(90, 60, 1);
  const RawPicture overTopLeft = MakePicture(70, 50, 2);   // negative left and top
  const RawPicture pastEdge = MakePicture(130, 41, 3);     // right and bottom past the canvas
  PsdWriter writer;
  ASSERT_TRUE(writer.open(path, 320, 200, 3));
  ASSERT_TRUE(writer.addLayer(inside.view(), 100, 80));
  ASSERT_TRUE(writer.addLayer(overTopLeft.view(), -20, -35));
  ASSERT_TRUE(writer.addLayer(pastEdge.view(), 250, 180));
  EXPECT_FALSE(writer.addLayer(inside.view(), 0, 0)) << "only three layers were announced";
  // The flat collage, partly transparent as on a transparent background.
  const RawPicture merged = MakePicture(320, 200, 40);
  ASSERT_TRUE(writer.finish(merged.view()));

  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  EXPECT_EQ(psd.version, 1);
  EXPECT_EQ(psd.width, 320);
  EXPECT_EQ(psd.height, 200);
  ASSERT_EQ(psd.layers.size(), 3u);
  const char* names[] = {"Layer 1", "Layer 2", "Layer 3"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(psd.layers[i].name, names[i]);
    EXPECT_EQ(psd.layers[i].opacity, 255);
    EXPECT_EQ(psd.layers[i].blend, "norm");
    EXPECT_TRUE(psd.layers[i].visible);
  }
  ExpectRectangle(psd.layers[0], 100, 80, 190, 140);
  ExpectRectangle(psd.layers[1], -20, -35, 50, 15);
  ExpectRectangle(psd.layers[2], 250, 180, 380, 221);
  EXPECT_TRUE(SamePixels(psd.layers[0], inside));
  EXPECT_TRUE(SamePixels(psd.layers[1], overTopLeft));
  EXPECT_TRUE(SamePixels(psd.layers[2], pastEdge));
  // The merged image is the flat picture shown over white, where readers
  // without layers (viewers, thumbnails) look.
  ASSERT_EQ(psd.mergedRgb.size(), 320u * 200 * 3);
  int worst = 0;
  for (std::size_t i = 0; i < 320u * 200; ++i) {
    const uint32_t p = merged.pixels[i], a = p >> 24;
    for (int c = 0; c < 3; ++c) {
      const int want = static_cast<int>(((p >> (16 - 8 * c)) & 0xFF) * a + 255 * (255 - a) + 127) / 255;
      worst = std::max(worst, std::abs(psd.mergedRgb[i * 3 + c] - want));
    }
  }
  EXPECT_EQ(worst, 0);
}

// Over a megabyte of packed rows per channel: written in several chunks,
// with the row counts put in place afterwards.
TEST(PsdLayers, LayerLargerThanOneWriteChunkReadsBackWhole) {
  ScratchFolder folder;
  const std::string path = folder.file("big-layer.psd");
  const RawPicture photo = MakePicture(1800, 900, 17);
  PsdWriter writer;
  ASSERT_TRUE(writer.open(path, 1400, 700, 1));
  ASSERT_TRUE(writer.addLayer(photo.view(), -50, -60));
  ASSERT_TRUE(writer.finish(Flat(1400, 700).view()));
  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  ASSERT_EQ(psd.layers.size(), 1u);
  ExpectRectangle(psd.layers[0], -50, -60, 1750, 840);
  EXPECT_TRUE(SamePixels(psd.layers[0], photo));
}

TEST(PsdLayers, OpaqueColourBackgroundIsAnExtraBottomLayerOverTheWholeCanvas) {
  ScratchFolder folder;
  const std::string path = folder.file("coloured.psd");
  // 300 px rows pack as runs of 128, 128 and 44 in every channel.
  const RawPicture item = MakePicture(40, 30, 7);
  PsdWriter writer;
  ASSERT_TRUE(writer.openWithColour(path, 300, 20, 2, 0xFF336699));
  EXPECT_EQ(writer.layerCount(), 3);
  ASSERT_TRUE(writer.addLayer(item.view(), 5, 5));
  ASSERT_TRUE(writer.addLayer(item.view(), 280, -10));
  ASSERT_TRUE(writer.finish(Flat(300, 20).view()));

  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  ASSERT_EQ(psd.layers.size(), 3u);
  EXPECT_EQ(psd.layers[0].name, "Layer 1");
  EXPECT_EQ(psd.layers[2].name, "Layer 3");
  ExpectRectangle(psd.layers[0], 0, 0, 300, 20);
  ASSERT_EQ(psd.layers[0].rgba.size(), 300u * 20 * 4);
  for (std::size_t i = 0; i < psd.layers[0].rgba.size(); i += 4) {
    ASSERT_EQ(psd.layers[0].rgba[i + 0], 0x33) << i / 4;
    ASSERT_EQ(psd.layers[0].rgba[i + 1], 0x66) << i / 4;
    ASSERT_EQ(psd.layers[0].rgba[i + 2], 0x99) << i / 4;
    ASSERT_EQ(psd.layers[0].rgba[i + 3], 0xFF) << i / 4;
  }
  EXPECT_TRUE(SamePixels(psd.layers[1], item));
  ExpectRectangle(psd.layers[2], 280, -10, 320, 20);

  // The colour layer's red channel: compression 1, 20 row counts of 6
  // bytes, each row "-127 v -127 v -43 v".
  const auto bytes = ReadBytes(path);
  const std::size_t recordsEnd = 86 + 3 * kSevenCharacterRecord;
  const std::size_t red = recordsEnd + (2 + 20 * 2 + 20 * 6);  // after transparency
  EXPECT_EQ(BigEndianAt(bytes, red, 2), 1u);
  EXPECT_EQ(BigEndianAt(bytes, red + 2, 2), 6u);
  const std::size_t firstRow = red + 2 + 20 * 2;
  const std::vector<uint8_t> row(bytes.begin() + firstRow, bytes.begin() + firstRow + 6);
  EXPECT_EQ(row, (std::vector<uint8_t>{0x81, 0x33, 0x81, 0x33, 0xD5, 0x33}));
}

// Layers named after photo files: any script, as UTF-8 in the Pascal string
// and UTF-16 in the Unicode block, which psd-tools shows; a name past 255
// bytes is cut on a character boundary; a layer without a name counts on.
TEST(PsdLayers, GivenNamesReachAReaderInEveryScriptAndLongOnesAreCutWhole) {
  ScratchFolder folder;
  const std::string path = folder.file("named.psd");
  std::string longName = "a";
  for (int i = 0; i < 100; ++i) longName += "\xE5\x86\x99";  // 写, 3 bytes each: 301 bytes in all
  const std::vector<std::string> names = {"Background", "Plage d'été – 海边 ☀.jpg", "Ægir 🐋.png", longName};
  PsdWriter writer;
  writer.nameLayers(names);
  ASSERT_TRUE(writer.open(path, 16, 16, 5));
  const RawPicture dot = MakePicture(3, 2, 7);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(writer.addLayer(dot.view(), i, i));
  ASSERT_TRUE(writer.finish(Flat(16, 16).view()));

  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  ASSERT_EQ(psd.layers.size(), 5u);
  EXPECT_EQ(psd.layers[0].name, "Background");
  EXPECT_EQ(psd.layers[1].name, names[1]);
  EXPECT_EQ(psd.layers[2].name, names[2]);  // outside the Basic Multilingual Plane: a surrogate pair
  EXPECT_EQ(psd.layers[3].name, longName.substr(0, 1 + 84 * 3));
  EXPECT_EQ(psd.layers[4].name, "Layer 5");
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(SamePixels(psd.layers[i], dot)) << i;

  // The next document of the same writer starts from the default names.
  ASSERT_TRUE(writer.open(path, 16, 16, 1));
  ASSERT_TRUE(writer.addLayer(dot.view(), 0, 0));
  ASSERT_TRUE(writer.finish(Flat(16, 16).view()));
  const ReadDocument again = ReadWithPsdTools(path);
  ASSERT_TRUE(again.ok) << again.error;
  ASSERT_EQ(again.layers.size(), 1u);
  EXPECT_EQ(again.layers[0].name, "Layer 1");
}

TEST(PsdLayers, NamesCountOnAndArePaddedToFourBytes) {
  ScratchFolder folder;
  const std::string path = folder.file("ten.psd");
  const RawPicture dot = MakePicture(3, 2, 11);
  PsdWriter writer;
  ASSERT_TRUE(writer.open(path, 16, 16, 10));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(writer.addLayer(dot.view(), i, i));
  ASSERT_TRUE(writer.finish(Flat(16, 16).view()));

  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  ASSERT_EQ(psd.layers.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(psd.layers[i].name, "Layer " + std::to_string(i + 1));
    ExpectRectangle(psd.layers[i], i, i, i + 3, i + 2);
    EXPECT_TRUE(SamePixels(psd.layers[i], dot)) << i;
  }
  // "Layer 9" (7 characters) fills 8 bytes of Pascal string exactly, and its
  // Unicode block 12 + 4 + 14 + 2 of padding; "Layer 10" needs 9 and 3 bytes
  // of padding, and 12 + 4 + 16. The extra-data length counts them all.
  const auto bytes = ReadBytes(path);
  const std::size_t ninth = 86 + 8 * kSevenCharacterRecord;
  EXPECT_EQ(BigEndianAt(bytes, ninth + 54, 4), 8u + 8 + 32);
  EXPECT_EQ(bytes.at(ninth + 66), 7);
  EXPECT_EQ(std::string(bytes.begin() + ninth + 74, bytes.begin() + ninth + 82), "8BIMluni");
  EXPECT_EQ(BigEndianAt(bytes, ninth + 82, 4), 20u);
  EXPECT_EQ(BigEndianAt(bytes, ninth + 86, 4), 7u);
  EXPECT_EQ(BigEndianAt(bytes, ninth + 90, 2), static_cast<uint64_t>('L'));
  const std::size_t tenth = ninth + kSevenCharacterRecord;
  EXPECT_EQ(BigEndianAt(bytes, tenth + 54, 4), 8u + 12 + 32);
  EXPECT_EQ(std::string(bytes.begin() + tenth + 67, bytes.begin() + tenth + 75), "Layer 10");
  EXPECT_EQ(BigEndianAt(bytes, tenth + 75, 3), 0u);
  EXPECT_EQ(std::string(bytes.begin() + tenth + 78, bytes.begin() + tenth + 86), "8BIMluni");
  EXPECT_EQ(BigEndianAt(bytes, tenth + 86, 4), 20u);
  EXPECT_EQ(BigEndianAt(bytes, tenth + 90, 4), 8u);
}

// Every channel of a layer has an even length, so each ends at an even
// offset (some readers skip a byte after a channel that does not): a row of
// 4 different bytes packs as one 5-byte literal, which would make each colour
// channel of a 4x1 layer 2 + 2 + 5 = 9 bytes; it is packed as 1 + 3 instead.
TEST(PsdLayers, ChannelsOfOddPackedLengthAreRepackedToAnEvenOne) {
  for (const bool oddData : {true, false}) {
    SCOPED_TRACE(oddData ? "odd" : "even");
    ScratchFolder folder;
    const std::string path = folder.file("pad.psd");
    RawPicture strip;
    strip.width = 4;
    strip.height = 1;
    strip.pixels = oddData ? std::vector<uint32_t>{0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C}
                           : std::vector<uint32_t>{0xFF010203, 0xFF010203, 0xFF070809, 0xFF070809};
    PsdWriter writer;
    ASSERT_TRUE(writer.open(path, 8, 3, 1));
    ASSERT_TRUE(writer.addLayer(strip.view(), 2, 1));
    ASSERT_TRUE(writer.finish(Flat(8, 3).view()));

    const auto bytes = ReadBytes(path);
    const uint64_t section = BigEndianAt(bytes, 76, 4);
    EXPECT_EQ(section % 2, 0u);
    EXPECT_EQ(BigEndianAt(bytes, 80, 4), section - 4);
    const std::size_t record = 86;
    for (int c = 0; c < 4; ++c) EXPECT_EQ(BigEndianAt(bytes, record + 18 + 6 * c + 2, 4) % 2, 0u) << c;
    const std::size_t channelsStart = 86 + kSevenCharacterRecord;
    const std::size_t channelsEnd = 80 + section;  // section starts after its length field
    const uint64_t written = oddData ? 6 + 3 * 10 : 6 + 3 * 8;  // runs of 2 pack to 2 bytes
    EXPECT_EQ(channelsEnd - channelsStart, written);
    // The merged image follows right after: compression 1.
    EXPECT_EQ(BigEndianAt(bytes, channelsEnd, 2), 1u);

    const ReadDocument psd = ReadWithPsdTools(path);
    ASSERT_TRUE(psd.ok) << psd.error;
    ASSERT_EQ(psd.layers.size(), 1u);
    EXPECT_TRUE(SamePixels(psd.layers[0], strip));
    EXPECT_EQ(psd.mergedMin, 255);
  }
}

TEST(PsdLayers, PremultipliedAndOpaquePixelsAreWrittenAsStraightAlpha) {
  ScratchFolder folder;
  const std::string path = folder.file("alpha.psd");
  RawPicture premultiplied;
  premultiplied.width = 3;
  premultiplied.height = 1;
  premultiplied.alpha = PsdAlpha::Premultiplied;
  premultiplied.pixels = {0x80402010, 0x00000000, 0xFFC08040};
  RawPicture opaque = MakePicture(5, 4, 5);  // its alpha bytes vary but mean nothing
  opaque.alpha = PsdAlpha::Opaque;
  PsdWriter writer;
  ASSERT_TRUE(writer.open(path, 10, 10, 2));
  ASSERT_TRUE(writer.addLayer(premultiplied.view(), 0, 0));
  ASSERT_TRUE(writer.addLayer(opaque.view(), 1, 1));
  ASSERT_TRUE(writer.finish(Flat(10, 10).view()));

  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  ASSERT_EQ(psd.layers.size(), 2u);
  EXPECT_EQ(psd.layers[0].rgba, (std::vector<uint8_t>{0x80, 0x40, 0x20, 0x80,  //
                                                      0, 0, 0, 0,              //
                                                      0xC0, 0x80, 0x40, 0xFF}));
  EXPECT_TRUE(SamePixels(psd.layers[1], opaque));
}

// Pictures as the renderer hands them over: premultiplied Argb32 items and
// opaque Rgb32 ones, drawn with the picture helpers.
TEST(PsdLayers, BitmapsAreWrittenWithStraightAlphaAtTheirPlaces) {
  ScratchFolder folder;
  const std::string path = folder.file("bitmaps.psd");
  Picture item = Bitmap::Create(40, 30, PixelFormat::Argb32);
  ASSERT_TRUE(item);
  Fill(*item, 0x80FF8040);                         // half-transparent orange
  FillRect(*item, 10, 5, 20, 10, 0xFF2050A0);      // opaque blue patch
  FillRect(*item, 0, 29, 40, 1, 0x00000000);       // clear bottom row
  Picture photo = Bitmap::Create(25, 15, PixelFormat::Rgb32);
  ASSERT_TRUE(photo);
  Fill(*photo, 0xFF336699);
  FillRect(*photo, 0, 0, 5, 15, 0xFFEEDDCC);
  PsdWriter writer;
  ASSERT_TRUE(writer.open(path, 120, 80, 2));
  ASSERT_TRUE(writer.addLayer(*item, -10, 60));
  ASSERT_TRUE(writer.addLayer(*photo, 100, -3));
  ASSERT_TRUE(writer.finish(Flat(120, 80).view()));

  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  ASSERT_EQ(psd.layers.size(), 2u);
  ExpectRectangle(psd.layers[0], -10, 60, 30, 90);
  ExpectRectangle(psd.layers[1], 100, -3, 125, 12);
  auto rgba = [](const testing::ReadLayer& layer, int width, int x, int y) {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 4;
    return std::vector<int>{layer.rgba.at(i), layer.rgba.at(i + 1), layer.rgba.at(i + 2),
                            layer.rgba.at(i + 3)};
  };
  // Premultiplying and back may move a colour by one step.
  const auto orange = rgba(psd.layers[0], 40, 2, 2);
  EXPECT_EQ(orange[3], 0x80);
  EXPECT_NEAR(orange[0], 0xFF, 1);
  EXPECT_NEAR(orange[1], 0x80, 1);
  EXPECT_NEAR(orange[2], 0x40, 1);
  EXPECT_EQ(rgba(psd.layers[0], 40, 15, 8), (std::vector<int>{0x20, 0x50, 0xA0, 0xFF}));
  EXPECT_EQ(rgba(psd.layers[0], 40, 7, 29)[3], 0);
  EXPECT_EQ(rgba(psd.layers[1], 25, 10, 10), (std::vector<int>{0x33, 0x66, 0x99, 0xFF}));
  EXPECT_EQ(rgba(psd.layers[1], 25, 4, 14), (std::vector<int>{0xEE, 0xDD, 0xCC, 0xFF}));
}

TEST(PsdLayers, AnnouncedLayersThatAreNeverAddedStayEmptyAndReadable) {
  ScratchFolder folder;
  const std::string path = folder.file("short.psd");
  const RawPicture item = MakePicture(12, 9, 4);
  PsdWriter writer;
  ASSERT_TRUE(writer.open(path, 50, 40, 3));
  ASSERT_TRUE(writer.addLayer(item.view(), 3, 4));
  EXPECT_EQ(writer.layersAdded(), 1);
  ASSERT_TRUE(writer.finish(Flat(50, 40).view()));

  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  ASSERT_EQ(psd.layers.size(), 3u);
  EXPECT_TRUE(SamePixels(psd.layers[0], item));
  ExpectRectangle(psd.layers[1], 0, 0, 0, 0);
  ExpectRectangle(psd.layers[2], 0, 0, 0, 0);
  EXPECT_EQ(psd.layers[2].name, "Layer 3");
  EXPECT_EQ(psd.mergedMin, 255);
}

TEST(PsdLayers, DocumentWithoutLayersHasOnlyTheMergedImage) {
  ScratchFolder folder;
  const std::string path = folder.file("empty.psd");
  PsdWriter writer;
  ASSERT_TRUE(writer.open(path, 7, 5, 0));
  ASSERT_TRUE(writer.finish(Flat(7, 5).view()));
  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  EXPECT_EQ(psd.layers.size(), 0u);
  EXPECT_EQ(psd.width, 7);
  EXPECT_EQ(psd.mergedMin, 255);
}

TEST(PsdLayers, RejectsSizesTheFormatCannotHold) {
  ScratchFolder folder;
  PsdWriter writer;
  EXPECT_FALSE(writer.open(folder.file("a.psd"), 0, 10, 1));
  EXPECT_FALSE(writer.open(folder.file("a.psd"), 10, -1, 1));
  EXPECT_FALSE(writer.open(folder.file("a.psd"), 300001, 10, 1));
  EXPECT_FALSE(writer.open(folder.file("a.psd"), 10, 10, 32768));
  EXPECT_FALSE(writer.openWithColour(folder.file("a.psd"), 10, 10, 32767, 0xFFFFFFFF));
  EXPECT_TRUE(folder.entries().empty());
}

// Wider or taller than 30,000 px: version 2 with 8-byte lengths and 4-byte
// row counts, which the reader must take just like version 1.
TEST(PsdLargeDocument, CanvasOverThirtyThousandPixelsIsWrittenAsVersionTwo) {
  struct Case { int32_t width, height; };
  for (const Case canvas : {Case{30001, 2}, Case{3, 30001}}) {
    SCOPED_TRACE(std::to_string(canvas.width) + "x" + std::to_string(canvas.height));
    ScratchFolder folder;
    const std::string path = folder.file("large.psd");
    const RawPicture first = MakePicture(20, 3, 21);
    const RawPicture second = MakePicture(9, 6, 22);
    PsdWriter writer;
    ASSERT_TRUE(writer.openWithColour(path, canvas.width, canvas.height, 2, 0xFF102030));
    EXPECT_TRUE(writer.isLargeDocument());
    ASSERT_TRUE(writer.addLayer(first.view(), -4, -1));
    ASSERT_TRUE(writer.addLayer(second.view(), canvas.width - 5, canvas.height - 2));
    ASSERT_TRUE(writer.finish(Flat(canvas.width, canvas.height, 0xFF405060).view()));

    const ReadDocument psd = ReadWithPsdTools(path);
    ASSERT_TRUE(psd.ok) << psd.error;
    EXPECT_EQ(psd.version, 2);
    EXPECT_EQ(psd.width, canvas.width);
    EXPECT_EQ(psd.height, canvas.height);
    ASSERT_EQ(psd.layers.size(), 3u);
    EXPECT_EQ(psd.layers[1].name, "Layer 2");
    ExpectRectangle(psd.layers[0], 0, 0, canvas.width, canvas.height);
    EXPECT_EQ(psd.layers[0].rgba.at(0), 0x10);
    EXPECT_EQ(psd.layers[0].rgba.at(psd.layers[0].rgba.size() - 2), 0x30);
    ExpectRectangle(psd.layers[1], -4, -1, 16, 2);
    ExpectRectangle(psd.layers[2], canvas.width - 5, canvas.height - 2, canvas.width + 4,
                    canvas.height + 4);
    EXPECT_TRUE(SamePixels(psd.layers[1], first));
    EXPECT_TRUE(SamePixels(psd.layers[2], second));
    // The merged image's row counts are 4 bytes in version 2.
    EXPECT_EQ(psd.mergedRed, 0x40);
    EXPECT_EQ(psd.mergedMin, 0x40);
    EXPECT_EQ(psd.mergedMax, 0x60);
  }
}

TEST(PsdLargeDocument, LayerWiderThanVersionOneAllowsIsCutToTheCanvas) {
  ScratchFolder folder;
  const std::string path = folder.file("wide-layer.psd");
  const RawPicture banner = MakePicture(30010, 2, 31);
  PsdWriter writer;
  ASSERT_TRUE(writer.open(path, 100, 5, 1));
  ASSERT_FALSE(writer.isLargeDocument());
  ASSERT_TRUE(writer.addLayer(banner.view(), -7, 1));
  ASSERT_TRUE(writer.finish(Flat(100, 5).view()));

  const ReadDocument psd = ReadWithPsdTools(path);
  ASSERT_TRUE(psd.ok) << psd.error;
  ASSERT_EQ(psd.layers.size(), 1u);
  ExpectRectangle(psd.layers[0], 0, 1, 100, 3);
  RawPicture visible;
  visible.width = 100;
  visible.height = 2;
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 100; ++x) visible.pixels.push_back(banner.at(x + 7, y));
  }
  EXPECT_TRUE(SamePixels(psd.layers[0], visible));
}

// Saving never leaves a half-written document or loses the previous one.
class PsdReplacement : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = folder_.file("collage.psd");
    previous_ = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
    testing::WriteBytes(path_, previous_);
  }
  ScratchFolder folder_;
  std::string path_;
  std::vector<uint8_t> previous_;
};

TEST_F(PsdReplacement, UnfinishedDocumentLeavesThePreviousFileAndNoTemporaryFile) {
  const RawPicture item = MakePicture(30, 30, 9);
  {
    PsdWriter writer;
    ASSERT_TRUE(writer.open(path_, 64, 64, 3));
    ASSERT_TRUE(writer.addLayer(item.view(), 0, 0));
    // Written beside the target, unnamed where the file system allows.
    EXPECT_LE(folder_.entries().size(), 2u);
    EXPECT_EQ(ReadBytes(path_), previous_);
  }  // destroyed without finish, as when a render is cancelled
  EXPECT_EQ(ReadBytes(path_), previous_);
  EXPECT_EQ(folder_.entries(), std::vector<std::string>{"collage.psd"});

  PsdWriter writer;
  ASSERT_TRUE(writer.open(path_, 64, 64, 1));
  writer.abandon();
  EXPECT_EQ(ReadBytes(path_), previous_);
  EXPECT_EQ(folder_.entries(), std::vector<std::string>{"collage.psd"});
}

TEST_F(PsdReplacement, FinishedDocumentReplacesThePreviousFile) {
  PsdWriter writer;
  ASSERT_TRUE(writer.open(path_, 8, 8, 1));
  ASSERT_TRUE(writer.addLayer(MakePicture(4, 4, 1).view(), 2, 2));
  ASSERT_TRUE(writer.finish(Flat(8, 8).view()));
  EXPECT_EQ(folder_.entries(), std::vector<std::string>{"collage.psd"});
  const ReadDocument psd = ReadWithPsdTools(path_);
  ASSERT_TRUE(psd.ok) << psd.error;
  EXPECT_EQ(psd.layers.size(), 1u);
}

TEST_F(PsdReplacement, FolderInTheWayIsAFailureAndIsLeftAlone) {
  const std::string blocked = folder_.file("blocked.psd");
  ASSERT_TRUE(std::filesystem::create_directory(blocked));
  testing::WriteBytes(blocked + "/inside", previous_);
  PsdWriter writer;
  const Status opened = writer.open(blocked, 8, 8, 1);
  EXPECT_EQ(opened.reason(), "Is a directory") << "found before any layer is drawn";
  EXPECT_FALSE(writer.addLayer(MakePicture(4, 4, 1).view(), 0, 0));
  EXPECT_FALSE(writer.finish(Flat(8, 8).view()));
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_EQ(ReadBytes(blocked + "/inside"), previous_);
  EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"blocked.psd", "collage.psd"}));
}

TEST_F(PsdReplacement, MissingFolderFailsAtOpen) {
  PsdWriter writer;
  EXPECT_FALSE(writer.open(folder_.file("no/such/folder/x.psd"), 8, 8, 1));
  EXPECT_FALSE(writer.addLayer(MakePicture(2, 2, 1).view(), 0, 0));
  EXPECT_FALSE(writer.finish(Flat(8, 8).view()));
}

// A full disk, imitated with the file-size limit: writes past it fail.
TEST_F(PsdReplacement, FullDiskIsAFailureAndKeepsThePreviousFile) {
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);

  const RawPicture big = MakePicture(400, 300, 3);  // about 480 KB of noisy channels
  PsdWriter writer;
  const bool opened = static_cast<bool>(writer.open(path_, 400, 300, 2));
  const bool added = opened && writer.addLayer(big.view(), 0, 0) && writer.addLayer(big.view(), 1, 1);
  const Status finished = writer.finish(Flat(400, 300).view());

  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_TRUE(opened);
  EXPECT_FALSE(added && finished);
  EXPECT_FALSE(finished);
  // The system's own reason reaches the caller.
  EXPECT_EQ(finished.reason(), "File too large");
  EXPECT_EQ(ReadBytes(path_), previous_);
  writer.abandon();
  EXPECT_EQ(folder_.entries(), std::vector<std::string>{"collage.psd"});
}

}  // namespace
}  // namespace vornida
