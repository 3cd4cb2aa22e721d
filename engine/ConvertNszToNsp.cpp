#include "engine/ConvertNszToNsp.h"

namespace vesko {
} // namespace vesko
