#ifndef APPUNTELLO_CASCADE_H
#define APPUNTELLO_CASCADE_H

struct CascadePoint {
    int x;
    int y;
};

// Where the note created after noteCount others goes: 20 pixels further down
// and right each time, each coordinate wrapping at the screen's extent.
// Unsigned arithmetic throughout, so a huge count wraps instead of overflowing.
CascadePoint CascadePosition(unsigned noteCount, int screenWidth, int screenHeight);

#endif
