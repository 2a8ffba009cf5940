#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

// The window's background pictures. Every mark sits at the design position of
// the widget it belongs to, since those widgets draw no background of their own.
namespace background {

constexpr QSize designSize(986, 650);
constexpr QSize fillSize(1024, 580);

// The online indication: the only difference between the two backgrounds.
constexpr QRect onlineLine(821, 149, 116, 4);

QImage paintBackground(bool online);

// The bare surface that fills the letter-box bands around the background.
QImage paintFill();

} // namespace background
