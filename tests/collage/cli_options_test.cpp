// The command line of vornida-collage: what it refuses, and what the
// collage-parameter text it builds means to the engine's own reader.
#include "tools/vornida-collage/cli_options.h"

#include <gtest/gtest.h>

#include <numbers>

#include "engine/collage_params.h"
#include "engine/shape.h"

namespace vornida::collage_cli {
namespace {

ParseOutcome Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

// The parameter text for these arguments, read by the engine into a collage.
void ReadByEngine(std::vector<std::string> args, CCollage& collage, std::string* text = nullptr) {
  const ParseOutcome outcome = Parse(std::move(args));
  ASSERT_TRUE(outcome.ok) << outcome.error;
  CollageParameters params;
  ApplyToParameters(outcome.line, params);
  if (text) *text = params.Compose();
  ASSERT_TRUE(ReadCollageParams(params.Compose(), collage, "/nonexistent"));
}

TEST(CommandLineRefusals, EachProblemGetsOneLineNamingIt) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--colour", "red", "a.jpg", "-o", "x.png"}, "unknown option --colour (see --help)"},
      {{"a.jpg", "-o"}, "-o needs a value"},
      {{"a.jpg", "-o", "x.png", "--size"}, "--size needs a value"},
      {{"--size", "800", "a.jpg", "-o", "x.png"}, "--size: '800' is not WIDTHxHEIGHT"},
      {{"--size", "0x600", "a.jpg", "-o", "x.png"}, "--size: '0x600' is not WIDTHxHEIGHT"},
      {{"--size=800x600x3", "a.jpg", "-o", "x.png"}, "--size: '800x600x3'"},
      {{"--count", "some", "a.jpg", "-o", "x.png"}, "--count: 'some' is not a number of items"},
      {{"--count", "0", "a.jpg", "-o", "x.png"}, "--count: '0'"},
      {{"--spacing", "abc", "a.jpg", "-o", "x.png"}, "--spacing: 'abc' is not a number from 0.1 to 10"},
      {{"--border", "0.6", "a.jpg", "-o", "x.png"}, "--border: '0.6'"},
      {{"--angle", "12.5", "a.jpg", "-o", "x.png"}, "--angle: '12.5' is not a whole number from -180 to 180"},
      {{"--max-angle", "-1", "a.jpg", "-o", "x.png"}, "--max-angle: '-1'"},
      {{"--border-color", "#12345", "a.jpg", "-o", "x.png"}, "--border-color: '#12345' is not a colour"},
      {{"--background", "plaid", "a.jpg", "-o", "x.png"}, "--background: 'plaid' is not a colour"},
      {{"--shape", "star", "a.jpg", "-o", "x.png"}, "--shape: 'star' is not rectangle, circle, image:FILE or text:TEXT"},
      {{"--shape", "text:  ", "a.jpg", "-o", "x.png"}, "--shape text: needs some text"},
      {{"--shape", "image:", "a.jpg", "-o", "x.png"}, "--shape image: needs a picture file"},
      {{"--shadow-offset", "0.1", "a.jpg", "-o", "x.png"}, "--shadow-offset: '0.1' is not X,Y"},
      {{"--seed", "-4", "a.jpg", "-o", "x.png"}, "--seed: '-4'"},
      {{"--aspect", "16:0", "a.jpg", "-o", "x.png"}, "--aspect: '16:0'"},
      {{"--no-shadow=yes", "a.jpg", "-o", "x.png"}, "--no-shadow takes no value"},
      {{"a.jpg"}, "no output file given"},
      {{"a.jpg", "-o", "x.gif"}, "x.gif: the output must end in .png, .jpg, .bmp or .psd"},
      {{"a.jpg", "-o", "dir.png/x"}, "the output must end in"},
      {{"-o", "x.png"}, "no photos given"},
      {{"--demo", "a.jpg", "-o", "x.png"}, "--demo makes its collage from the sample photos"},
      {{"--aspect", "2", "--size", "300x300", "a.jpg", "-o", "x.png"},
       "--aspect cannot be used with --size: --size fixes the canvas, --aspect shapes an automatic one"},
      {{"--same-size", "--different-sizes", "a.jpg", "-o", "x.png"}, "--same-size and --different-sizes"},
      {{"--item-size", "30001", "a.jpg", "-o", "x.png"}, "--item-size: '30001' is not a whole number from 1 to 30000"},
      {{"--size", "100001x5", "a.jpg", "-o", "x.png"}, "(1 to 100000 each)"},
      {{"--count", "1000001", "a.jpg", "-o", "x.png"}, "(1 to 1000000)"},
  };
  for (const auto& [args, message] : cases) {
    const ParseOutcome outcome = Parse(args);
    EXPECT_FALSE(outcome.ok) << message;
    EXPECT_NE(outcome.error.find(message), std::string::npos) << "got: " << outcome.error;
    EXPECT_EQ(outcome.error.find('\n'), std::string::npos) << outcome.error;
  }
}

