#pragma once
// Makes the effect unit for a stored type and subtype ('aufx'/'lpas', 'aumx'/'smxr', ...).

#include "audio/AudioEffectUnit.h"
#include "audio/FourCharCode.h"

#include <memory>

namespace vtl {

// Null for a kind this system does not have.
std::unique_ptr<AudioEffectUnit> makeAudioEffectUnit(FourCharCode type, FourCharCode subtype);

} // namespace vtl
