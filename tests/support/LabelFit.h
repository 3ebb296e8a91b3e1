// Checks that a label fits its text the way auto-sized labels do, whatever
// font the system gave it: the text is measured in the label's own font and
// compared with the rectangle the label really has. Windows only.
#pragma once

#include <gtest/gtest.h>

#include "Controls.h"

// The width of the label's text in its own font (GetTextExtentPoint32), the
// access key's "&" left out.
int LabelTextWidth(const TLabel &Label);

// The label keeps its laid-out bounds when the text fits in them; otherwise
// it is widened on its alignment's side as far as the text needs but not
// past the client area of its parent, and what still does not fit ends in an
// ellipsis. Top and height never change.
::testing::AssertionResult FitsItsText(const TLabel &Label, const TBounds &LaidOut, TAlignment Alignment);

