#pragma once

#include <QAccessibleWidget>

namespace waveform {

class WaveformView;

// What screen readers learn of the waveform: a slider whose value is the playback position in
// seconds, from 0 to the recording's length, read out as "00:01:23 of 00:45:00". Setting the
// value asks the view to go there, as a click does.
class WaveformAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit WaveformAccessible(WaveformView* view);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    WaveformView& view() const;
};

// For QAccessible::installFactory: the interface of a WaveformView, none for other objects.
QAccessibleInterface* AccessibleWaveform(const QString& className, QObject* object);

} // namespace waveform
