#include "host/PSRenderInfo.h"

#include "framework/Effect.h"

#include <algorithm>
#include <new>

namespace orvo::host {

namespace {

int32_t clampSum(int64_t v, int32_t limit) { return static_cast<int32_t>(std::min<int64_t>(v, limit)); }

int32_t ceilDiv(int32_t a, int32_t b) { return b > 0 ? (a + b - 1) / b : 0; }

} // namespace

// ---- PS_RenderInfo ----

PS_RenderInfo::~PS_RenderInfo()
{
    releaseCaches();
}

void PS_RenderInfo::releaseCaches()
{
    sourceImage_.reset();
    sourceCache_.reset();
    cachedRows_ = {};
    previewSource.reset();
    previewOutput.reset();
    previewDestinationSize = {-1, -1};
}

fx::Image* PS_RenderInfo::sourceAt(fx::Point point, fx::Rect* band)
{
    const fx::Rect& fr = layout_.filterRect;
    if (!fr.contains(point.x, point.y))
        return nullptr;
    if (!sourceCache_ || point.y < cachedRows_.top || point.y >= cachedRows_.bottom) {
        if (!sourceCache_) {
            sourceCache_ = image_.allocate(fr, 4, sixteenBit ? 2 : 1, image_.record().imageMode);
            if (!sourceCache_)
                throw std::bad_alloc();
            sourceImage_ = fx::ImageRef(fx::Image::wrap(*sourceCache_));
        }
        const int32_t tileHeight = std::max(layout_.tileHeight, 1);
        const int32_t top = fr.top + (point.y - fr.top) / tileHeight * tileHeight;
        const fx::Rect rows{top, fr.left, std::min(top + tileHeight, fr.bottom), fr.right};
        cachedRows_ = {};
        // A view of the cache's rows of that band.
        HostPixelBuffer view = *sourceCache_;
        view.data = sourceCache_->row(top - fr.top);
        view.rect = rows;
        view.capacity = static_cast<std::size_t>(view.rowBytes) * static_cast<std::size_t>(rows.height());
        view.owner = nullptr;
        view.suiteBlock = nullptr;
        view.bufferId = nullptr;
        image_.request(rows, {});
        image_.readRect(view, rows);
        cachedRows_ = rows;
    }
    if (band)
        *band = {cachedRows_.top - fr.top, 0, cachedRows_.bottom - fr.top, fr.width()};
    return sourceImage_.get();
}

// ---- band plan ----

BandPlan planBands(const FilterLayout& layout, fx::Point imageSize, const fx::Rect& firstInput)
{
    BandPlan p;
    const fx::Rect& fr = layout.filterRect;
    const int32_t width = fr.width(), height = fr.height();
    if (width <= 0 || height <= 0 || imageSize.x <= 0 || imageSize.y <= 0)
        return p;
    p.tileWidth = width;
    p.tileHeight = std::max(layout.tileHeight, 1);
    const fx::Rect first{layout.tileOrigin.y, layout.tileOrigin.x, layout.tileOrigin.y + p.tileHeight,
                         layout.tileOrigin.x + width};
    if (firstInput != first) {
        // An effect that answers a smaller rectangle still gets the whole band.
        p.borders = {std::max(0, first.top - firstInput.top), std::max(0, first.left - firstInput.left),
                     std::max(0, firstInput.bottom - first.bottom), std::max(0, firstInput.right - first.right)};
        p.tileWidth = std::min(p.tileWidth, imageSize.x);
        p.tileHeight = std::min(p.tileHeight, imageSize.y);
    }
    p.columns = ceilDiv(width, p.tileWidth);
    p.rows = ceilDiv(height, p.tileHeight);
    p.padded = {clampSum(int64_t{p.tileWidth} + p.borders.left + p.borders.right, imageSize.x),
                clampSum(int64_t{p.tileHeight} + p.borders.top + p.borders.bottom, imageSize.y)};
    if (p.padded == imageSize) {
        // The padded band is the whole image: render it as one tile.
        p.tileWidth = imageSize.x;
        p.tileHeight = imageSize.y;
        p.rows = p.columns = 1;
    }
    return p;
}

// ---- PS_RenderDriver ----

PS_RenderDriver::PS_RenderDriver(FilterRecord& record, fx::Effect& effect, bool preview)
    : image_(record), info_(image_), driver_(effect, info_), preview_(preview)
{
}

bool PS_RenderDriver::renderDocument(int32_t bytesPerChannel)
{
    FilterRecord& record = image_.record();
    const fx::Point imageSize{record.imageSize.h, record.imageSize.v};
    driver_.begin(imageSize.x, imageSize.y, bytesPerChannel == 2, false);

    const FilterLayout& layout = info_.layout();
    const fx::Rect& fr = layout.filterRect;
    const fx::Rect first{layout.tileOrigin.y, layout.tileOrigin.x, layout.tileOrigin.y + std::max(layout.tileHeight, 1),
                         layout.tileOrigin.x + fr.width()};
    const BandPlan plan = planBands(layout, imageSize, driver_.inputRectFor(first));

    bool aborted = false;
    record.inputRate = 0x10000;
    if (plan.rows > 0 && plan.columns > 0) {
        const fx::Rect padded{0, 0, plan.padded.y, plan.padded.x};
        HostBufferPtr input = image_.allocate(padded, 4, bytesPerChannel, record.imageMode);
        HostBufferPtr output = input ? image_.allocate(padded, 4, bytesPerChannel, record.imageMode) : nullptr;
        const int32_t total = plan.rows * plan.columns;
        fx::Effect& effect = driver_.effect();
        for (int32_t index = 0; input && output && index < total; ++index) {
            const int32_t j = index / plan.columns, i = index % plan.columns;
            fx::Rect band{fr.top + j * plan.tileHeight, fr.left + i * plan.tileWidth, 0, 0};
            band.bottom = std::min(band.top + plan.tileHeight, fr.bottom);
            band.right = std::min(band.left + plan.tileWidth, fr.right);
            const fx::Rect in{std::max(0, band.top - plan.borders.top), std::max(0, band.left - plan.borders.left),
                              std::min(fr.bottom, band.bottom + plan.borders.bottom),
                              std::min(fr.right, band.right + plan.borders.right)};
            HostImage::setRect(*input, in);
            HostImage::setRect(*output, in);
            image_.request(in, band);
            image_.readRect(*input, in);
            HostImage::copy(*output, *input);
            const fx::Point offset{band.left - in.left, band.top - in.top};
            if (driver_.isActive()) {
                if (!driver_.renderOneTile(*input, *output, in, band, index, total))
                    HostImage::clear(*output);
            } else {
                HostImage::copy(*output, *input);
            }
            if (effect.flags & fx::EffectFlag::RerequestTiles)
                image_.request(in, band);
            image_.writeRect(*output, band, offset);
            if (record.progressProc)
                record.progressProc(index + 1, total);
            if (record.abortProc && record.abortProc()) {
                aborted = true;
                break;
            }
        }
    }
    image_.request({}, {});
    return !aborted;
}

bool PS_RenderDriver::renderWholeView(const fx::Rect& view, fx::Point scaled, HostPixelBuffer& destination)
{
    const fx::Point destinationSize{destination.rect.width(), destination.rect.height()};
    const fx::Rect viewSize{0, 0, view.height(), view.width()};
    if (info_.previewSource && (info_.previewDestinationSize != destinationSize ||
                                info_.previewSource->rect != viewSize)) {
        info_.previewSource.reset();
        info_.previewOutput.reset();
    }
    if (!info_.previewSource) {
        info_.previewDestinationSize = destinationSize;
        info_.previewSource = image_.allocate(viewSize, 4, 1, destination.imageMode);
        info_.previewOutput = image_.allocate(viewSize, 4, 1, destination.imageMode);
        if (!info_.previewSource || !info_.previewOutput) {
            info_.previewSource.reset();
            info_.previewOutput.reset();
            HostImage::clear(destination);
            return false;
        }
        image_.readScaled(*info_.previewSource, image_.imageBounds(), viewSize);
        ++info_.previewSourceReads;
    }
    driver_.begin(scaled.x, scaled.y, false, true);
    HostPixelBuffer& source = *info_.previewSource;
    HostPixelBuffer& output = *info_.previewOutput;
    HostImage::copy(output, source);
    bool rendered = true;
    if (driver_.isActive() && !driver_.renderOneTile(source, output, view, view, 0, 1)) {
        rendered = false;
        HostImage::clear(destination);
    } else {
        HostImage::copyWithOffset(destination, output, viewSize, {0, 0});
    }
    return rendered;
}

bool PS_RenderDriver::renderPreview(const fx::Rect& viewRect, float zoom, HostPixelBuffer& destination, bool noBorder)
{
    try {
        if (!(zoom > 0.0f))
            throw std::invalid_argument("preview zoom must be positive");
        driver_.zoomX = driver_.zoomY = zoom;
        const fx::Rect bounds = image_.imageBounds();
        const fx::Point scaled{static_cast<int32_t>(static_cast<float>(bounds.width()) * zoom),
                               static_cast<int32_t>(static_cast<float>(bounds.height()) * zoom)};
        fx::Rect view{std::max(viewRect.top, 0), std::max(viewRect.left, 0), std::min(viewRect.bottom, scaled.y),
                      std::min(viewRect.right, scaled.x)};
        view.bottom = std::min(view.bottom, view.top + destination.rect.height());
        view.right = std::min(view.right, view.left + destination.rect.width());
        if (view.empty()) {
            HostImage::clear(destination);
            return true;
        }
        if (view == fx::Rect{0, 0, scaled.y, scaled.x})
            return renderWholeView(view, scaled, destination);

        // Zoomed in or panned: read the view and the effect's borders at the zoom.
        driver_.begin(scaled.x, scaled.y, false, true);
        fx::Rect in = view;
        if (!noBorder) {
            const fx::Rect grown = driver_.inputRectFor(view);
            in = {std::max(0, std::min(grown.top, view.top)), std::max(0, std::min(grown.left, view.left)),
                  std::min(scaled.y, std::max(grown.bottom, view.bottom)),
                  std::min(scaled.x, std::max(grown.right, view.right))};
        }
        HostBufferPtr source = image_.allocate(in, 4, destination.bytesPerChannel, destination.imageMode);
        HostBufferPtr output = source ? image_.allocate(in, 4, destination.bytesPerChannel, destination.imageMode)
                                      : nullptr;
        if (!source || !output) {
            HostImage::clear(destination);
            return false;
        }
        const double inverse = 1.0 / static_cast<double>(zoom);
        fx::Rect sourceRect{static_cast<int32_t>(in.top * inverse), static_cast<int32_t>(in.left * inverse),
                            static_cast<int32_t>(in.bottom * inverse), static_cast<int32_t>(in.right * inverse)};
        sourceRect = {std::clamp(sourceRect.top, 0, bounds.bottom - 1), std::clamp(sourceRect.left, 0, bounds.right - 1),
                      std::clamp(sourceRect.bottom, 1, bounds.bottom), std::clamp(sourceRect.right, 1, bounds.right)};
        sourceRect.bottom = std::max(sourceRect.bottom, sourceRect.top + 1);
        sourceRect.right = std::max(sourceRect.right, sourceRect.left + 1);
        image_.readScaled(*source, sourceRect, {0, 0, in.height(), in.width()});
        HostImage::copy(*output, *source);
        const fx::Point offset{view.left - in.left, view.top - in.top};
        const fx::Rect viewSize{0, 0, view.height(), view.width()};
        if (noBorder || !driver_.isActive()) {
            HostImage::copyWithOffset(destination, *source, viewSize, offset);
            return true;
        }
        if (!driver_.renderOneTile(*source, *output, in, view, 0, 1)) {
            HostImage::clear(destination);
            return false;
        }
        HostImage::copyWithOffset(destination, *output, viewSize, offset);
        return true;
    } catch (...) {
        HostImage::clear(destination);
        return false;
    }
}

} // namespace orvo::host
