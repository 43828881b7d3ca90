// The sizes the program keeps (the note size in the store and on the Options
// dialog's sliders, the cascade step, the recorder's layout) are pixels of a
// 96-DPI screen, so that a store means the same on every screen. They are
// drawn larger on a screen set to more dots per inch.
#ifndef APPUNTELLO_BASE_SCREEN_SCALE_H
#define APPUNTELLO_BASE_SCREEN_SCALE_H

constexpr int UnscaledDpi = 96;

// A length of a 96-DPI screen on a screen of `dpi` dots per inch, rounded to
// the nearest pixel and kept within what a window coordinate holds. A DPI the
// system could not tell (0 or less) leaves the length as it is.
int ScaleForDpi(int length, int dpi);

// The screen's dots per inch, read at the first call: the program declares
// itself aware of the system's setting, which cannot change while it runs.
int ScreenDpi();

// A 96-DPI length on this screen.
int ToScreenPixels(int length);

#endif
