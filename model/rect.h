#pragma once

// Integer rectangle and point in map world units (x to the right, y downward).
struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct CPoint {
    int x = 0;
    int y = 0;
};
