// "SetTextShape": the movie renders the text of a text shape itself and hands
// the picture over as Base64 PNG; it is written to the temporary folder, where
// the shape maker reads it.
#include <cstdio>
#include <fstream>

#include "app/folders.h"
#include "app/paths.h"
#include "commands/vr_flash_ctrl.h"

namespace vornida {

std::string DecodeMovieBase64(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') break;
    std::uint32_t value = 0;
    if (c >= 'A' && c <= 'Z')
      value = static_cast<std::uint32_t>(c - 'A');
    else if (c >= 'a' && c <= 'z')
      value = static_cast<std::uint32_t>(c - 'a' + 26);
    else if (c >= '0' && c <= '9')
      value = static_cast<std::uint32_t>(c - '0' + 52);
    else if (c == '+')
      value = 62;
    else if (c == '/')
      value = 63;
    bits = (bits << 6) | value;
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes.push_back(static_cast<char>((bits >> bitCount) & 0xFF));
    }
  }
  return bytes;
}

std::string TextShapePath() { return MakeTempPath("Vornida") + "/TextShape.png"; }

bool CVRFlashCtrl::SetTextShape(DecodedCall& call) {
  const std::string path = TextShapePath();
  CreateParentFolders(path);
  const std::string picture = DecodeMovieBase64(call.args[0]);

  bool written = false;
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) {
      file.write(picture.data(), static_cast<std::streamsize>(picture.size()));
      file.close();
      written = !file.fail();
    }
  }
  // A path is only worth giving when the picture is really there; a half
  // written file would be read as a broken shape, so it goes.
  if (!written) {
    std::remove(path.c_str());
    return false;
  }
  call.result = StringValue(path);
  return true;
}

}  // namespace vornida
