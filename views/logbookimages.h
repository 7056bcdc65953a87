#pragma once

#include <QIcon>
#include <QPixmap>

// The 15 pictures of the log book, drawn in code (16 x 16):
//  0/1 visited site (normal/selected), 2/3 hidden visited site, 4/5 link site, 7/6 hidden link
//  (7 normal, 6 selected), 8 "SITES", 9/10 "CATEGORIES", 11 open category, 12 closed category,
//  13/14 site inside a category.
constexpr int kLogBookImageCount = 15;
constexpr int kLogBookImageSize = 16;

// An index outside 0..14 gives a transparent picture.
QPixmap LogBookImage(int index);
// The icon of a tree item: `normal` when not selected, `selected` when selected.
QIcon LogBookIcon(int normal, int selected);
