#include "tools/vornida-collage/cli_options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

#include "base/text.h"
#include "engine/param_ranges.h"
#include "tools/vornida-collage/text_shape_picture.h"

namespace vornida::collage_cli {
namespace {

std::optional<long long> ReadInteger(std::string_view text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  if (text.starts_with("+")) text.remove_prefix(1);
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::optional<double> ReadReal(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  if (text.starts_with("+")) text.remove_prefix(1);
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string Real(double value) {
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, ptr) : std::string("0");
}

// Splits "a<sep>b" into two non-empty parts.
std::optional<std::pair<std::string_view, std::string_view>> SplitPair(std::string_view text, std::string_view seps) {
  const auto at = text.find_first_of(seps);
  if (at == std::string_view::npos || at == 0 || at + 1 >= text.size()) return std::nullopt;
  return std::make_pair(text.substr(0, at), text.substr(at + 1));
}

// Takes "kind:rest" when text starts with one of the prefixes (any case).
bool TakePrefix(std::string_view text, std::string_view prefix, std::string& rest) {
  if (text.size() < prefix.size() || !EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix)) return false;
  rest = std::string(text.substr(prefix.size()));
  return true;
}

using ValueReader = std::function<std::string(CommandLine&, const std::string& value)>;

std::string Quoted(const std::string& value) { return "'" + value + "'"; }

std::string ReadShape(CommandLine& line, const std::string& value) {
  std::string rest;
  if (EqualsIgnoreAsciiCase(value, "rectangle")) {
    line.shape = ShapeKind::Rectangle;
  } else if (EqualsIgnoreAsciiCase(value, "circle")) {
    line.shape = ShapeKind::Circle;
  } else if (TakePrefix(value, "image:", rest)) {
    if (rest.empty()) return "--shape image: needs a picture file, e.g. image:heart.png";
    line.shape = ShapeKind::Image;
    line.shapeArgument = rest;
  } else if (TakePrefix(value, "text:", rest)) {
    if (rest.find_first_not_of(" \t\n") == std::string::npos) return "--shape text: needs some text, e.g. text:Hello";
    if (Utf16Length(rest) > kMaxShapeTextLength)
      return "--shape text: the text is longer than " + std::to_string(kMaxShapeTextLength) + " characters";
    line.shape = ShapeKind::Text;
    line.shapeArgument = rest;
  } else {
    return "--shape: " + Quoted(value) + " is not rectangle, circle, image:FILE or text:TEXT";
  }
  return {};
}

std::string ReadBackground(CommandLine& line, const std::string& value) {
  std::string rest;
  if (EqualsIgnoreAsciiCase(value, "transparent")) {
    line.background = BackgroundKind::Transparent;
  } else if (TakePrefix(value, "image:", rest)) {
    if (rest.empty()) return "--background image: needs a picture file, e.g. image:paper.jpg";
    line.background = BackgroundKind::Image;
    line.backgroundArgument = rest;
  } else if (auto colour = NormaliseColour(value)) {
    line.background = BackgroundKind::Colour;
    line.backgroundArgument = *colour;
  } else {
    return "--background: " + Quoted(value) + " is not a colour (#rrggbb, 0xrrggbb or a name), transparent or image:FILE";
  }
  return {};
}

// A reader for a real number within the range of the collage setting
// `setting` (the table every entry of the settings shares).
ValueReader RealIn(std::string name, std::string_view setting, std::optional<double> CommandLine::*field) {
  const ParamRange range = CollageParamRange(setting);
  return [=](CommandLine& line, const std::string& value) -> std::string {
    auto number = ReadReal(value);
    if (!number || *number < range.low || *number > range.high)
      return name + ": " + Quoted(value) + " is not a number from " + FormatRangeNumber(range.low) + " to " +
             FormatRangeNumber(range.high);
    line.*field = *number;
    return {};
  };
}

ValueReader IntegerIn(std::string name, std::string_view setting, std::optional<int> CommandLine::*field) {
  const ParamRange range = CollageParamRange(setting);
  return [=](CommandLine& line, const std::string& value) -> std::string {
    auto number = ReadInteger(value);
    if (!number || *number < range.low || *number > range.high)
      return name + ": " + Quoted(value) + " is not a whole number from " + FormatRangeNumber(range.low) + " to " +
             FormatRangeNumber(range.high);
    line.*field = static_cast<int>(*number);
    return {};
  };
}

ValueReader Text(std::string name, std::string CommandLine::*field) {
  return [=](CommandLine& line, const std::string& value) -> std::string {
    if (value.empty()) return name + " needs a file name";
    line.*field = value;
    return {};
  };
}

const std::map<std::string, ValueReader, std::less<>>& ValueOptions() {
  static const std::map<std::string, ValueReader, std::less<>> options = {
      {"--output", Text("--output", &CommandLine::output)},
      {"--shape", ReadShape},
      {"--size",
       [](CommandLine& line, const std::string& value) -> std::string {
         const ParamRange& side = CollageParamRange("collageSize");
         auto parts = SplitPair(value, "xX");
         auto w = parts ? ReadInteger(parts->first) : std::nullopt;
         auto h = parts ? ReadInteger(parts->second) : std::nullopt;
         if (!w || !h || *w < side.low || *h < side.low || *w > side.high || *h > side.high)
           return "--size: " + Quoted(value) + " is not WIDTHxHEIGHT in pixels (" + FormatRangeNumber(side.low) +
                  " to " + FormatRangeNumber(side.high) + " each), e.g. 1600x1200";
         line.size = std::make_pair(static_cast<int>(*w), static_cast<int>(*h));
         return {};
       }},
      {"--aspect",
       [](CommandLine& line, const std::string& value) -> std::string {
         std::optional<double> ratio;
         if (auto parts = SplitPair(value, ":/")) {
           auto w = ReadReal(parts->first), h = ReadReal(parts->second);
           if (w && h && *h > 0) ratio = *w / *h;
         } else {
           ratio = ReadReal(value);
         }
         const ParamRange& range = CollageParamRange("aspectRatio");
         if (!ratio || *ratio < range.low || *ratio > range.high)
           return "--aspect: " + Quoted(value) + " is not a width/height ratio such as 1.5 or 16:9";
         line.aspect = *ratio;
         return {};
       }},
      {"--count",
       [](CommandLine& line, const std::string& value) -> std::string {
         if (EqualsIgnoreAsciiCase(value, "all")) {
           line.count = -1;
         } else if (EqualsIgnoreAsciiCase(value, "fill")) {
           line.count = -2;
         } else {
           const ParamRange& range = CollageParamRange("numPhotos");
           auto n = ReadInteger(value);
           if (!n || *n < range.low || *n > range.high)
             return "--count: " + Quoted(value) + " is not a number of items (" + FormatRangeNumber(range.low) +
                    " to " + FormatRangeNumber(range.high) + "), all or fill";
           line.count = static_cast<int>(*n);
         }
         return {};
       }},
      {"--item-size", IntegerIn("--item-size", "itemBoundingBoxWidth", &CommandLine::itemSize)},
      {"--spacing", RealIn("--spacing", "spacing", &CommandLine::spacing)},
      {"--border", RealIn("--border", "borderSize", &CommandLine::border)},
      {"--border-color",
       [](CommandLine& line, const std::string& value) -> std::string {
         auto colour = NormaliseColour(value);
         if (!colour) return "--border-color: " + Quoted(value) + " is not a colour (#rrggbb, 0xrrggbb or a name)";
         line.borderColour = *colour;
         return {};
       }},
      {"--angle", IntegerIn("--angle", "avgAngle", &CommandLine::angle)},
      {"--max-angle", IntegerIn("--max-angle", "maxAngle", &CommandLine::maxAngle)},
      {"--shadow-offset",
       [](CommandLine& line, const std::string& value) -> std::string {
         auto parts = SplitPair(value, ",");
         auto x = parts ? ReadReal(parts->first) : std::nullopt;
         auto y = parts ? ReadReal(parts->second) : std::nullopt;
         if (!x || !y || !InParamRange(CollageParamRange("offsetX"), *x) ||
             !InParamRange(CollageParamRange("offsetY"), *y))
           return "--shadow-offset: " + Quoted(value) + " is not X,Y as fractions of the item size, e.g. 0.02,0.02";
         line.shadowOffset = std::make_pair(*x, *y);
         return {};
       }},
      {"--background", ReadBackground},
      {"--jpeg-quality", IntegerIn("--jpeg-quality", "jpegQuality", &CommandLine::jpegQuality)},
      {"--params", Text("--params", &CommandLine::paramsFile)},
      {"--project", Text("--project", &CommandLine::projectFile)},
      {"--save-project", Text("--save-project", &CommandLine::saveProject)},
      {"--preview", Text("--preview", &CommandLine::preview)},
      {"--seed",
       [](CommandLine& line, const std::string& value) -> std::string {
         auto n = ReadInteger(value);
         if (!n || *n < 0 || *n > 0xFFFFFFFFLL) return "--seed: " + Quoted(value) + " is not a number from 0 to 4294967295";
         line.seed = static_cast<std::uint32_t>(*n);
         return {};
       }},
  };
  return options;
}

const std::map<std::string, bool CommandLine::*, std::less<>>& FlagOptions() {
  static const std::map<std::string, bool CommandLine::*, std::less<>> flags = {
      {"--same-size", &CommandLine::sameSize}, {"--different-sizes", &CommandLine::differentSizes},
      {"--no-shadow", &CommandLine::noShadow},
      {"--quiet", &CommandLine::quiet},        {"-q", &CommandLine::quiet},
      {"--help", &CommandLine::help},          {"-h", &CommandLine::help},
      {"--version", &CommandLine::version},    {"--demo", &CommandLine::demo},
  };
  return flags;
}

std::optional<OutputFormat> FormatOf(const std::string& path) {
  const auto dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return std::nullopt;
  const std::string ext = AsciiLowered(std::string_view(path).substr(dot + 1));
  if (ext == "png") return OutputFormat::Png;
  if (ext == "jpg" || ext == "jpeg") return OutputFormat::Jpeg;
  if (ext == "bmp") return OutputFormat::Bmp;
  if (ext == "psd") return OutputFormat::Psd;
  return std::nullopt;
}

}  // namespace

ParseOutcome ParseCommandLine(const std::vector<std::string>& args) {
  ParseOutcome outcome;
  CommandLine& line = outcome.line;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      if (arg.empty()) {
        outcome.error = "an empty photo or folder name was given";
        return outcome;
      }
      line.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg == "-o" ? "--output" : arg;
    std::optional<std::string> inlineValue;
    if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    if (auto flag = FlagOptions().find(name); flag != FlagOptions().end()) {
      if (inlineValue) {
        outcome.error = name + " takes no value";
        return outcome;
      }
      line.*(flag->second) = true;
      continue;
    }
    auto option = ValueOptions().find(name);
    if (option == ValueOptions().end()) {
      outcome.error = "unknown option " + name + " (see --help)";
      return outcome;
    }
    std::string value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      outcome.error = (arg == "-o" ? std::string("-o") : name) + " needs a value";
      return outcome;
    }
    if (std::string problem = option->second(line, value); !problem.empty()) {
      outcome.error = problem;
      return outcome;
    }
  }

  if (line.help || line.version) {
    outcome.ok = true;
    return outcome;
  }
  if (line.size && line.aspect) {
    outcome.error = "--aspect cannot be used with --size: --size fixes the canvas, --aspect shapes an automatic one";
    return outcome;
  }
  if (line.sameSize && line.differentSizes) {
    outcome.error = "--same-size and --different-sizes ask for opposite things; give one of them";
    return outcome;
  }
  if (line.output.empty()) {
    if (!line.demo) {
      outcome.error = "no output file given (-o OUTPUT.png|.jpg|.bmp|.psd)";
      return outcome;
    }
    line.output = "vornida-demo.png";
  }
  auto format = FormatOf(line.output);
  if (!format) {
    outcome.error = line.output + ": the output must end in .png, .jpg, .bmp or .psd";
    return outcome;
  }
  line.format = *format;
  if (line.jpegQuality && line.format != OutputFormat::Jpeg) {
    outcome.error = "--jpeg-quality: only JPEG output has a quality, and " + line.output + " is not .jpg";
    return outcome;
  }
  if (line.inputs.empty() && !line.demo && line.projectFile.empty()) {
    outcome.error = "no photos given: name photos or folders, or use --project FILE or --demo";
    return outcome;
  }
  if (line.demo && !line.inputs.empty()) {
    outcome.error = "--demo makes its collage from the sample photos; leave out the photos or drop --demo";
    return outcome;
  }
  outcome.ok = true;
  return outcome;
}

