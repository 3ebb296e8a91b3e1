#include "LabelFit.h"

#include <algorithm>
#include <string>

int LabelTextWidth(const TLabel &Label) {
  std::string text = Label.Text();
  std::erase(text, '&');
  HDC dc = GetDC(Label.Handle());
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(Label.Handle(), WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(Label.Handle(), dc);
  return size.cx;
}

namespace {

std::string Describe(const TBounds &B) {
  return "(" + std::to_string(B.Left) + ", " + std::to_string(B.Top) + ", " + std::to_string(B.Width) + ", " +
         std::to_string(B.Height) + ")";
}

} // namespace

::testing::AssertionResult FitsItsText(const TLabel &Label, const TBounds &LaidOut, TAlignment Alignment) {
  const TBounds b = Label.Bounds();
  RECT client;
  GetClientRect(GetParent(Label.Handle()), &client);
  const int text = LabelTextWidth(Label);
  const std::string seen = "label \"" + Label.Text() + "\", text " + std::to_string(text) + " px, laid out " +
                           Describe(LaidOut) + ", now " + Describe(b) + ", client width " +
                           std::to_string(client.right);
  const auto fail = [&](const char *What) { return ::testing::AssertionFailure() << What << ": " << seen; };

  const int laidRight = LaidOut.Left + LaidOut.Width;
  if (text <= LaidOut.Width) {
    if (b.Left != LaidOut.Left || b.Top != LaidOut.Top || b.Width != LaidOut.Width || b.Height != LaidOut.Height)
      return fail("the text fits, yet the bounds changed");
    return ::testing::AssertionSuccess();
  }
  if (b.Top != LaidOut.Top || b.Height != LaidOut.Height)
    return fail("top or height changed");
  if (b.Left < 0 || b.Left + b.Width > client.right)
    return fail("widened past the client area");
  if (b.Left > LaidOut.Left || b.Left + b.Width < laidRight)
    return fail("narrower than laid out");
  int room = client.right;
  if (Alignment == TAlignment::taLeftJustify) {
    if (b.Left != LaidOut.Left)
      return fail("a left-aligned label keeps its left edge");
    room = client.right - LaidOut.Left;
  } else if (Alignment == TAlignment::taRightJustify) {
    if (b.Left + b.Width != laidRight)
      return fail("a right-aligned label keeps its right edge");
    room = laidRight;
  }
  if (b.Width != std::min(text, room))
    return fail("not as wide as its text, nor as wide as the room allows");
  if (b.Width < text && !(GetWindowLongPtrA(Label.Handle(), GWL_STYLE) & SS_ENDELLIPSIS))
    return fail("cut without an ellipsis");
  return ::testing::AssertionSuccess();
}
