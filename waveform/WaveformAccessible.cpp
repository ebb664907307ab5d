#include "WaveformAccessible.h"

#include "TimeText.h"
#include "WaveformView.h"

namespace waveform {

WaveformAccessible::WaveformAccessible(WaveformView* view)
    : QAccessibleWidget(view, QAccessible::Slider)
{
}

void* WaveformAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString WaveformAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return QStringLiteral("%1 of %2").arg(ClockText(view().position(), false), ClockText(view().length(), false));
    return QAccessibleWidget::text(t);
}

QVariant WaveformAccessible::currentValue() const
{
    return view().position();
}

void WaveformAccessible::setCurrentValue(const QVariant& value)
{
    view().requestSeek(value.toDouble());
}

QVariant WaveformAccessible::maximumValue() const
{
    return view().length();
}

QVariant WaveformAccessible::minimumValue() const
{
    return 0.0;
}

QVariant WaveformAccessible::minimumStepSize() const
{
    return 1.0;
}

WaveformView& WaveformAccessible::view() const
{
    return *static_cast<WaveformView*>(widget());
}

QAccessibleInterface* AccessibleWaveform(const QString& className, QObject* object)
{
    if (className == QLatin1String(WaveformView::staticMetaObject.className()))
        return new WaveformAccessible(static_cast<WaveformView*>(object));
    return nullptr;
}

} // namespace waveform
