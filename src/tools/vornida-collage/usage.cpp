// The --help text.
#include "tools/vornida-collage/cli_options.h"

namespace vornida::collage_cli {

std::string UsageText() {
  return R"(usage: vornida-collage [OPTIONS] PHOTO|FOLDER... -o OUTPUT.png|.jpg|.bmp|.psd
       vornida-collage --demo [-o OUTPUT]

Makes a photo collage: the photos together fill a shape. Folders are searched
recursively for pictures (jpg, jpeg, png, gif, bmp, webp, tif, tiff, heic,
heif). The output format follows the output's extension; .psd writes a
layered file with one layer per photo. An existing output file is replaced
only by a complete new one.

Shape and canvas:
  --shape rectangle|circle|image:FILE|text:TEXT
                         the region the photos fill (default: rectangle);
                         image: the dark, non-transparent pixels of FILE;
                         text: TEXT drawn in a bold system font
  --size WxH             canvas size in pixels (default: 1600x1200); a
                         canvas over 16384 x 16384 pixels in area is reduced
                         to it, with a note
  --aspect R             width/height ratio such as 1.5 or 16:9, for a
                         canvas that grows from the item size (--item-size,
                         default 300 then); not with --size
Items:
  --count N|all|fill     N items (photos repeat as needed), one per photo
                         (all, the default), or as many as fit (fill;
                         best with --item-size)
  --item-size PX         longest side of the largest item, without border
                         (default: sized to fill the canvas)
  --same-size            every item gets the same longest side (the default)
  --different-sizes      items keep the photos' relative sizes instead
  --spacing F            room per item; 1 lets items touch, below 1 they
                         overlap (default: 1)
  --border F             border width as a fraction of the item (default: 0.03)
  --border-color C       border colour (default: #f2f2f2)
  --angle DEG            average tilt in whole degrees (default: 0)
  --max-angle DEG        largest random tilt away from it (default: 15)
  --no-shadow            no drop shadows
  --shadow-offset X,Y    shadow offset as fractions of the item (default: 0.01,0.01)
  --background COLOR|transparent|image:FILE
                         canvas background (default: #ffffff); formats
                         without alpha (all but PNG) show transparent as white
Output:
  --jpeg-quality N       JPEG quality from 1 to 100 (default: 90); from 90 on
                         the colour is kept at full resolution
Colours: #rrggbb, #rgb, 0xrrggbb or a name (white, black, gray, red, ...).

Settings and projects:
  --params FILE          start from a collage-parameter text (a Vornida
                         element); options given here override it
  --project FILE         add a project's photos and start from its settings
                         (a text shape is drawn again from its text)
  --save-project FILE    also save the photos and settings as a project
  --seed N               fixed random seed, for the same layout each run
  --preview FILE         also write the layout preview picture (PNG, within
                         1024 x 768)

Other:
  --demo                 use the sample photos that come with the program
                         (output vornida-demo.png unless -o is given; circle,
                         48 items unless --shape/--count say otherwise)
  -q, --quiet            no progress, only errors
  --help                 this text
  --version              the program version

Progress goes to standard error: a bar with the current step on a terminal,
one line per step otherwise. Exit status: 0 done, 1 the collage could not be
made or written, 2 a bad command line.

Examples:
  vornida-collage ~/Pictures/holiday -o holiday.jpg
  vornida-collage --shape circle --count fill --item-size 120 --spacing 0.8 *.jpg -o disc.png
  vornida-collage --shape text:LOVE --size 3000x1200 --count 300 --background black photos/ -o love.png
  vornida-collage --shape image:heart.png --no-shadow photos/ -o heart.psd
  vornida-collage --project trip.vrn --seed 7 -o trip.png
  vornida-collage photos/ --save-project trip.vrn -o trip.jpg
)";
}

}  // namespace vornida::collage_cli
