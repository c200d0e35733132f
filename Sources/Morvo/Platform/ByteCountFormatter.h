#pragma once
// Size texts in the file style: decimal units (1 KB = 1000 bytes), "Zero KB" for nothing, whole
// bytes below 1 KB, no fraction for KB, one for MB and two from GB up, trailing zeros dropped, the
// decimal separator of the user's locale.

#include <QString>

#include <cstdint>

namespace morvo {

QString formatByteCount(std::int64_t bytes);

} // namespace morvo
