#ifndef APPUNTELLO_CASCADE_H
#define APPUNTELLO_CASCADE_H

#include "res/resource.h"

struct CascadePoint {
    int x;
    int y;
};

// Where the note created after noteCount others goes: one step further down
// and right each time (20 pixels of a 96-DPI screen), each coordinate wrapping
// at the screen's extent. Unsigned arithmetic throughout, so a huge count
// wraps instead of overflowing.
CascadePoint CascadePosition(unsigned noteCount, int screenWidth, int screenHeight,
                             unsigned step = CascadeStep);

#endif
