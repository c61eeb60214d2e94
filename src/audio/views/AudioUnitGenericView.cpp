#include "audio/views/AudioUnitGenericView.h"

#include "audio/AudioEffectUnit.h"
#include "audio/AudioTrackPlayer.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <cmath>

namespace vtl {

namespace {

constexpr int sliderSteps = 1000;

const char* unitSuffix(AudioUnitParameterUnit unit) {
    switch (unit) {
    case AudioUnitParameterUnit::Percent:
        return " %";
    case AudioUnitParameterUnit::Seconds:
        return " s";
    case AudioUnitParameterUnit::Hertz:
        return " Hz";
    case AudioUnitParameterUnit::Cents:
        return " cents";
    case AudioUnitParameterUnit::Decibels:
        return " dB";
    case AudioUnitParameterUnit::Ratio:
        return ":1";
    default:
        return "";
    }
}

QString valueText(const AudioUnitParameterInfo& info, float value) {
    return QString::number(static_cast<double>(value), 'g', 4) + QString::fromUtf8(unitSuffix(info.unit));
}

int sliderPosition(const AudioUnitParameterInfo& info, float value) {
    const float span = info.maxValue - info.minValue;
    return span > 0 ? static_cast<int>(std::lround((value - info.minValue) / span * sliderSteps)) : 0;
}

} // namespace

AudioUnitGenericView::AudioUnitGenericView(AudioEffectUnit& unit, QWidget* parent)
    : QWidget(parent)
    , unit_(unit) {
    auto* layout = new QFormLayout(this);
    const auto presets = unit_.factoryPresets();
    if (!presets.empty()) {
        presets_ = new QComboBox(this);
        presets_->setObjectName("presets");
        for (const auto& p : presets)
            presets_->addItem(QString::fromStdString(p.presetName), p.presetNumber);
        connect(presets_, &QComboBox::activated, this, [this](int index) {
            unit_.selectFactoryPreset(presets_->itemData(index).toInt());
            refresh();
        });
        layout->addRow(tr("Preset"), presets_);
    }
    for (const AudioUnitParameterInfo& info : unit_.parameters()) {
        const QString name = QString::fromStdString(info.name);
        const std::uint32_t id = info.parameterID;
        if (info.unit == AudioUnitParameterUnit::Indexed && !info.valueNames.empty()) {
            auto* menu = new QComboBox(this);
            menu->setObjectName(name);
            for (const auto& v : info.valueNames)
                menu->addItem(QString::fromStdString(v));
            connect(menu, &QComboBox::activated, this, [this, id, info](int index) {
                unit_.setParameter(id, info.minValue + static_cast<float>(index));
            });
            layout->addRow(name, menu);
            continue;
        }
        auto* row = new QWidget(this);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto* slider = new QSlider(Qt::Horizontal, row);
        slider->setObjectName(name);
        slider->setRange(0, sliderSteps);
        auto* value = new QLabel(row);
        value->setMinimumWidth(80);
        rowLayout->addWidget(slider);
        rowLayout->addWidget(value);
        connect(slider, &QSlider::valueChanged, this, [this, id, info, value](int position) {
            const float v =
                info.minValue + (info.maxValue - info.minValue) * static_cast<float>(position) / sliderSteps;
            unit_.setParameter(id, v);
            value->setText(valueText(info, unit_.parameter(id).value_or(v)));
        });
        layout->addRow(name, row);
    }
    refresh();
}

void AudioUnitGenericView::refresh() {
    for (const AudioUnitParameterInfo& info : unit_.parameters()) {
        const QString name = QString::fromStdString(info.name);
        const float v = unit_.parameter(info.parameterID).value_or(info.defaultValue);
        if (auto* slider = findChild<QSlider*>(name)) {
            const QSignalBlocker block(slider);
            slider->setValue(sliderPosition(info, v));
            if (auto* label = slider->parentWidget()->findChild<QLabel*>())
                label->setText(valueText(info, v));
        } else if (auto* menu = findChild<QComboBox*>(name)) {
            const QSignalBlocker block(menu);
            menu->setCurrentIndex(static_cast<int>(std::lround(v - info.minValue)));
        }
    }
    if (presets_) {
        const QSignalBlocker block(presets_);
        const auto present = unit_.presentPreset();
        presets_->setCurrentIndex(present ? presets_->findData(present->presetNumber) : -1);
    }
}

std::unique_ptr<QWidget> AudioUnitGenericView::propertiesViewForUnitAtIndex(AudioTrackPlayer& player,
                                                                            std::size_t index) {
    AudioEffectUnit* unit = player.unitAtIndex(index);
    if (!unit) return nullptr;
    auto view = std::make_unique<AudioUnitGenericView>(*unit);
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return view;
}

} // namespace vtl
