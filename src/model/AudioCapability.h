#pragma once
// What the container and the extraction queues ask of a timeline object that plays sound (audio
// and speech tracks): the scale of its waveform in the timeline and the background extraction of
// that waveform. Such an object hands it out through CompositionBaseObject::asAudio(); other kinds
// answer null, which is also what makes an object count as an audio object.

namespace vtl {

class AudioCapability {
public:
    virtual ~AudioCapability() = default;

    virtual void setAudioScale(float) {}
    // Waveforms are extracted in the background one track at a time.
    virtual bool waveformExtractionDone() const { return true; }
    virtual void extractWaveFormAndNotify() {}
};

} // namespace vtl
