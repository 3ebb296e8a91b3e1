#include "FormViewer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <set>

#include "ChartsHere.h"
#include "DialogDriver.h"
#include "NKFChartWriter.h"
#include "TempDir.h"
#include "VmGeodetics.h"
#include "VmNightscreen.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;

// A chart of our writer: Mercator on WGS 84 from its top-left corner (North,
// West) to its bottom-right one (South, East), with real tiles.
struct TChartPlan {
  const char *FileName;
  const char *Title;
  int32_t Scale;
  int32_t Width, Height;
  double North, West, South, East;
};

// Two charts: the overview and, inside it, a harbour chart four times finer.
const TChartPlan Overview{"overview.nkf2", "Welmeland overview", 150000, 1024, 768, 53.0, 4.0, 52.5, 5.0};
const TChartPlan Harbour{"harbour.nkf2", "Baarsum harbour", 12500, 768, 768, 52.85, 4.30, 52.75, 4.45};

TNKFChartDescription ChartOf(const TChartPlan &Plan, std::vector<TNKFWriterLink> Links = {}) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, Plan.Width, Plan.Height);
  NKFFillSampleTiles(chart);
  chart.Tag.Text1 = Plan.Title;
  chart.Tag.Number1 = Plan.Scale;
  chart.Tag.Links = std::move(Links);
  const TDoublePoint corners[2] = {{Plan.North * Degree, Plan.West * Degree}, {Plan.South * Degree, Plan.East * Degree}};
  for (int i = 0; i < 2; ++i)
    chart.Tag.MapPoints[static_cast<size_t>(i)] = MercatorForward(corners[i], WGS84Datum()->Ellipsoid);
  return chart;
}

