// Checks made before a collage is drawn for a file, so that a save that
// cannot succeed says why at once instead of failing after all the work,
// and a save never replaces one of the collage's own pictures.
//
// The reasons are the movie's texts (by key, through `text`), with built-in
// English where the movie's table has none:
//   "Save_Limit_Jpeg"        JPEG pictures can be at most 65500 pixels a side
//   "Save_Limit_Png"         PNG pictures can be at most 1000000 pixels a side
//   "Save_Limit_Bmp"         BMP pictures can hold at most 4 GiB of pixels
//   "Save_Limit_Psd"         PSD files can be at most 300000 pixels a side
//   "Save_Limit_Psd_Layers"  PSD files hold at most 32767 layers
//   "Save_Output_Is_Input"   This file is one of the collage's own pictures
//                            and would be overwritten; choose another name
// followed by ": " and the canvas size ("70000 x 300"), the layer count or
// the path. The save flow's other texts of its own have built-in English too:
//   "Save_Failed"            The collage could not be saved
//   "Save_Psd_Extension"     A layered file needs a name ending in .psd
//   "Save_Stopped"           The save was stopped before the collage was complete
//   "Save_No_Memory"         There is not enough memory to draw a collage this large
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"

namespace vornida {

// The movie's text for a key (getStr).
using TextLookup = std::function<std::string(const std::string& key)>;

// `text(key)`, or the built-in English for the keys of the save flow when the
// movie gives nothing better (an empty text or the key itself).
std::string SaveFlowText(const TextLookup& text, const std::string& key);

// Fails when a collage of `width` x `height` pixels cannot be written to
// `path`: as a layered PSD (`layered`, with `layerCount` layers; a negative
// count is not checked) or as the flat picture its extension picks
// (FlatPictureMimeType). Canvases over 30000 pixels a side become large PSD
// documents (version 2) and are fine up to 300000.
Status CheckOutputLimits(const std::string& path, bool layered, int64_t width, int64_t height,
                         int64_t layerCount, const TextLookup& text);

// The first of `inputs` that is the same file as `output`: the same device
// and inode, so also when either is reached through a symbolic link, a hard
// link or another spelling of the path. Empty when none is, or when `output`
// does not exist yet.
std::string InputAtOutput(const std::string& output, const std::vector<std::string>& inputs);

// The refusal for InputAtOutput's answer `input`, naming it.
Status OutputIsInput(const std::string& input, const TextLookup& text);

}  // namespace vornida
