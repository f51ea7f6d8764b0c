// Where the Find dialog goes so that it leaves the text it found in sight.
#include "logwindow/find_placement.h"

#include <algorithm>

namespace {

bool Overlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// `start` moved so that `length` from it lies within [low, high); when it
// cannot, at `low`, so that the caption stays within reach.
LONG Within(LONG start, LONG length, LONG low, LONG high)
{
    return std::max(low, std::min(start, high - length));
}

}  // namespace

RECT PlaceFindDialog(const RECT& found, const RECT& dialog, const RECT& workArea)
{
    if (!Overlap(found, dialog)) {
        return dialog;
    }
    const LONG width = dialog.right - dialog.left;
    const LONG height = dialog.bottom - dialog.top;
    const LONG roomBelow = workArea.bottom - found.bottom;
    const LONG roomAbove = found.top - workArea.top;
    LONG top = found.bottom;
    if (height > roomBelow) {
        // Above when it fits there; otherwise on the roomier side, as far
        // from the text as the work area allows.
        top = height <= roomAbove || roomAbove > roomBelow ? found.top - height : found.bottom;
    }
    top = Within(top, height, workArea.top, workArea.bottom);
    const LONG left = Within(dialog.left, width, workArea.left, workArea.right);
    return RECT{left, top, left + width, top + height};
}
