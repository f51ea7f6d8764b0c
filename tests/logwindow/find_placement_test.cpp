#include "logwindow/find_placement.h"

#include <gtest/gtest.h>

namespace {

struct PlacementCase {
    const char* name;
    RECT workArea;  // of the monitor the dialog is on
    RECT found;     // the found text's row
    RECT dialog;
    POINT placed;   // where the dialog's top-left corner goes
};

const PlacementCase kPlacementCases[] = {
    {"clear of the text: stays", {0, 0, 1280, 800}, {0, 100, 800, 116}, {300, 300, 650, 450},
     {300, 300}},
    {"beside the text's row: stays", {0, 0, 1280, 800}, {0, 100, 800, 116}, {850, 50, 1200, 200},
     {850, 50}},
    {"room below: just below", {0, 0, 1280, 800}, {0, 100, 800, 116}, {300, 50, 650, 200},
     {300, 116}},
    // Below would reach 786, behind the taskbar.
    {"taskbar at the bottom: above", {0, 0, 1280, 760}, {0, 620, 800, 636}, {300, 560, 650, 710},
     {300, 470}},
    // Below would reach 66, on the primary monitor under this one.
    {"monitor above the primary: above", {0, -1080, 1920, 0}, {0, -100, 800, -84},
     {300, -200, 650, -50}, {300, -250}},
    {"hanging off a left-hand monitor: moved onto it", {-1920, 0, 0, 1040},
     {-1900, 500, -1100, 516}, {-2000, 450, -1650, 600}, {-1920, 516}},
    {"no room either side: the roomier, inside", {0, 0, 1280, 300}, {0, 100, 800, 116},
     {300, 50, 650, 250}, {300, 100}},
    {"taller than the work area: caption at its top", {0, 0, 1280, 120}, {0, 50, 800, 66},
     {300, 0, 650, 150}, {300, 0}},
};

TEST(FindPlacementTest, LeavesTheFoundTextInSightWithinTheWorkArea)
{
    for (const PlacementCase& row : kPlacementCases) {
        SCOPED_TRACE(row.name);
        const RECT placed = PlaceFindDialog(row.found, row.dialog, row.workArea);
        EXPECT_EQ(placed.left, row.placed.x);
        EXPECT_EQ(placed.top, row.placed.y);
        EXPECT_EQ(placed.right - placed.left, row.dialog.right - row.dialog.left);
        EXPECT_EQ(placed.bottom - placed.top, row.dialog.bottom - row.dialog.top);
    }
}

}  // namespace
