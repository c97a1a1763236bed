#ifndef VERDANPOST_CONSOLE_WINDOW_TWIPS_H_
#define VERDANPOST_CONSOLE_WINDOW_TWIPS_H_

#include <QRect>

namespace verdanpost {

// The window's layout is given in twips, 15 to a pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

// Left, top, width and height in twips, relative to the parent.
inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
               TwipsToPixels(height));
}

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_TWIPS_H_