// The latitude at a fraction of the way down a Mercator chart, worked out
// here from the ellipsoid's formula, apart from the library's projection.
double MercatorLatitude(const TChartPlan &Plan, double Fraction) {
  const double a = 6378137, f = 1 / 298.257223563, e = std::sqrt(f * (2 - f));
  const auto northing = [&](double Latitude) {
    const double phi = Latitude * Degree, s = e * std::sin(phi);
    return a * std::log(std::tan(std::numbers::pi / 4 + phi / 2) * std::pow((1 - s) / (1 + s), e / 2));
  };
  const double wanted = northing(Plan.North) + Fraction * (northing(Plan.South) - northing(Plan.North));
  double lo = Plan.South - 1, hi = Plan.North + 1;
  for (int i = 0; i < 100; ++i) {
    const double mid = (lo + hi) / 2;
    (northing(mid) < wanted ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

// Degrees and decimal minutes as the status bar shows them ("52° 22.123' N"),
// back to signed degrees; NaN when the text holds none.
double ParseAngle(const std::string &Text) {
  int degrees = 0;
  double minutes = 0;
  char hemisphere = 0;
  if (std::sscanf(Text.c_str(), "%d\xB0 %lf' %c", &degrees, &minutes, &hemisphere) != 3)
    return std::nan("");
  const double value = degrees + minutes / 60;
  return hemisphere == 'S' || hemisphere == 'W' ? -value : value;
}

// The first two angles of a readout part: latitude, longitude.
std::pair<double, double> ParsePosition(const std::string &Text) {
  const size_t second = Text.find_first_of("NS");
  if (second == std::string::npos)
    return {std::nan(""), std::nan("")};
  size_t start = second + 1;
  while (start < Text.size() && Text[start] == ' ')
    ++start;
  return {ParseAngle(Text), ParseAngle(Text.substr(start))};
}

class FormViewer : public ::testing::Test {
protected:
  void SetUp() override {
    FApplication = std::make_unique<TApplication>();
    FApplication->Initialize();
    NKFWriteChartFile(FDir.File(Overview.FileName), ChartOf(Overview, {{0, Harbour.Title, Harbour.FileName}}));
    NKFWriteChartFile(FDir.File(Harbour.FileName), ChartOf(Harbour));
    WriteFileBytes(FDir.File("damaged.nkf2"), "Vlm NKF2 but nothing after it");
  }
  void TearDown() override {
    FForm.reset();
    FApplication->ProcessMessages();
    FApplication.reset();
  }

  // The set as the installed one: the two charts and a damaged file.
  TFormViewerServices Installed() {
    TFormViewerServices services;
    services.OpenInstalledSet = [this](std::vector<TViewerChart> &Charts) {
      Charts = OpenInListOrder({FDir.File("damaged.nkf2"), FDir.File(Harbour.FileName), FDir.File(Overview.FileName)});
      return true;
    };
    return services;
  }

  TFormViewer &CreateForm(TFormViewerServices Services, const std::string &StartFile = {}) {
    FForm = std::make_unique<TFormViewer>(FApplication.get(), StartFile, std::move(Services));
    FApplication->SetMainForm(FForm.get());
    FForm->Show();
    FApplication->ProcessMessages();
    return *FForm;
  }

  // Pumps until every tile the view shows is loaded (or marked failed).
  bool WaitForTiles() {
    return PumpMessagesUntil([this] {
      const TNKFTileManagerState state = GetTileManager()->GetState();
      return state.LoadQueue.empty() && !state.HasCurrentTile && state.Visible.empty() &&
             FForm->View->HeldTiles() + Failed() == FForm->View->ShownTiles().size();
    });
  }
  size_t Failed() const {
    size_t count = 0;
    for (const TViewTileKey &tile : FForm->View->ShownTiles())
      count += FForm->View->TileFailed(tile) ? 1 : 0;
    return count;
  }

  void Key(WORD Key) {
    PostMessageA(FForm->View->Handle(), WM_KEYDOWN, Key, 1);
    FApplication->ProcessMessages();
  }
  void Char(char C) {
    PostMessageA(FForm->View->Handle(), WM_CHAR, static_cast<WPARAM>(C), 1);
    FApplication->ProcessMessages();
  }
  void Menu(int Command) {
    PostMessageA(FForm->Handle(), WM_COMMAND, MAKEWPARAM(Command, 0), 0);
    FApplication->ProcessMessages();
  }
  void MouseTo(int X, int Y) {
    SendMessageA(FForm->View->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(X, Y));
  }
  // The cursor itself put on a client pixel of the view, and the move the
  // view is told of, as a user's hand would.
  void PlaceCursor(int X, int Y) {
    POINT screen{X, Y};
    ClientToScreen(FForm->View->Handle(), &screen);
    SetCursorPos(screen.x, screen.y);
    MouseTo(X, Y);
    FApplication->ProcessMessages();
  }
  // The overview's position under client pixel (X, Y) as the view stands,
  // worked out here: the pixel shows the chart under its centre.
  static std::pair<double, double> OverviewPositionAt(const TChartViewport &View, int X, int Y) {
    const double px = View.Origin().X + (X + 0.5) / View.Zoom(), py = View.Origin().Y + (Y + 0.5) / View.Zoom();
    return {MercatorLatitude(Overview, py / Overview.Height),
            Overview.West + (Overview.East - Overview.West) * px / Overview.Width};
  }
  // Both position lines of the status bar name that position.
  void ExpectReadoutAt(int X, int Y, const char *When) {
    const auto [latitude, longitude] = OverviewPositionAt(FForm->View->View(), X, Y);
    for (int part : {TFormViewer::spDatum, TFormViewer::spWGS84}) {
      const std::string text = FForm->StatusBar->PartText(part);
      const auto [lat, lon] = ParsePosition(text);
      // Three decimals of a minute: half of 0.001' rounds.
      EXPECT_NEAR(lat, latitude, 0.0006 / 60) << When << ": " << text;
      EXPECT_NEAR(lon, longitude, 0.0006 / 60) << When << ": " << text;
    }
  }

  TTempDir FDir;
  std::unique_ptr<TApplication> FApplication;
  std::unique_ptr<TFormViewer> FForm;
};

TEST_F(FormViewer, ListsTheSetCoarsestFirstWithTheDamagedChartGreyedAndShowsTheOverview) {
  TFormViewer &form = CreateForm(Installed());
  ASSERT_EQ(form.Charts().size(), 3u);
  EXPECT_EQ(form.ChartList->Caption(0), Overview.Title);
  EXPECT_EQ(form.ChartList->Caption(1), Harbour.Title);
  EXPECT_EQ(form.ChartList->Caption(2), "damaged.nkf2");
  EXPECT_FALSE(form.Charts()[2].Usable());
  EXPECT_FALSE(form.ChartList->SubItem(2, 2).empty()) << "the error is listed";
  // The installed set opens as one chart.
  EXPECT_TRUE(form.WholeSet());
  EXPECT_EQ(form.Shown(), -1);
  EXPECT_EQ(form.Text(), std::string(FormViewerText::WholeSet) + " - " + FormViewerText::Caption);
  ASSERT_TRUE(WaitForTiles());
  EXPECT_GT(form.View->HeldTiles(), 0u);
  EXPECT_EQ(Failed(), 0u);
  EXPECT_EQ(form.StatusBar->PartText(TFormViewer::spZoom).rfind("1 : ", 0), 0u) << "the scale at the centre";
  // A chart of the list is shown alone.
  form.ChartList->Select(0);
  FApplication->ProcessMessages();
  EXPECT_FALSE(form.WholeSet());
  EXPECT_EQ(form.Shown(), 0);
  EXPECT_EQ(form.Text(), std::string(Overview.Title) + " - " + FormViewerText::Caption);
  ASSERT_TRUE(WaitForTiles());
  // The shown chart's links are a menu of their own; a link opens its chart.
  EXPECT_EQ(MenuItemCaption(form.Menu->Handle(), 2), "&Linked charts");
  EXPECT_EQ(MenuItemCaption(GetSubMenu(form.Menu->Handle(), 2), 0), Harbour.Title);
  Menu(cmLinkFirst);
  EXPECT_EQ(form.Shown(), 1);
  EXPECT_EQ(MenuItemCaption(GetSubMenu(form.Menu->Handle(), 2), 0), FormViewerText::NoLinks)
      << "the harbour links to nothing";
}

// A first-version chart whose level records claim eight times its size
// opens (its tile count adds up) but would show holes and compose huge
// surfaces: it is listed greyed, with the level at fault, and never shown.
TEST_F(FormViewer, AChartWhoseLevelsCannotBeDrawnIsListedGreyedWithTheReason) {
  TNKFChartDescription d = NKFSampleChart(NKFVersion1_0_0_0, 512, 512);
  d.Tag.Text1 = "Oversized levels";
  uint32_t tiles = 0;
  for (size_t i = 1; i < NKFLevelCount; ++i) {
    TNKFLevel &l = d.Levels[i];
    l.Width *= 8, l.Height *= 8;
    l.TilesX = (l.Width + 255) / 256, l.TilesY = (l.Height + 255) / 256;
  }
  for (const TNKFLevel &l : d.Levels)
    tiles += l.TilesX * l.TilesY;
  d.TileBlobs.resize(tiles, 0);
  NKFWriteChartFile(FDir.File("oversized.nkf2"), d);
  TFormViewerServices services;
  services.OpenInstalledSet = [this](std::vector<TViewerChart> &Charts) {
    Charts = OpenInListOrder({FDir.File("oversized.nkf2"), FDir.File(Overview.FileName)});
    return true;
  };
  TFormViewer &form = CreateForm(std::move(services));
  ASSERT_EQ(form.Charts().size(), 2u);
  EXPECT_EQ(form.ChartList->Caption(0), Overview.Title);
  EXPECT_EQ(form.ChartList->Caption(1), "Oversized levels");
  EXPECT_FALSE(form.Charts()[1].Usable());
  EXPECT_NE(form.Charts()[1].Chart, nullptr) << "it opened";
  EXPECT_TRUE(form.ChartList->IsGreyed(1));
  EXPECT_EQ(form.ChartList->SubItem(1, 2),
            "The chart's picture is damaged and cannot be shown: Level 1 (2048 x 2048 pixels in 8 x 8 tiles) is not "
            "half of level 0 (512 x 512 pixels).");
  EXPECT_TRUE(form.WholeSet()) << "the set view, without the chart that cannot be drawn";
  EXPECT_EQ(form.View->SetView().Charts().size(), 1u);
  EXPECT_TRUE(WaitForTiles());
}

TEST_F(FormViewer, NotInstalledSaysSoAndStillOpensAChartFile) {
  TFormViewerServices none;
  none.OpenInstalledSet = [](std::vector<TViewerChart> &) { return false; };
  std::vector<TDialogInfo> seen;
  TDialogScript script([&](TDialogDriver &driver) {
    if (auto dialog = driver.WaitForDialog()) {
      seen.push_back(*dialog);
      driver.Click(*dialog, "OK");
    }
  });
  TFormViewer &form = CreateForm(std::move(none), FDir.File(Harbour.FileName));
  EXPECT_TRUE(PumpMessagesUntil([&] { return script.Done(); }));
  script.Wait();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Text, FormViewerText::NotInstalled);
  EXPECT_FALSE(form.Installed());
  ASSERT_EQ(form.Charts().size(), 1u);
  EXPECT_EQ(form.Shown(), 0);
  EXPECT_EQ(form.View->Chart(), form.Charts()[0].Chart.get());
  EXPECT_TRUE(WaitForTiles());
}

TEST_F(FormViewer, KeysAndTheWheelScrollAndZoomAboutTheCursor) {
  TFormViewer &form = CreateForm(Installed());
  form.ShowChart(0);
  TChartViewport &view = form.View->View();
  const double fitted = view.Zoom();
  // Steps land on the levels and halfway between them (in powers of two).
  Char('+');
  Char('+');
  const double steps = 2 * std::log2(view.Zoom());
  EXPECT_NEAR(steps, std::round(steps), 1e-9);
  EXPECT_GT(view.Zoom(), fitted * std::sqrt(2.0));
  EXPECT_LE(view.Zoom(), fitted * 2);
  const TDoublePoint before = view.Origin();
  Key(VK_RIGHT);
  Key(VK_DOWN);
  EXPECT_NEAR(view.Origin().X - before.X, TChartView::ArrowStep / view.Zoom(), 1e-6);
  EXPECT_NEAR(view.Origin().Y - before.Y, TChartView::ArrowStep / view.Zoom(), 1e-6);
  // A scroll bar's arrow moves the chart by a step on its own axis alone.
  const TDoublePoint arrowed = view.Origin();
  SendMessageA(form.View->Handle(), WM_HSCROLL, MAKEWPARAM(SB_LINEUP, 0), 0);
  EXPECT_NEAR(view.Origin().X - arrowed.X, -TChartView::ArrowStep / view.Zoom(), 1e-6);
  EXPECT_EQ(view.Origin().Y, arrowed.Y);

  // The wheel zooms about the cursor: the chart point under it stays.
  const int x = view.ClientWidth() / 3, y = view.ClientHeight() / 4;
  const TDoublePoint under = view.ClientToChart({double(x), double(y)});
  POINT screen{x, y};
  ClientToScreen(form.View->Handle(), &screen);
  SendMessageA(form.View->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
  const TDoublePoint after = view.ChartToClient(under);
  EXPECT_NEAR(after.X, x, 0.5);
  EXPECT_NEAR(after.Y, y, 0.5);
  EXPECT_GT(view.Zoom(), fitted * 2);
  ASSERT_TRUE(WaitForTiles());

  Key(VK_HOME);
  EXPECT_DOUBLE_EQ(view.Zoom(), fitted);
  Menu(cmZoomIn);
  EXPECT_GT(view.Zoom(), fitted);
  Menu(cmFit);
  EXPECT_DOUBLE_EQ(view.Zoom(), fitted);
}

TEST_F(FormViewer, TheCursorReadoutGivesThePositionUnderTheCursor) {
  TFormViewer &form = CreateForm(Installed());
  form.ShowChart(0);
  const TChartViewport &view = form.View->View();
  struct TCase {
    double FractionX, FractionY;
  };
  for (const TCase c : {TCase{0.5, 0.5}, TCase{0.1, 0.9}, TCase{0.8, 0.2}}) {
    const TDoublePoint client = view.ChartToClient({c.FractionX * Overview.Width, c.FractionY * Overview.Height});
    const int x = static_cast<int>(std::lround(client.X)), y = static_cast<int>(std::lround(client.Y));
    MouseTo(x, y);
    // Where the cursor really is in the chart: the middle of its pixel, half
    // a screen pixel (some 80 m at this zoom) from the pixel's corner.
    ExpectReadoutAt(x, y, "pointed at");
    EXPECT_FALSE(form.StatusBar->PartText(TFormViewer::spGrid).empty());
  }
  SendMessageA(form.View->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(form.StatusBar->PartText(TFormViewer::spWGS84), "");
}

TEST_F(FormViewer, TheReadoutFollowsTheChartMovingUnderARestingCursor) {
  TFormViewer &form = CreateForm(Installed());
  form.ShowChart(0);
  // Above whatever other test programs show on the same display, so that the
  // cursor stays on this view; the cursor goes back where it was, out of the
  // way of the tests that follow (a menu opened under it).
  SetWindowPos(form.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  POINT was{};
  GetCursorPos(&was);
  struct TPutBack {
    POINT At;
    ~TPutBack() { SetCursorPos(At.x, At.y); }
  } putBack{was};
  TChartViewport &view = form.View->View();
  view.ZoomAt(1.0, {0, 0});
  view.ScrollTo(0, 0);
  form.View->ViewChanged();
  const int x = view.ClientWidth() * 2 / 3, y = view.ClientHeight() / 3;
  PlaceCursor(x, y);
  ExpectReadoutAt(x, y, "resting");

  // Keys move the chart under the cursor, which does not move: no mouse
  // message comes, and the readout must follow all the same.
  for (const WORD key : {WORD{VK_RIGHT}, WORD{VK_NEXT}}) {
    const auto before = OverviewPositionAt(view, x, y);
    Key(key);
    ASSERT_NE(OverviewPositionAt(view, x, y), before) << "key " << key << " moved nothing";
    ExpectReadoutAt(x, y, key == VK_RIGHT ? "after Right" : "after Page Down");
  }

  // A wheel notch out at the chart's top-left corner: the edge keeps the
  // view from zooming about the cursor, and the chart slides under it.
  view.ScrollTo(0, 0);
  form.View->ViewChanged();
  const auto before = OverviewPositionAt(view, x, y);
  POINT screen{x, y};
  ClientToScreen(form.View->Handle(), &screen);
  SendMessageA(form.View->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
  FApplication->ProcessMessages();
  ASSERT_LT(view.Zoom(), 1.0);
  ASSERT_NE(OverviewPositionAt(view, x, y), before) << "the wheel zoomed about the cursor after all";
  ExpectReadoutAt(x, y, "after a wheel notch at the edge");

  // The cursor gone, the chart moving under nothing reads nothing.
  SendMessageA(form.View->Handle(), WM_MOUSELEAVE, 0, 0);
  Key(VK_LEFT);
  EXPECT_EQ(form.StatusBar->PartText(TFormViewer::spWGS84), "");
}

TEST_F(FormViewer, ChartsHereOffersTheFinerChartFirstAndOpensItAtTheSamePlace) {
  TFormViewer &form = CreateForm(Installed());
  form.ShowChart(0);
  const TChartViewport &view = form.View->View();
  // The harbour's middle, in the overview.
  const TDoublePoint middle{(Harbour.North + Harbour.South) / 2 * Degree, (Harbour.West + Harbour.East) / 2 * Degree};
  const TDoublePoint inHarbour = view.ChartToClient(form.View->Chart()->Calibration->WGS84ToPixel(middle));
  const int x = static_cast<int>(inHarbour.X), y = static_cast<int>(inHarbour.Y);
  EXPECT_EQ(form.ChartsHereAt(x, y), (std::vector<int>{1, 0}));
  const TDoublePoint corner = view.ChartToClient({10, 10});
  EXPECT_EQ(form.ChartsHereAt(static_cast<int>(corner.X), static_cast<int>(corner.Y)), (std::vector<int>{0}))
      << "only the overview covers its corner";

  // The user right-clicks there and picks the first chart of the menu.
  // The menu is looked for among this thread's windows: the other test
  // programs running beside this one share Wine's window list.
  std::atomic<bool> menuSeen{false};
  const DWORD thread = GetCurrentThreadId();
  const auto menuShown = [thread] {
    bool shown = false;
    EnumerateWindows(thread, [&shown](HWND Window) {
      char name[16] = {};
      GetClassNameA(Window, name, sizeof(name));
      shown = lstrcmpA(name, "#32768") == 0 && IsWindowVisible(Window);
      return !shown;
    });
    return shown;
  };
  TDialogScript script([&](TDialogDriver &driver) {
    for (const DWORD start = GetTickCount(); !menuSeen && GetTickCount() - start < ScaledTimeout(30000);) {
      if (menuShown()) {
        menuSeen = true;
        // The first Down selects the greyed caption line, the second
        // passes the separator to the first chart.
        driver.PostKey(VK_DOWN);
        driver.PostKey(VK_DOWN);
        driver.PostKey(VK_RETURN);
      } else {
        Sleep(50);
      }
    }
  });
  const TDoublePoint clicked = form.View->Chart()->Calibration->PixelToWGS84(view.ClientToChart({double(x), double(y)}));
  PostMessageA(form.View->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(x, y));
  EXPECT_TRUE(PumpMessagesUntil([&] { return script.Done(); }));
  script.Wait();
  FApplication->ProcessMessages();
  ASSERT_TRUE(menuSeen);
  ASSERT_EQ(form.Shown(), 1);
  const TChartViewport &now = form.View->View();
  const TDoublePoint centre = form.View->Chart()->Calibration->PixelToWGS84(
      now.ClientToChart({now.ClientWidth() / 2.0, now.ClientHeight() / 2.0}));
  // Centred on the same place, to within a pixel of the harbour chart.
  EXPECT_NEAR(centre.X, clicked.X, 0.1 / Harbour.Height);
  EXPECT_NEAR(centre.Y, clicked.Y, 0.15 / Harbour.Width);
}

TEST_F(FormViewer, NightColoursDimTheSystemAndComeBackExactlyAlsoWhenClosedAtNight) {
  // The menu bar's colour is the window's own to dim, beside the night screen's.
  const COLORREF window = GetSysColor(COLOR_WINDOW), face = GetSysColor(COLOR_BTNFACE),
                 menuBar = GetSysColor(COLOR_MENUBAR);
  {
    TFormViewer &form = CreateForm(Installed());
    Menu(cmNight);
    EXPECT_TRUE(form.Night());
    EXPECT_NE(GetSysColor(COLOR_WINDOW), window);
    EXPECT_NE(GetSysColor(COLOR_MENUBAR), menuBar);
    ASSERT_TRUE(WaitForTiles());
    Menu(cmNight);
    EXPECT_FALSE(form.Night());
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), window);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), face);
    EXPECT_EQ(GetSysColor(COLOR_MENUBAR), menuBar);
    Menu(cmNight);
    EXPECT_NE(GetSysColor(COLOR_WINDOW), window);
  }
  FForm.reset(); // closed while night colours are on
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), window);
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), face);
  EXPECT_EQ(GetSysColor(COLOR_MENUBAR), menuBar);
}

