#include "base/screen_scale.h"

#include <windows.h>

namespace {

// What window coordinates and sizes travel in (WM_SIZE, WM_MOVE, lParam points).
constexpr long long LargestCoordinate = 32767;

int ReadScreenDpi()
{
    HDC screen = GetDC(nullptr);
    if (!screen)
        return UnscaledDpi;
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : UnscaledDpi;
}

} // namespace

int ScaleForDpi(int length, int dpi)
{
    if (dpi <= 0)
        return length;
    // Rounded half away from zero, as MulDiv does, without its -1 on overflow.
    long long product = static_cast<long long>(length) * dpi;
    long long half = UnscaledDpi / 2;
    long long scaled = (product >= 0 ? product + half : product - half) / UnscaledDpi;
    if (scaled > LargestCoordinate)
        return static_cast<int>(LargestCoordinate);
    if (scaled < -LargestCoordinate)
        return static_cast<int>(-LargestCoordinate);
    return static_cast<int>(scaled);
}

int ScreenDpi()
{
    static const int dpi = ReadScreenDpi();
    return dpi;
}

int ToScreenPixels(int length)
{
    return ScaleForDpi(length, ScreenDpi());
}