TEST(CommandLineForms, ValuesInlineOrSeparateAndPhotosAfterDoubleDash) {
  const ParseOutcome a = Parse({"--size=640x480", "--count", "fill", "-o", "out.png", "p.jpg", "--", "-odd.jpg", "-o"});
  ASSERT_TRUE(a.ok) << a.error;
  EXPECT_EQ(a.line.size, std::make_pair(640, 480));
  EXPECT_EQ(a.line.count, -2);
  EXPECT_EQ(a.line.output, "out.png");
  // After "--" everything is a photo, also "-o".
  EXPECT_EQ(a.line.inputs, (std::vector<std::string>{"p.jpg", "-odd.jpg", "-o"}));

  const ParseOutcome b = Parse({"--output", "c.JPEG", "--aspect", "16:9", "--seed", "4294967295", "x"});
  ASSERT_TRUE(b.ok) << b.error;
  EXPECT_EQ(b.line.format, OutputFormat::Jpeg);
  EXPECT_NEAR(*b.line.aspect, 16.0 / 9.0, 1e-12);
  EXPECT_EQ(b.line.seed, 4294967295u);

  const ParseOutcome demo = Parse({"--demo"});
  ASSERT_TRUE(demo.ok) << demo.error;
  EXPECT_EQ(demo.line.output, "vornida-demo.png");
  EXPECT_FALSE(Parse({"--help", "--bogus"}).ok);  // every option is checked before --help acts
  EXPECT_TRUE(Parse({"--version"}).ok);
}