// The window as the display shows it, frame and menu bar included: read back
// from the screen rather than asked of the window, so that what the system
// draws for it counts as much as what it paints itself.
struct TScreenPixels {
  RECT Area{};
  std::vector<uint32_t> Pixels; // 0x00RRGGBB, rows top first
};

TScreenPixels CaptureScreen(const RECT &Area) {
  TScreenPixels shot;
  shot.Area = Area;
  const int width = Area.right - Area.left, height = Area.bottom - Area.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void *bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, screen, Area.left, Area.top, SRCCOPY | CAPTUREBLT)) {
      GdiFlush();
      const auto *p = static_cast<const uint32_t *>(bits);
      shot.Pixels.assign(p, p + static_cast<size_t>(width) * static_cast<size_t>(height));
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return shot;
}

int Brightness(uint32_t Pixel) { return std::max({Pixel >> 16 & 0xFF, Pixel >> 8 & 0xFF, Pixel & 0xFF}); }

// The brightest channel of any pixel inside (Inside true) or outside the
// rectangle, in screen coordinates; -1 when there is none.
int Brightest(const TScreenPixels &Shot, const RECT &Rect, bool Inside) {
  int brightest = -1;
  const int width = Shot.Area.right - Shot.Area.left;
  for (size_t i = 0; i < Shot.Pixels.size(); ++i) {
    const POINT p{Shot.Area.left + static_cast<int>(i % static_cast<size_t>(width)),
                  Shot.Area.top + static_cast<int>(i / static_cast<size_t>(width))};
    if ((PtInRect(&Rect, p) != FALSE) == Inside)
      brightest = std::max(brightest, Brightness(Shot.Pixels[i]));
  }
  return brightest;
}

