#include "audio/AudioUnitFactory.h"

#include "audio/AudioEffectDictionary.h"
#include "audio/DelayUnit.h"
#include "audio/DistortionUnit.h"
#include "audio/DynamicsProcessorUnit.h"
#include "audio/GraphicEQUnit.h"
#include "audio/HighPassFilterUnit.h"
#include "audio/HighShelfFilterUnit.h"
#include "audio/LowPassFilterUnit.h"
#include "audio/LowShelfFilterUnit.h"
#include "audio/MultiBandCompressorUnit.h"
#include "audio/MultiModeFilterUnit.h"
#include "audio/ParametricEQUnit.h"
#include "audio/PeakLimiterUnit.h"
#include "audio/PitchUnit.h"
#include "audio/ReverbUnit.h"
#include "audio/StereoMixerUnit.h"

namespace vtl {

std::unique_ptr<AudioEffectUnit> makeAudioEffectUnit(FourCharCode type, FourCharCode subtype) {
    if (type == audioeffect::mixerType)
        return subtype == audioeffect::stereoMixerSubtype ? std::make_unique<StereoMixerUnit>() : nullptr;
    if (type != audioeffect::effectType) return nullptr;
    switch (subtype) {
    case fourCharCode("lpas"):
        return std::make_unique<LowPassFilterUnit>();
    case fourCharCode("hpas"):
        return std::make_unique<HighPassFilterUnit>();
    case fourCharCode("lshf"):
        return std::make_unique<LowShelfFilterUnit>();
    case fourCharCode("hshf"):
        return std::make_unique<HighShelfFilterUnit>();
    case fourCharCode("pmeq"):
        return std::make_unique<ParametricEQUnit>();
    case fourCharCode("greq"):
        return std::make_unique<GraphicEQUnit>();
    case fourCharCode("lmtr"):
        return std::make_unique<PeakLimiterUnit>();
    case fourCharCode("dcmp"):
        return std::make_unique<DynamicsProcessorUnit>();
    case fourCharCode("mcmp"):
        return std::make_unique<MultiBandCompressorUnit>();
    case fourCharCode("dist"):
        return std::make_unique<DistortionUnit>();
    case fourCharCode("mrev"):
        return std::make_unique<ReverbUnit>();
    case fourCharCode("filt"):
        return std::make_unique<MultiModeFilterUnit>();
    case fourCharCode("tmpt"):
        return std::make_unique<PitchUnit>();
    case fourCharCode("dely"):
        return std::make_unique<DelayUnit>();
    default:
        return nullptr;
    }
}

} // namespace vtl
