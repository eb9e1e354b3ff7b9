// The collage-parameter reader: value forms, the order and effect of every
// attribute, and the shape makers built from real picture files.
#include "engine/collage_params.h"

#include <gtest/gtest.h>

#include <numbers>

namespace vornida {
namespace {

const std::string kData = std::string(VORNIDA_TEST_DATA) + "/engine";

TEST(ParamFormsTest, Colours) {
  EXPECT_EQ(ParamColour("0x00FF00"), 0xFF00FF00u);
  EXPECT_EQ(ParamColour("#00ff00"), 0xFF00FF00u);
  EXPECT_EQ(ParamColour("65280"), 0xFF00FF00u);
  EXPECT_EQ(ParamColour("ff0000"), 0xFF000000u);  // decimal reading of "ff..." is 0
  EXPECT_EQ(ParamColour("#12345678"), 0xFF123456u);  // a fourth pair is ignored
  EXPECT_EQ(ParamColour("#1234"), 0xFF000000u);
  EXPECT_EQ(ParamColour("0X0000FF"), 0xFF0000FFu);  // lower-cased first
  EXPECT_EQ(ParamColour(""), 0xFF000000u);
}

TEST(ParamFormsTest, NumbersBooleansLists) {
  EXPECT_EQ(ParamInteger("  -42px"), -42);
  EXPECT_EQ(ParamInteger("abc"), 0);
  EXPECT_DOUBLE_EQ(ParamReal("1.25e1"), 12.5);
  EXPECT_DOUBLE_EQ(ParamReal("nan"), 0.0);
  EXPECT_DOUBLE_EQ(ParamReal("inf"), 0.0);
  EXPECT_TRUE(ParamBoolean("TRUE"));
  EXPECT_TRUE(ParamBoolean("1"));
  EXPECT_FALSE(ParamBoolean("True"));
  EXPECT_EQ(ParamList("800,600"), (std::vector<std::string>{"800", "600"}));
  EXPECT_EQ(ParamList("800,600,"), (std::vector<std::string>{"800", "600"}));
  EXPECT_EQ(ParamList("800,,"), (std::vector<std::string>{"800", ""}));
  EXPECT_TRUE(ParamList("").empty());
}

// A seed names the layout to make again; anything but a whole number that
// fits 32 bits is ignored, as a reader that does not know it would.
TEST(ParamReaderTest, SeedNamesTheLayoutOrIsIgnored) {
  const auto seedOf = [](const std::string& value) {
    CCollage c;
    EXPECT_TRUE(ReadCollageParams("<Vornida shapeType='Circle' collageSize='400,300'" + value + "/>", c, "/prog"))
        << value;
    return c.paramSeed;
  };
  EXPECT_EQ(seedOf(" seed='1022226848'"), std::optional<uint32_t>(1022226848u));
  EXPECT_EQ(seedOf(" seed='0'"), std::optional<uint32_t>(0u));
  EXPECT_EQ(seedOf(" seed='4294967295'"), std::optional<uint32_t>(4294967295u));
  for (const char* ignored : {"", " seed=''", " seed='-1'", " seed='4294967296'", " seed='12x'", " seed=' 7'"})
    EXPECT_EQ(seedOf(ignored), std::nullopt) << ignored;
}

TEST(ParamReaderTest, ReadsEveryAttribute) {
  CCollage c;
  const std::string text =
      "<Vornida shapeType='Rectangle' collageSize='1200,800' aspectRatio='1.5' itemBoundingBoxWidth='250' "
      "numPhotos='-2' spacing='1.1' borderSize='0.05' samePhotoSize='true' avgAngle='15' maxAngle='20' "
      "backgroundTransparent='0' backgroundColor='#102030' backgroundType='Image' backgroundFile='bg/x.jpg' "
      "offsetX='0.02' offsetY='-0.01' noShadow='1' borderColor='0xABCDEF'/>";
  ASSERT_TRUE(ReadCollageParams(text, c, "/prog"));
  ASSERT_NE(dynamic_cast<MakeShapeRectangle*>(c.shape.get()), nullptr);
  EXPECT_EQ(c.canvasWidth, 1200);
  EXPECT_EQ(c.canvasHeight, 800);
  EXPECT_DOUBLE_EQ(c.aspectRatio, 1.5);
  EXPECT_EQ(c.itemBoundingBoxWidth, 250);
  EXPECT_EQ(c.numPhotos, -2);
  EXPECT_DOUBLE_EQ(c.spacing, 1.1);
  EXPECT_DOUBLE_EQ(c.borderSize, 0.05);
  EXPECT_TRUE(c.samePhotoSize);
  EXPECT_DOUBLE_EQ(c.avgAngle, 0.2617993877991494);
  EXPECT_DOUBLE_EQ(c.maxAngle, 20 / 180.0 * std::numbers::pi);
  EXPECT_DOUBLE_EQ(c.angleSpread, c.maxAngle);
  EXPECT_EQ(c.backgroundColor, 0xFF102030u);
  EXPECT_EQ(c.backgroundFile, "bg/x.jpg");  // taken unchanged
  EXPECT_DOUBLE_EQ(c.offsetX, 0.02);
  EXPECT_DOUBLE_EQ(c.offsetY, -0.01);
  EXPECT_TRUE(c.noShadow);
  EXPECT_EQ(c.borderColor, 0xFFABCDEFu);
}

TEST(ParamReaderTest, TransparentBackgroundAndNonImageBackgroundType) {
  CCollage c;
  ASSERT_TRUE(ReadCollageParams("<Vornida shapeType='Circle' collageSize='0,0' backgroundTransparent='1' "
                                "backgroundColor='#ff0000' backgroundType='Color' backgroundFile='x.png'/>",
                                c, ""));
  EXPECT_EQ(c.backgroundColor, 0u);
  EXPECT_EQ(c.backgroundFile, "");
  EXPECT_NE(dynamic_cast<MakeShapeCircle*>(c.shape.get()), nullptr);
  // Missing attributes read as 0, false or opaque black.
  EXPECT_EQ(c.borderSize, 0);
  EXPECT_EQ(c.borderColor, 0xFF000000u);
  EXPECT_FALSE(c.samePhotoSize);
}

TEST(ParamReaderTest, FailuresAndUnknownShapes) {
  CCollage c;
  EXPECT_FALSE(ReadCollageParams("<Vornida collageSize='100,100'", c, ""));  // does not parse
  EXPECT_FALSE(ReadCollageParams("<Vornida shapeType='Circle' collageSize='800'/>", c, ""));
  EXPECT_NE(c.shape, nullptr);  // built before the size was read
  CCollage d;
  d.shape = std::make_unique<MakeShapeRectangle>();
  EXPECT_TRUE(ReadCollageParams("<Vornida shapeType='circle' collageSize='1,2'/>", d, ""));
  EXPECT_EQ(d.shape, nullptr);  // names are exact-case
  // A root other than Vornida: every attribute reads empty, so no shape and
  // no canvas size.
  CCollage e;
  EXPECT_FALSE(ReadCollageParams("<Other shapeType='Circle' collageSize='1,2'/>", e, ""));
  EXPECT_EQ(e.shape, nullptr);
}

TEST(ParamReaderTest, ImageShapeFromAnOpaquePicture) {
  CCollage c;
  ASSERT_TRUE(ReadCollageParams(
      "<Vornida shapeType='Image' shape='" + kData + "/triangle_rgb.png' collageSize='0,0'/>", c, "/nowhere"));
  auto* shape = dynamic_cast<MakeShapeCustom*>(c.shape.get());
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->maskWidth, 120);
  EXPECT_EQ(shape->maskHeight, 90);
  EXPECT_TRUE(shape->Inside(60, 60));
  EXPECT_FALSE(shape->Inside(5, 5));
  EXPECT_NEAR(shape->insideCount, 100 * 75 / 2, 200);
}

TEST(ParamReaderTest, ImageShapeKeepsTransparencyAsOutsideAndResolvesRelativePaths) {
  CCollage c;
  ASSERT_TRUE(ReadCollageParams("<Vornida shapeType='Image' shape='square_rgba.png' collageSize='0,0'/>", c, kData));
  auto* shape = dynamic_cast<MakeShapeCustom*>(c.shape.get());
  ASSERT_NE(shape, nullptr);
  // The black square and the dark red one are the shape; the ground is not.
  EXPECT_EQ(shape->insideCount, 40 * 40 + 20 * 20);
  EXPECT_TRUE(shape->Inside(20, 30));
  EXPECT_TRUE(shape->Inside(75, 15));
  EXPECT_FALSE(shape->Inside(5, 5));
}

TEST(ParamReaderTest, TextShapeIsCroppedToItsContent) {
  CCollage c;
  ASSERT_TRUE(ReadCollageParams(
      "<Vornida shapeType='Text' shape='" + kData + "/text_shape.png' collageSize='0,0'/>", c, ""));
  auto* shape = dynamic_cast<MakeShapeCustom*>(c.shape.get());
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->maskWidth, 180);
  EXPECT_EQ(shape->maskHeight, 60);
  EXPECT_EQ(shape->insideCount, 40 * 60 + 20 * 60 + 80 * 20);
  EXPECT_TRUE(shape->Inside(0, 0));
}