// A helmsman's eyes adapt to the dimmed chart: a menu bar, status bar, list
// header or scroll bar left light beside it blinds him. Whatever the system
// colours do not reach must be drawn dark by the window itself.
TEST_F(FormViewer, AtNightNoPartOfTheWindowIsBrighterThanTheDimmedChart) {
  TFormViewer &form = CreateForm(Installed());
  ASSERT_TRUE(WaitForTiles());
  SetForegroundWindow(form.Handle());
  const auto capture = [&] {
    RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    FApplication->ProcessMessages();
    Sleep(200); // the display shows what Wine last flushed to it
    RECT window{}, chart{};
    GetWindowRect(form.Handle(), &window);
    // The chart's part of the view: its client pixels less its scroll bars.
    chart = {0, 0, form.View->View().ClientWidth(), form.View->View().ClientHeight()};
    MapWindowPoints(form.View->Handle(), nullptr, reinterpret_cast<POINT *>(&chart), 2);
    const TScreenPixels shot = CaptureScreen(window);
    return std::pair{Brightest(shot, chart, false), Brightest(shot, chart, true)};
  };
  const int dayOutside = capture().first;
  // The capture sees the light window of the day, or it proves nothing.
  ASSERT_GE(dayOutside, 0xF0) << "the day's window is not light: the capture does not see it";

  Menu(cmNight);
  ASSERT_TRUE(WaitForTiles());
  const auto [nightOutside, nightChart] = capture();
  // White paper, the brightest a chart has, as the night screen dims it.
  const int dimmedWhite = static_cast<int>(GetNightScreen().NightColor32(0xFFFFFFFF) & 0xFF);
  std::printf("night: brightest channel outside the chart %d, in the chart %d (day outside %d)\n", nightOutside,
              nightChart, dayOutside);
  EXPECT_GT(nightChart, 0) << "the chart is drawn at night";
  EXPECT_LE(nightChart, dimmedWhite);
  EXPECT_LE(nightOutside, dimmedWhite) << "brightest channel outside the chart at night (the chart's brightest "
                                       << nightChart << ", day outside " << dayOutside << ")";
  // The same for one chart alone, the list's selection shown.
  form.ShowChart(0);
  ASSERT_TRUE(WaitForTiles());
  EXPECT_LE(capture().first, dimmedWhite) << "one chart at night";

  Menu(cmNight);
  EXPECT_GE(capture().first, 0xF0) << "the light parts come back with the day";
}

