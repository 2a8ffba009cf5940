#pragma once

class QWidget;

// A form laid out in pixels in Qt Designer is laid out for a 96-DPI desktop,
// while Qt sizes its fonts for the desktop's DPI: at 150 % its texts no
// longer fit their places. Scales the form's fixed sizes, the geometry of
// every widget that no layout places, and the pixel lengths of its style
// sheets, by the DPI of the screen it will show on over 96, as the desktop
// scales its other windows. Called once, after the form's setup.
void scaleFormToDpi(QWidget *form);
