// "MatteGenerator" ("Orvo Selection"): the complete selection group; the matte itself is the output,
// as a grey picture, for use as a mask in the host.

#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/matte/Selection.h"
#include "imaging/pixel/Pixel.h"

#include <algorithm>
#include <cstdint>

namespace orvo {

extern const fx::EffectOps matteGeneratorOps;

namespace {

const char* const kViews[] = {"Output", "Selection", "Original"};
enum View : int32_t { Output = 0, SelectionView = 1, Original = 2, ViewCount };
// The list flag the collection's view lists carry (an effect-private marker).
constexpr uint32_t kViewFlag = 0x4;

struct MatteGenerator : fx::Effect {
    enum : int { Input = 0, ViewParam, SelectionGroup, Count = SelectionGroup + imaging::Selection::ParameterCount };

    imaging::Selection selection;

    MatteGenerator() : Effect(&matteGeneratorOps)
    {
        table[Input].initInput("matte", "Selection");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        table[ViewParam].orFlags(kViewFlag);
        // The group's defaults: a highlight matte, full at white and reaching into the shadows.
        selection.setPosition(1.0f);
        selection.setRange(1.6f);
        selection.defineSelectionParameters(table + SelectionGroup, imaging::Selection::ParameterCount);
        setParameters(table, Count);
    }

    // "Original", or a stored index outside the list: the input unchanged.
    bool original() const
    {
        const int32_t v = valueAsInt(ViewParam);
        return v != Output && v != SelectionView;
    }
    bool update(const fx::RenderInfo& info) { return selection.updateFromParameters(params + SelectionGroup, info); }
};

const char* title(fx::Effect*) { return "Orvo Selection"; }
const char* description(fx::Effect*) { return "Extract a matte"; }

void parameterChanged(fx::Effect& e, int index)
{
    if (index >= MatteGenerator::SelectionGroup && index < MatteGenerator::Count)
        imaging::Selection::parameterChanged(e, MatteGenerator::SelectionGroup, index);
}

// The matte at a pixel depends on its neighbours through the shrink/grow and the blur: the input
// reaches that far past the band on every side, so bands join without seams.
void inputRect(fx::Effect& e, fx::RenderInfo* info, fx::Rect* rect)
{
    auto& self = static_cast<MatteGenerator&>(e);
    self.update(*info);
    const imaging::Selection::Reach reach = self.selection.reach(*info);
    auto grow = [](int32_t v, int32_t by) {
        return static_cast<int32_t>(std::clamp<int64_t>(int64_t{v} + by, INT32_MIN, INT32_MAX));
    };
    rect->left = grow(rect->left, -reach.x);
    rect->right = grow(rect->right, reach.x);
    rect->top = grow(rect->top, -reach.y);
    rect->bottom = grow(rect->bottom, reach.y);
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<MatteGenerator&>(e);
    const fx::Image* in = self.params[MatteGenerator::Input].input.image;
    fx::Image* out = info->output;
    if (!in || !out)
        return;
    const fx::Rect& r = info->renderRect;
    if (self.original()) {
        imaging::copyRect(*out, *in, r);
        return;
    }
    self.update(*info);
    const fx::ImageRef matte = self.selection.buildMatte(*in, r, *info);
    // "Output" and "Selection" both show the matte as grey.
    imaging::expandGrey(*matte, *out, r);
}

} // namespace

const fx::EffectOps matteGeneratorOps = {
    fx::createSlot<MatteGenerator>, fx::cloneSlot<MatteGenerator>, fx::destroySlot<MatteGenerator>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, fx::defaults::isActive, fx::defaults::beginRender, renderTile,
    parameterChanged, inputRect,
};

} // namespace orvo