// The set view: where a WGS 84 position (degrees) lies in the view's client.
TDoublePoint SetClient(const TFormViewer &Form, double Latitude, double Longitude) {
  return Form.View->SetView().WGS84ToClient({Latitude * Degree, Longitude * Degree});
}

// The chart the status bar names ("<title>  1 : <scale>").
bool NamesChart(const TFormViewer &Form, const TChartPlan &Plan) {
  return Form.StatusBar->PartText(TFormViewer::spChart).rfind(std::string(Plan.Title) + "  1 : ", 0) == 0;
}

// Zooming in about the harbour brings up the harbour chart there, drawn over
// the overview, named in the status bar; the place under the cursor stays.
TEST_F(FormViewer, TheSetViewZoomedInAboutAHarbourShowsTheHarbourChart) {
  TFormViewer &form = CreateForm(Installed());
  ASSERT_TRUE(form.WholeSet());
  ASSERT_TRUE(WaitForTiles());
  const double whole = form.View->SetView().MetresPerPixel();
  const double latitude = (Harbour.North + Harbour.South) / 2, longitude = Harbour.West * 0.3 + Harbour.East * 0.7;
  TDoublePoint client = SetClient(form, latitude, longitude);
  const int x = static_cast<int>(client.X), y = static_cast<int>(client.Y);
  // The place the pixel under the cursor shows: its centre's.
  const TDoublePoint before = form.View->SetView().ClientToWGS84({x + 0.5, y + 0.5});
  POINT screen{x, y};
  ClientToScreen(form.View->Handle(), &screen);
  for (int step = 0; step < 4; ++step)
    SendMessageA(form.View->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
  const TDoublePoint after = form.View->SetView().ClientToWGS84({x + 0.5, y + 0.5});
  // Within a client pixel (the view snaps to whole pixels of its grid).
  const double pixel = form.View->SetView().MetresPerPixel() / 6378137;
  EXPECT_NEAR(after.X, before.X, pixel);
  EXPECT_NEAR(after.Y, before.Y, pixel);
  EXPECT_EQ(form.View->Plan().ChartAt(x, y), 1) << "the harbour chart over the overview";
  MouseTo(x, y);
  EXPECT_TRUE(NamesChart(form, Harbour)) << form.StatusBar->PartText(TFormViewer::spChart);
  const auto [lat, lon] = ParsePosition(form.StatusBar->PartText(TFormViewer::spWGS84));
  EXPECT_NEAR(lat, latitude, 2 * pixel / Degree) << form.StatusBar->PartText(TFormViewer::spWGS84);
  EXPECT_NEAR(lon, longitude, 2 * pixel / Degree / std::cos(latitude * Degree));
  EXPECT_EQ(form.StatusBar->PartText(TFormViewer::spZoom), form.View->SetView().ScaleText());
  EXPECT_EQ(form.ChartsHereAt(x, y), (std::vector<int>{1, 0}));
  ASSERT_TRUE(WaitForTiles());
  EXPECT_EQ(Failed(), 0u);
  std::set<TNKFChart *> charts;
  for (const TViewTileKey &tile : form.View->ShownTiles())
    charts.insert(tile.first);
  EXPECT_EQ(charts.size(), 2u) << "both charts' tiles through the one manager";

  // Home: the whole set again.
  Key(VK_HOME);
  EXPECT_DOUBLE_EQ(form.View->SetView().MetresPerPixel(), whole);
}

// Panning east across the harbour chart's border: the view goes on in the
// overview, the status bar names it, and the tiles of both load.
TEST_F(FormViewer, PanningTheSetViewAcrossABorderGoesOnInTheCoarserChart) {
  TFormViewer &form = CreateForm(Installed());
  TSetViewport &view = form.View->SetView();
  const TDoublePoint middle{(Harbour.North + Harbour.South) / 2 * Degree, (Harbour.West + Harbour.East) / 2 * Degree};
  view.CenterOn(view.ClientToMercator(view.WGS84ToClient(middle)));
  for (int step = 0; step < 8 && form.View->Plan().ChartAt(view.ClientWidth() / 2, view.ClientHeight() / 2) != 1;
       ++step)
    form.View->ZoomStepsAtCentre(1);
  const int x = view.ClientWidth() / 2, y = view.ClientHeight() / 2;
  ASSERT_EQ(form.View->Plan().ChartAt(x, y), 1);
  ASSERT_TRUE(WaitForTiles());
  int steps = 0;
  while (form.View->Plan().ChartAt(x, y) == 1 && steps < 200) {
    Key(VK_RIGHT);
    ++steps;
  }
  EXPECT_EQ(form.View->Plan().ChartAt(x, y), 0) << "after " << steps << " steps east";
  EXPECT_GT(steps, 1);
  const double east = view.ClientToWGS84({x + 0.5, y + 0.5}).Y / Degree;
  EXPECT_NEAR(east, Harbour.East, TChartView::ArrowStep * view.MetresPerPixel() / 6378137 / Degree)
      << "the border crossed where the harbour chart ends";
  MouseTo(x, y);
  EXPECT_TRUE(NamesChart(form, Overview)) << form.StatusBar->PartText(TFormViewer::spChart);
  ASSERT_TRUE(WaitForTiles());
  EXPECT_EQ(Failed(), 0u);
}

// A drag moves what the set view shows and draws only what came into view:
// the picture after it is the one a full redraw makes there.
TEST_F(FormViewer, ADraggedSetViewShowsWhatAFullRedrawShows) {
  TFormViewer &form = CreateForm(Installed());
  TSetViewport &set = form.View->SetView();
  const TDoublePoint middle{(Harbour.North + Harbour.South) / 2 * Degree, Harbour.East * Degree};
  set.CenterOn(set.ClientToMercator(set.WGS84ToClient(middle)));
  set.ZoomAt(set.MetresPerPixel() / 6, {set.ClientWidth() / 2.0, set.ClientHeight() / 2.0});
  form.View->ViewChanged();
  SetForegroundWindow(form.Handle());
  const auto drag = [&](int DX, int DY) {
    const int x = set.ClientWidth() / 2, y = set.ClientHeight() / 2;
    SendMessageA(form.View->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    for (int step = 1; step <= 4; ++step)
      SendMessageA(form.View->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + DX * step / 4, y + DY * step / 4));
    SendMessageA(form.View->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x + DX, y + DY));
    UpdateWindow(form.View->Handle());
  };
  const auto capture = [&] {
    UpdateWindow(form.View->Handle());
    FApplication->ProcessMessages();
    Sleep(200);
    RECT chart{0, 0, set.ClientWidth(), set.ClientHeight()};
    MapWindowPoints(form.View->Handle(), nullptr, reinterpret_cast<POINT *>(&chart), 2);
    return CaptureScreen(chart).Pixels;
  };
  ASSERT_TRUE(WaitForTiles());
  const double x = set.OriginX(), y = set.OriginY();
  // Away and back: the tiles of the first place come from the cache, so
  // nothing arrives to redraw it all.
  drag(-150, 70);
  ASSERT_TRUE(WaitForTiles());
  drag(150, -70);
  EXPECT_EQ(set.OriginX(), x);
  EXPECT_EQ(set.OriginY(), y);
  ASSERT_TRUE(WaitForTiles());
  const std::vector<uint32_t> dragged = capture();
  form.View->SetShowOutlines(false); // a redraw of everything
  const std::vector<uint32_t> redrawn = capture();
  ASSERT_EQ(dragged.size(), redrawn.size());
  ASSERT_FALSE(dragged.empty());
  size_t differ = 0;
  for (size_t i = 0; i < dragged.size(); ++i)
    differ += (dragged[i] & 0xFFFFFF) != (redrawn[i] & 0xFFFFFF) ? 1 : 0;
  EXPECT_EQ(differ, 0u) << "of " << dragged.size() << " pixels";
}

