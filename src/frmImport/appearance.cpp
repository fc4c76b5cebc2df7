#include "appearance.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double relativeLuminance(const QColor &colour)
{
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF())
        + 0.0722 * linear(colour.blueF());
}

// The platform's colours come from the application's palette for the widget's class, not
// from the widget's own, which holds what this file set in it before.
void applyPaleYellow(QWidget *widget, QPalette::ColorRole surface, QPalette::ColorRole text)
{
    const QPalette platform = QApplication::palette(widget);
    const QColor background = QColor::fromRgb(PaleYellow);
    QPalette palette = widget->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, surface, background);
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, text, readableText(platform.color(group, text), background));
    // A platform's greyed text is made for its own surfaces and may vanish on pale yellow
    // (light grey) or look enabled (dark grey); halfway between the text and the fill is
    // greyed on it in every theme.
    const QColor enabled = palette.color(QPalette::Active, text);
    palette.setColor(QPalette::Disabled, text,
        QColor::fromRgbF((enabled.redF() + background.redF()) / 2,
            (enabled.greenF() + background.greenF()) / 2,
            (enabled.blueF() + background.blueF()) / 2));
    widget->setPalette(palette);
}

// Sets the colours again whenever the application's palette changes: a widget with a palette
// of its own keeps the roles set in it, which were chosen against the old platform colours.
// The window hears of the application's change; the widgets inside hear only that their own
// palette changed, and not at all when a style sheet took the palette over, as it does for the
// buttons.
class PaleYellowKeeper : public QObject
{
public:
    PaleYellowKeeper(QWidget *widget, QPalette::ColorRole surface, QPalette::ColorRole text)
        : QObject(widget)
        , m_widget(widget)
        , m_surface(surface)
        , m_text(text)
    {
        widget->installEventFilter(this);
        if (widget->window() != widget)
            widget->window()->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool changed = event->type() == QEvent::ApplicationPaletteChange
            || (event->type() == QEvent::PaletteChange && watched == m_widget);
        // Setting the colours is itself a palette change.
        if (changed && !m_applying) {
            m_applying = true;
            applyPaleYellow(m_widget, m_surface, m_text);
            m_applying = false;
        }
        return false;
    }

private:
    QWidget *m_widget;
    QPalette::ColorRole m_surface;
    QPalette::ColorRole m_text;
    bool m_applying = false;
};

} // namespace

double contrastRatio(const QColor &first, const QColor &second)
{
    const double one = relativeLuminance(first);
    const double other = relativeLuminance(second);
    return (std::max(one, other) + 0.05) / (std::min(one, other) + 0.05);
}

QColor readableText(const QColor &platformText, const QColor &background)
{
    return contrastRatio(platformText, background) >= ReadableContrast ? platformText
                                                                       : QColor(Qt::black);
}

void usePaleYellow(QWidget *widget, QPalette::ColorRole surface, QPalette::ColorRole text)
{
    applyPaleYellow(widget, surface, text);
    new PaleYellowKeeper(widget, surface, text);
}

QString buttonStyleSheet()
{
    const QString fill = QColor::fromRgb(PaleYellow).name();
    return QStringLiteral("QToolButton { background-color: %1; border: 2px outset #c8c896; }"
                          "QToolButton:pressed { border-style: inset; padding: 1px 0 0 1px; }")
        .arg(fill);
}

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 256})
        icon.addFile(size == 16 ? QStringLiteral(":/icons/pantrovo-importer.png")
                                : QStringLiteral(":/icons/pantrovo-importer-%1.png").arg(size),
            QSize(size, size));
    return icon;
}
