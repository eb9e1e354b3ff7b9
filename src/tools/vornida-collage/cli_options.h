// The command line of vornida-collage:
//
//   vornida-collage [OPTIONS] PHOTO|FOLDER... -o OUTPUT.png|.jpg|.bmp|.psd
//
// ParseCommandLine checks every option and value and reports the first
// problem as one line; nothing is touched on disk here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/vornida-collage/collage_parameters.h"

namespace vornida::collage_cli {

enum class ShapeKind { Rectangle, Circle, Image, Text };
enum class BackgroundKind { Colour, Transparent, Image };

enum class OutputFormat { Png, Jpeg, Bmp, Psd };

struct CommandLine {
  std::vector<std::string> inputs;  // photos and folders, as given
  std::string output;
  OutputFormat format = OutputFormat::Png;

  std::optional<ShapeKind> shape;
  std::string shapeArgument;  // the picture file or the text

  std::optional<std::pair<int, int>> size;
  std::optional<double> aspect;
  std::optional<int> count;  // N > 0, -1 every photo once, -2 as many as fit
  std::optional<int> itemSize;
  bool sameSize = false;        // --same-size (the default anyway)
  bool differentSizes = false;  // --different-sizes
  std::optional<double> spacing;
  std::optional<double> border;
  std::optional<std::string> borderColour;  // "#rrggbb"
  std::optional<int> angle;
  std::optional<int> maxAngle;
  bool noShadow = false;
  std::optional<std::pair<double, double>> shadowOffset;
  std::optional<BackgroundKind> background;
  std::string backgroundArgument;  // "#rrggbb" or the picture file
  std::optional<int> jpegQuality;  // 1..100, JPEG output only

  std::string paramsFile;
  std::string projectFile;
  std::string saveProject;
  std::string preview;
  std::optional<std::uint32_t> seed;
  bool demo = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

struct ParseOutcome {
  bool ok = false;
  std::string error;  // one line, without the program name
  CommandLine line;
};

// `args` without the program name.
ParseOutcome ParseCommandLine(const std::vector<std::string>& args);

// Writes the options onto `params`; files are taken as given (the caller
// makes them absolute first). The text shape's picture path is set by the
// caller once the picture exists.
void ApplyToParameters(const CommandLine& line, CollageParameters& params);

// The --help text.
std::string UsageText();

}  // namespace vornida::collage_cli