// One chart and back: the same place at the same scale each way.
TEST_F(FormViewer, OneChartAndWholeSetKeepThePlaceAndTheScale) {
  TFormViewer &form = CreateForm(Installed());
  TSetViewport &set = form.View->SetView();
  // Off the harbour chart's middle, but far enough inside it that its own
  // view need not stop at its edge.
  const TDoublePoint place{(Harbour.North * 0.45 + Harbour.South * 0.55) * Degree,
                           (Harbour.West * 0.55 + Harbour.East * 0.45) * Degree};
  set.CenterOn(set.ClientToMercator(set.WGS84ToClient(place)));
  set.ZoomAt(set.MetresPerPixel() / 16, {set.ClientWidth() / 2.0, set.ClientHeight() / 2.0});
  form.View->ViewChanged();
  const TDoublePoint centre{set.ClientWidth() / 2.0, set.ClientHeight() / 2.0};
  const TDoublePoint where = set.ClientToWGS84(centre);
  const double ground = set.GroundMetresPerPixel();

  Char('o');
  ASSERT_FALSE(form.WholeSet());
  EXPECT_EQ(form.Shown(), 1) << "the chart at the centre, alone";
  EXPECT_TRUE(form.Menu->Checked(cmOneChart));
  const TChartViewport &one = form.View->View();
  TNKFChart &harbour = *form.Charts()[1].Chart;
  const TDoublePoint oneCentre{one.ClientWidth() / 2.0, one.ClientHeight() / 2.0};
  const TDoublePoint there = harbour.Calibration->PixelToWGS84(one.ClientToChart(oneCentre));
  const double oneGround = MetresPerClientPixel(harbour, one, oneCentre);
  // Within a client pixel (the chart's view snaps to whole pixels of its level).
  EXPECT_NEAR(there.X, where.X, oneGround / 6378137);
  EXPECT_NEAR(there.Y, where.Y, oneGround / 6378137 / std::cos(where.X));
  // The chart's zooms come in steps: within half a step (2^(1/4)) of the set view's.
  EXPECT_NEAR(std::log2(oneGround / ground), 0, 0.26);
  ASSERT_TRUE(WaitForTiles());

  Menu(cmWholeSet);
  ASSERT_TRUE(form.WholeSet());
  EXPECT_EQ(form.Shown(), -1);
  EXPECT_TRUE(form.Menu->Checked(cmWholeSet));
  const TDoublePoint back = set.ClientToWGS84(centre);
  const double pixel = set.MetresPerPixel() / 6378137;
  EXPECT_NEAR(back.X, there.X, pixel);
  EXPECT_NEAR(back.Y, there.Y, pixel);
  // The same scale, as far as the scale changes over the pixel or two
  // between the places each is taken at (some 3e-6 a pixel here).
  EXPECT_NEAR(set.GroundMetresPerPixel() / oneGround, 1, 1e-5);
  ASSERT_TRUE(WaitForTiles());
}

