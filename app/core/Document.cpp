#include "app/core/Document.h"

#include <stdexcept>

namespace orvo {

Document::Document(int32_t width, int32_t height, int depth)
    : width_(width), height_(height), depth_(depth)
{
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        throw std::invalid_argument("document sides must be 1..32767 pixels");
    if (depth != 8 && depth != 16)
        throw std::invalid_argument("document depth must be 8 or 16 bits");
    filterRect_ = bounds();
    samples_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * kChannels, 0);
}

void Document::setFilterRect(const DocRect& r)
{
    if (r.empty() || !r.inside(bounds()))
        throw std::invalid_argument("the filter rectangle must be a non-empty part of the image");
    filterRect_ = r;
}

} // namespace orvo