void ApplyToParameters(const CommandLine& line, CollageParameters& params) {
  if (line.shape) {
    switch (*line.shape) {
      case ShapeKind::Rectangle:
        params.Set("shapeType", "Rectangle");
        params.Set("shape", "");
        params.Set("shapeText", "");
        break;
      case ShapeKind::Circle:
        params.Set("shapeType", "Circle");
        params.Set("shape", "");
        params.Set("shapeText", "");
        break;
      case ShapeKind::Image:
        params.Set("shapeType", "Image");
        params.Set("shape", line.shapeArgument);
        params.Set("shapeText", "");
        break;
      case ShapeKind::Text:
        // The picture is made from these when the job starts, and again
        // whenever a project made from them is opened.
        params.Set("shapeType", "Text");
        params.Set("shapeText", line.shapeArgument);
        params.Set("shapeFont", std::string(kTextShapeFontFamily));
        break;
    }
  }
  if (line.size) {
    params.Set("collageSize", std::to_string(line.size->first) + "," + std::to_string(line.size->second));
  } else if (line.aspect) {
    // A ratio alone asks for an automatic canvas, which grows from the item
    // size; without one the items would keep the photos' full pixel size.
    params.Set("collageSize", "0,0");
    if (!line.itemSize && ReadInteger(params.Get("itemBoundingBoxWidth")).value_or(-1) < 1)
      params.Set("itemBoundingBoxWidth", "300");
  }
  if (line.aspect) params.Set("aspectRatio", Real(*line.aspect));
  if (line.count) params.Set("numPhotos", std::to_string(*line.count));
  if (line.itemSize) params.Set("itemBoundingBoxWidth", std::to_string(*line.itemSize));
  if (line.sameSize) params.Set("samePhotoSize", "true");
  if (line.differentSizes) params.Set("samePhotoSize", "false");
  if (line.spacing) params.Set("spacing", Real(*line.spacing));
  if (line.border) params.Set("borderSize", Real(*line.border));
  if (line.borderColour) params.Set("borderColor", *line.borderColour);
  if (line.angle) params.Set("avgAngle", std::to_string(*line.angle));
  if (line.maxAngle) params.Set("maxAngle", std::to_string(*line.maxAngle));
  if (line.noShadow) params.Set("noShadow", "true");
  if (line.shadowOffset) {
    params.Set("offsetX", Real(line.shadowOffset->first));
    params.Set("offsetY", Real(line.shadowOffset->second));
  }
  if (line.jpegQuality) params.Set("jpegQuality", std::to_string(*line.jpegQuality));
  if (line.background) {
    switch (*line.background) {
      case BackgroundKind::Colour:
        params.Set("backgroundTransparent", "false");
        params.Set("backgroundColor", line.backgroundArgument);
        params.Set("backgroundType", "Color");
        params.Set("backgroundFile", "");
        break;
      case BackgroundKind::Transparent:
        params.Set("backgroundTransparent", "true");
        params.Set("backgroundType", "Color");
        params.Set("backgroundFile", "");
        break;
      case BackgroundKind::Image:
        params.Set("backgroundTransparent", "false");
        params.Set("backgroundType", "Image");
        params.Set("backgroundFile", line.backgroundArgument);
        break;
    }
  }
}

}  // namespace vornida::collage_cli