TEST_F(FormViewer, ADamagedTileIsMarkedAndTheOthersLoad) {
  TNKFChartDescription chart = ChartOf(Harbour);
  chart.Blobs[1] = "not a tile";
  NKFWriteChartFile(FDir.File(Harbour.FileName), chart);
  TFormViewerServices none;
  none.OpenInstalledSet = [](std::vector<TViewerChart> &) { return false; };
  TDialogScript script([](TDialogDriver &driver) {
    if (auto dialog = driver.WaitForDialog())
      driver.Click(*dialog, "OK");
  });
  TFormViewer &form = CreateForm(std::move(none), FDir.File(Harbour.FileName));
  EXPECT_TRUE(PumpMessagesUntil([&] { return script.Done(); }));
  script.Wait();
  // Zoomed in to level 0, where tile 1 is the second of the top row.
  form.View->View().ZoomAt(1.0, {0, 0});
  form.View->View().ScrollTo(0, 0);
  form.View->ViewChanged();
  ASSERT_TRUE(WaitForTiles());
  EXPECT_TRUE(form.View->TileFailed(1));
  EXPECT_EQ(Failed(), 1u);
  EXPECT_GT(form.View->HeldTiles(), 1u);
  EXPECT_EQ(form.StatusBar->PartText(TFormViewer::spState).rfind(FormViewerText::TileFailed, 0), 0u);
  EXPECT_FALSE(GetTileManager()->Finished());

  // The details are a menu command away.
  std::vector<TDialogInfo> seen;
  TDialogScript details([&](TDialogDriver &driver) {
    if (auto dialog = driver.WaitForDialog()) {
      seen.push_back(*dialog);
      driver.Click(*dialog, "OK");
    }
  });
  PostMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(cmTileError, 0), 0);
  EXPECT_TRUE(PumpMessagesUntil([&] { return details.Done(); }));
  details.Wait();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Text.rfind(GetTileManager()->ErrorClass() + ": " + GetTileManager()->ErrorMessage(), 0), 0u)
      << seen[0].Text;
}

