#include "framework/RenderInfo.h"

#include "framework/Effect.h"

namespace fx {

RenderDriver::RenderDriver(Effect& effect, HostRenderInfo& info)
    : effect_(effect), ops_(effect.ops), info_(info)
{
}

RenderDriver::~RenderDriver()
{
    releaseImages();
}

void RenderDriver::begin(int32_t imageWidth, int32_t imageHeight, bool sixteenBit, bool preview)
{
    info_.imageWidth = imageWidth;
    info_.imageHeight = imageHeight;
    info_.scaleX = zoomX;
    info_.scaleY = zoomY;
    info_.frame = 0.0f;
    info_.timeScale = 1.0f;
    info_.pixelAspect = 1.0f;
    info_.passes = 1;
    info_.fieldMode = 2;
    info_.tileIndex = -1;
    info_.sixteenBit = sixteenBit ? 1 : 0;
    info_.preview = preview ? 1 : 0;
    info_.fetchLayout();
    ops_->beginRender(effect_, &info_);
}

Rect RenderDriver::inputRectFor(const Rect& rect)
{
    Rect grown = rect;
    ops_->inputRect(effect_, &info_, &grown);
    return grown;
}

bool RenderDriver::isActive() const
{
    return ops_->isActive(effect_);
}

bool RenderDriver::renderOneTile(PixelBuffer& input, PixelBuffer& output, const Rect& inputRect,
                                 const Rect& tileRect, int32_t tileIndex, int32_t tileCount)
{
    try {
        releaseImages();
        input_ = ImageRef(Image::wrap(input));
        output_ = ImageRef(Image::wrap(output));
        info_.output = output_.get();
        info_.sixteenBit = input.bytesPerChannel == 2 ? 1 : 0;
        info_.renderRect = Rect{0, 0, inputRect.height(), inputRect.width()};
        info_.tileRect = tileRect;
        info_.tileIndex = tileIndex;
        info_.tileCount = tileCount;
        if (effect_.paramCount > 0 && effect_.params[0].kind == ParamKind::Input)
            effect_.params[0].input.image = input_.get();
        ops_->renderTile(effect_, &info_);
        return true;
    } catch (...) {
        return false;
    }
}

void RenderDriver::end()
{
    info_.releaseCaches();
    releaseImages();
}

void RenderDriver::releaseImages()
{
    if (effect_.paramCount > 0 && effect_.params[0].kind == ParamKind::Input)
        effect_.params[0].input.image = nullptr;
    info_.output = nullptr;
    input_.reset();
    output_.reset();
}

} // namespace fx
