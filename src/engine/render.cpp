#include "engine/collage.h"

namespace vornida {

void CCollage::ShowPreviewFrame(bool) {}

}  // namespace vornida
