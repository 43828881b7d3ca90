#ifndef APPUNTELLO_CASCADE_H
#define APPUNTELLO_CASCADE_H

// Between two notes in the cascade, in pixels of a 96-DPI screen.
constexpr unsigned CascadeStep = 20;

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
