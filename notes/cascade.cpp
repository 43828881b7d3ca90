#include "notes/cascade.h"

CascadePoint CascadePosition(unsigned noteCount, int screenWidth, int screenHeight, unsigned step)
{
    unsigned offset = noteCount * step;
    CascadePoint point{0, 0};
    if (screenWidth > 0)
        point.x = static_cast<int>(offset % static_cast<unsigned>(screenWidth));
    if (screenHeight > 0)
        point.y = static_cast<int>(offset % static_cast<unsigned>(screenHeight));
    return point;
}
