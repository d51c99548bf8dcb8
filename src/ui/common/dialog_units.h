#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QListWidget;

namespace tavril {

// Dialog units of the templates' 8-point font, in pixels: x × 1.5, y × 1.625,
// so that the windows keep the proportions of their templates. Both edges of
// a control are converted, so that neighbouring controls stay flush.
int DialogX(int units);
int DialogY(int units);
QRect DialogRect(int x, int y, int width, int height);
QSize DialogSize(int width, int height);

// A font whose average character is at most as wide as the templates' font
// (6 pixels), so that every text fits the control the template gives it.
// Families with the metrics of the templates' font come first; whatever the
// system falls back to is made smaller until it fits.
QFont DialogFont();

// Shrinks a list box, filled and in its final font, to the whole rows that
// fit its template height, as the platform's list boxes do, so that no row
// shows cut in half.
void ShowWholeRows(QListWidget& list);

}  // namespace tavril