TEST(ParamReaderTest, MissingOrEmptyShapePictureIsRefusedByName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/no/such/file.png", "The shape picture /no/such/file.png is missing or cannot be read."},
      {"empty_light.png", "The shape picture empty_light.png has nothing to fill"},
  };
  for (const auto& [file, message] : cases) {
    CCollage c;
    const ParamReadResult read = ReadCollageParams(
        std::string("<Vornida shapeType='Image' shape='") + file + "' collageSize='0,0' numPhotos='5'/>", c, kData);
    EXPECT_FALSE(read);
    EXPECT_EQ(c.shape, nullptr);
    EXPECT_EQ(FillEngineText(read.problem, nullptr).rfind(message, 0), 0u) << FillEngineText(read.problem, nullptr);
    EXPECT_EQ(c.problem.key, read.problem.key);
  }
}

TEST(ParamReaderTest, ValuesOutsideTheirRangesAreRefusedByName) {
  const std::pair<const char*, const char*> refused[] = {
      {"borderSize='1e9'", "The setting borderSize is 1e9, but it must be from 0 to 0.45."},
      {"borderSize='1e308'", "The setting borderSize is 1e308"},
      {"borderSize='1e400'", "The setting borderSize is 1e400"},  // not even a finite number
      {"itemBoundingBoxWidth='1000000'", "The setting itemBoundingBoxWidth is 1000000, but it must be from 1 to 30000."},
      {"itemBoundingBoxWidth='2147483647'", "The setting itemBoundingBoxWidth is 2147483647"},
      {"itemBoundingBoxWidth='30001'", "The setting itemBoundingBoxWidth is 30001"},
      {"numPhotos='1000000000'", "The setting numPhotos is 1000000000, but it must be from 1 to 1000000."},
      {"numPhotos='-3'", "The setting numPhotos is -3"},
      {"spacing='1e-308'", "The setting spacing is 1e-308, but it must be from 0.1 to 10."},
      {"spacing='nan'", "The setting spacing is nan"},
      {"maxAngle='720'", "The setting maxAngle is 720"},
      {"avgAngle='-181'", "The setting avgAngle is -181"},
      {"offsetX='2'", "The setting offsetX is 2"},
      {"aspectRatio='1000'", "The setting aspectRatio is 1000"},
  };
  for (const auto& [attribute, message] : refused) {
    CCollage c;
    const ParamReadResult read =
        ReadCollageParams(std::string("<Vornida shapeType='Rectangle' collageSize='800,600' ") + attribute + "/>", c, "");
    EXPECT_FALSE(read) << attribute;
    EXPECT_EQ(FillEngineText(read.problem, nullptr).rfind(message, 0), 0u)
        << attribute << ": " << FillEngineText(read.problem, nullptr);
  }
  CCollage canvas;
  const ParamReadResult huge =
      ReadCollageParams("<Vornida shapeType='Rectangle' collageSize='2147483647,2147483647'/>", canvas, "");
  EXPECT_EQ(FillEngineText(huge.problem, nullptr),
            "The setting collageSize is 2147483647, but it must be from 1 to 100000.");
  // The movie's own words, by key, when its table has them.
  const auto movie = [](const std::string& key) {
    return key == "Setting_out_of_range" ? std::string("{name} = {value} ({min}..{max}, {unknown})") : std::string();
  };
  EXPECT_EQ(FillEngineText(huge.problem, movie), "collageSize = 2147483647 (1..100000, {unknown})");

  // The edges of the ranges and the special values are taken.
  CCollage edges;
  EXPECT_TRUE(ReadCollageParams("<Vornida shapeType='Rectangle' collageSize='100000,0' borderSize='0.45' "
                                "itemBoundingBoxWidth='-7' numPhotos='-2' spacing='0.1' maxAngle='180' "
                                "avgAngle='-180' offsetX='-1' aspectRatio='-1'/>",
                                edges, ""));
  EXPECT_EQ(edges.canvasWidth, 100000);
  EXPECT_EQ(edges.itemBoundingBoxWidth, -7);
  EXPECT_EQ(edges.numPhotos, -2);
}

TEST(ParamReaderTest, TextShapeKeepsItsTextAndFont) {
  CCollage c;
  ASSERT_TRUE(ReadCollageParams("<Vornida shapeType='Text' shape='" + kData +
                                    "/text_shape.png' collageSize='0,0' shapeText='SUN &amp; SEA&#10;2' "
                                    "shapeFont='DejaVu Serif'/>",
                                c, ""));
  EXPECT_EQ(c.shapeText, "SUN & SEA\n2");
  EXPECT_EQ(c.shapeFont, "DejaVu Serif");
  CCollage longer;
  EXPECT_FALSE(ReadCollageParams("<Vornida shapeType='Circle' collageSize='0,0' shapeText='" + std::string(201, 'x') +
                                     "'/>",
                                 longer, ""));
  EXPECT_EQ(longer.problem.key, "Setting_too_long");
}

}  // namespace
}  // namespace vornida
