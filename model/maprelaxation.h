#pragma once

class CSiteDatabase;

// One pass of the map's relaxation: springs pull each visited site towards its words (rest
// length 200) and its link nodes (rest length 1000), visited sites and words push each other
// apart, and the velocities (m_vx, m_vy) are integrated into the positions with each component
// clamped to -5..5 and the positions kept inside 50..1950. Link nodes never move. A spring
// whose two ends coincide has no direction and pulls nothing; no position ever becomes NaN.
// The repulsion sums are made for all nodes at once, on two threads where there are two cores;
// the positions come out exactly as RelaxMapLiteral's.
void RelaxMap(CSiteDatabase& database);
// The same pass node by node, as plainly as it reads: the reference RelaxMap is held to.
void RelaxMapLiteral(CSiteDatabase& database);
