#pragma once

#include <QColor>
#include <QPalette>

class QIcon;
class QString;
class QWidget;

// The fixed background of the buttons, the pick lists and the grid's cells: pale yellow.
inline constexpr QRgb PaleYellow = 0xffffc0;

// The smallest contrast ratio at which normal text counts as readable (WCAG level AA).
inline constexpr double ReadableContrast = 4.5;

// The WCAG contrast ratio of two opaque colours, from 1 (the same) to 21 (black on white).
double contrastRatio(const QColor &first, const QColor &second);

// The platform's text colour where it reads on the background, black where it does not.
QColor readableText(const QColor &platformText, const QColor &background);

// Gives a widget the pale yellow background in the palette role it paints its surface with,
// and a text colour that reads on it in the role its text is drawn with. The widget follows
// later changes of the application's palette, such as a switch to a dark desktop theme.
void usePaleYellow(QWidget *widget, QPalette::ColorRole surface, QPalette::ColorRole text);

// The style sheet of the five buttons: a flat pale-yellow fill in every style, raised, and
// sunken while pressed.
QString buttonStyleSheet();

// The program's icon in all the sizes it is drawn in.
QIcon programIcon();