TEST(ParameterText, DefaultsAsTheEngineReadsThem) {
  CCollage collage;
  std::string text;
  ReadByEngine({"a.jpg", "-o", "x.png"}, collage, &text);
  EXPECT_EQ(collage.canvasWidth, 1600);
  EXPECT_EQ(collage.canvasHeight, 1200);
  EXPECT_EQ(collage.numPhotos, -1);
  EXPECT_EQ(collage.itemBoundingBoxWidth, -1);
  EXPECT_DOUBLE_EQ(collage.spacing, 1.0);
  EXPECT_DOUBLE_EQ(collage.borderSize, 0.03);
  EXPECT_EQ(collage.borderColor, 0xFFF2F2F2u);
  EXPECT_EQ(collage.backgroundColor, 0xFFFFFFFFu);
  EXPECT_DOUBLE_EQ(collage.maxAngle, 15 * std::numbers::pi / 180);
  EXPECT_DOUBLE_EQ(collage.avgAngle, 0.0);
  EXPECT_DOUBLE_EQ(collage.offsetX, 0.01);
  EXPECT_DOUBLE_EQ(collage.offsetY, 0.01);
  EXPECT_FALSE(collage.noShadow);
  EXPECT_TRUE(collage.samePhotoSize);  // photos of mixed resolution make items of one size
  EXPECT_TRUE(collage.backgroundFile.empty());
  EXPECT_NE(dynamic_cast<MakeShapeRectangle*>(collage.shape.get()), nullptr);
  // Every attribute is written, in the order the engine reads them; a seed
  // only when one is asked for.
  EXPECT_EQ(text.find(" seed="), std::string::npos);
  std::size_t at = 0;
  for (std::string_view name : kParameterNames) {
    if (name == "seed") continue;
    const auto found = text.find(" " + std::string(name) + "='", at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found;
  }
}

TEST(ParameterText, OptionsReachTheEngine) {
  CCollage collage;
  ReadByEngine({"--shape", "circle", "--size", "800x600", "--count", "fill", "--item-size", "120", "--same-size",
                "--spacing", "0.75", "--border", "0", "--border-color", "red", "--angle", "-20", "--max-angle", "0",
                "--no-shadow", "--shadow-offset", "-0.02,0.05", "--background", "#123", "a.jpg", "-o", "x.png"},
               collage);
  EXPECT_NE(dynamic_cast<MakeShapeCircle*>(collage.shape.get()), nullptr);
  EXPECT_EQ(collage.canvasWidth, 800);
  EXPECT_EQ(collage.canvasHeight, 600);
  EXPECT_EQ(collage.numPhotos, -2);
  EXPECT_EQ(collage.itemBoundingBoxWidth, 120);
  EXPECT_TRUE(collage.samePhotoSize);
  EXPECT_DOUBLE_EQ(collage.spacing, 0.75);
  EXPECT_DOUBLE_EQ(collage.borderSize, 0.0);
  EXPECT_EQ(collage.borderColor, 0xFFFF0000u);
  EXPECT_DOUBLE_EQ(collage.avgAngle, -20 * std::numbers::pi / 180);
  EXPECT_DOUBLE_EQ(collage.maxAngle, 0.0);
  EXPECT_TRUE(collage.noShadow);
  EXPECT_DOUBLE_EQ(collage.offsetX, -0.02);
  EXPECT_DOUBLE_EQ(collage.offsetY, 0.05);
  EXPECT_EQ(collage.backgroundColor, 0xFF112233u);
}

TEST(ParameterText, BackgroundChoices) {
  CCollage transparent;
  ReadByEngine({"--background", "transparent", "a.jpg", "-o", "x.png"}, transparent);
  EXPECT_EQ(transparent.backgroundColor, 0u);

  CCollage pictured;
  ReadByEngine({"--background", "image:/pics/it's paper.jpg", "a.jpg", "-o", "x.png"}, pictured);
  EXPECT_EQ(pictured.backgroundFile, "/pics/it's paper.jpg");

  CCollage hex;
  ReadByEngine({"--background", "0x00FF00", "--count", "7", "a.jpg", "-o", "x.png"}, hex);
  EXPECT_EQ(hex.backgroundColor, 0xFF00FF00u);
  EXPECT_EQ(hex.numPhotos, 7);
}

TEST(ParameterText, AspectAloneAsksForAnAutomaticCanvasGrownFromTheItems) {
  CCollage collage;
  ReadByEngine({"--aspect", "2", "a.jpg", "-o", "x.png"}, collage);
  EXPECT_EQ(collage.canvasWidth, 0);
  EXPECT_EQ(collage.canvasHeight, 0);
  EXPECT_DOUBLE_EQ(collage.aspectRatio, 2.0);
  EXPECT_EQ(collage.itemBoundingBoxWidth, 300);
}

TEST(ParameterText, SameSizeUnlessAskedOtherwiseAndFilesKeepWhatTheySay) {
  CCollage different;
  ReadByEngine({"--different-sizes", "a.jpg", "-o", "x.png"}, different);
  EXPECT_FALSE(different.samePhotoSize);

  // A file that says "false" keeps it; one that says nothing gets the default.
  for (const auto& [file, same] : {std::pair<std::string, bool>{"<Vornida samePhotoSize='false'/>", false},
                                   {"<Vornida samePhotoSize='1'/>", true},
                                   {"<Vornida shapeType='Circle'/>", true}}) {
    CollageParameters params;
    std::string error;
    ASSERT_TRUE(params.Merge(file, error));
    ApplyToParameters(Parse({"a.jpg", "-o", "x.png"}).line, params);
    CCollage collage;
    ASSERT_TRUE(ReadCollageParams(params.Compose(), collage, "/nonexistent"));
    EXPECT_EQ(collage.samePhotoSize, same) << file;
  }
}

TEST(ParameterText, TextShapeCarriesItsTextAndFont) {
  const ParseOutcome outcome = Parse({"--shape", "text:SUN & <sea>", "a.jpg", "-o", "x.png"});
  ASSERT_TRUE(outcome.ok);
  CollageParameters params;
  ApplyToParameters(outcome.line, params);
  EXPECT_EQ(params.Get("shapeType"), "Text");
  EXPECT_EQ(params.Get("shapeText"), "SUN & <sea>");
  EXPECT_EQ(params.Get("shapeFont"), "Sans");
  // Another shape forgets a text that came from a file.
  std::string error;
  ASSERT_TRUE(params.Merge("<Vornida shapeType='Text' shapeText='OLD'/>", error));
  ApplyToParameters(Parse({"--shape", "circle", "a.jpg", "-o", "x.png"}).line, params);
  EXPECT_EQ(params.Get("shapeText"), "");
}

TEST(ParameterText, FileSettingsAreTakenAndOptionsWinOverThem) {
  CollageParameters params;
  std::string error;
  ASSERT_TRUE(params.Merge("<Vornida shapeType='Circle' spacing='0.5' borderColor='#0000ff' future='x'/>", error));
  EXPECT_EQ(params.Get("future"), "");  // unknown attributes are not carried
  const ParseOutcome outcome = Parse({"--spacing", "2", "a.jpg", "-o", "x.png"});
  ApplyToParameters(outcome.line, params);
  CCollage collage;
  ASSERT_TRUE(ReadCollageParams(params.Compose(), collage, "/nonexistent"));
  EXPECT_NE(dynamic_cast<MakeShapeCircle*>(collage.shape.get()), nullptr);
  EXPECT_DOUBLE_EQ(collage.spacing, 2.0);
  EXPECT_EQ(collage.borderColor, 0xFF0000FFu);
  EXPECT_EQ(collage.canvasWidth, 1600);  // not in the file: the default stays

  EXPECT_FALSE(params.Merge("<Vornida shapeType='Circle'", error));
  EXPECT_FALSE(error.empty());
}

TEST(Colours, FormsAndNames) {
  EXPECT_EQ(NormaliseColour("White"), "#ffffff");
  EXPECT_EQ(NormaliseColour("#ABC"), "#aabbcc");
  EXPECT_EQ(NormaliseColour("0X00ff7F"), "#00ff7f");
  EXPECT_EQ(NormaliseColour("ff0000"), std::nullopt);
  EXPECT_EQ(NormaliseColour("#ggg"), std::nullopt);
  EXPECT_EQ(NormaliseColour(""), std::nullopt);
}

}  // namespace
}  // namespace vornida::collage_cli
