#pragma once
// The generic editing view of an effect unit: a row per parameter (a slider, or a menu for a
// parameter with named values) and the unit's factory presets. Changes go to the unit on the main
// thread, so its player hears of them as of any other change. Owned by the Qt parent it is given;
// the unit must outlive it.

#include <QWidget>
#include <memory>

class QComboBox;

namespace vtl {

class AudioEffectUnit;
class AudioTrackPlayer;

class AudioUnitGenericView : public QWidget {
    Q_OBJECT
public:
    explicit AudioUnitGenericView(AudioEffectUnit& unit, QWidget* parent = nullptr);

    // The editing view of the player's unit at an index; null when there is no such unit.
    static std::unique_ptr<QWidget> propertiesViewForUnitAtIndex(AudioTrackPlayer& player, std::size_t index);

    // Shows the unit's present values again (after a preset or an undo).
    void refresh();

private:
    AudioEffectUnit& unit_;
    QComboBox* presets_ = nullptr;
};

} // namespace vtl