TEST_F(FormViewer, AChartRemovedWhileListedHasItsTilesMarkedAndTheViewerGoesOn) {
  TFormViewer &form = CreateForm(Installed());
  form.ShowChart(0);
  ASSERT_TRUE(WaitForTiles());
  ASSERT_TRUE(DeleteFileA(FDir.File(Harbour.FileName).c_str()));
  form.ShowChart(1);
  ASSERT_TRUE(WaitForTiles());
  EXPECT_EQ(Failed(), form.View->View().VisibleTiles().size());
  EXPECT_FALSE(GetTileManager()->Finished());
  form.ShowChart(0);
  ASSERT_TRUE(WaitForTiles());
  EXPECT_EQ(Failed(), 0u) << "the overview's tiles come from the cache or its file";
}

TEST_F(FormViewer, PanningAcrossTheChartKeepsTheManagerWithinItsBudget) {
  TFormViewer &form = CreateForm(Installed());
  form.ShowChart(0);
  constexpr uint32_t Budget = 48 * TChartView::TileBytes;
  GetTileManager()->SetCacheBudget(Budget);
  TChartViewport &view = form.View->View();
  view.ZoomAt(1.0, {0, 0});
  view.ScrollTo(0, 0);
  form.View->ViewChanged();
  for (int step = 0; step < 40; ++step) {
    Key(step < 20 ? VK_NEXT : VK_RIGHT);
    const TNKFTileManagerState state = GetTileManager()->GetState();
    EXPECT_LE(state.CacheBytes + state.VisibleBytes, Budget) << "step " << step;
  }
  ASSERT_TRUE(WaitForTiles());

  // The set view, zoomed in on the harbour chart's border, across both charts.
  ASSERT_TRUE(form.ShowWholeSet());
  GetTileManager()->SetCacheBudget(Budget);
  TSetViewport &set = form.View->SetView();
  set.CenterOn(set.ClientToMercator(set.WGS84ToClient({Harbour.North * Degree, Harbour.West * Degree})));
  set.ZoomAt(set.MetresPerPixel() / 4, {set.ClientWidth() / 2.0, set.ClientHeight() / 2.0});
  form.View->ViewChanged();
  for (int step = 0; step < 40; ++step) {
    Key(step < 20 ? VK_NEXT : VK_RIGHT);
    const TNKFTileManagerState state = GetTileManager()->GetState();
    EXPECT_LE(state.CacheBytes + state.VisibleBytes, Budget) << "set view, step " << step;
  }
  ASSERT_TRUE(WaitForTiles());
  GetTileManager()->SetCacheBudget(TNKFTileManager::DefaultCacheBudget);
}

} // namespace

namespace {

// The user types a file name into the open dialog and presses Open.
void AnswerOpenDialog(TDialogDriver &Driver, const std::string &FileName, std::string &Caption) {
  const auto dialog = Driver.WaitForDialog();
  if (!dialog)
    return;
  Caption = dialog->Caption;
  constexpr int FileNameBox = 0x47C, OldFileNameEdit = 0x480; // cmb13, edt1
  if (!SetDlgItemTextA(dialog->Handle, FileNameBox, FileName.c_str()))
    SetDlgItemTextA(dialog->Handle, OldFileNameEdit, FileName.c_str());
  PostClick(GetDlgItem(dialog->Handle, IDOK));
  Driver.WaitGone(dialog->Handle);
}

} // namespace

TEST_F(FormViewer, FileOpenAddsAnyChartFileToTheListAndShowsIt) {
  TNKFChartDescription other = ChartOf(Harbour);
  other.Tag.Text1 = "Another harbour";
  NKFWriteChartFile(FDir.File("other.nkf2"), other);
  TFormViewer &form = CreateForm(Installed());
  std::string caption;
  TDialogScript script([&](TDialogDriver &driver) { AnswerOpenDialog(driver, FDir.File("other.nkf2"), caption); });
  PostMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(cmOpen, 0), 0);
  EXPECT_TRUE(PumpMessagesUntil([&] { return script.Done(); }));
  script.Wait();
  FApplication->ProcessMessages();
  EXPECT_EQ(caption, "Open");
  ASSERT_EQ(form.Charts().size(), 4u);
  EXPECT_EQ(form.ChartList->Caption(3), "Another harbour");
  EXPECT_EQ(form.Shown(), 3);
  EXPECT_TRUE(WaitForTiles());
}
