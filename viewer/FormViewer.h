// The viewer's main window: the list of charts, the chart view and the status
// bar with the cursor's position, the zoom and the loader's progress; menus
// for opening charts, zooming, night colours, the border and linked charts,
// and "Charts here" on a right click. Windows only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ChartView.h"
#include "ComCtrls.h"
#include "Forms.h"
#include "Menus.h"
#include "ViewerCharts.h"

// What the window asks of the rest of the program; tests put their own set in
// place of the installed one.
struct TFormViewerServices {
  // The installed set, coarsest first; false when it is not installed.
  std::function<bool(std::vector<TViewerChart> &Charts)> OpenInstalledSet;
};

TFormViewerServices DefaultFormViewerServices();

// Menu commands.
enum : int {
  cmOpen = 1001,
  cmExit,
  cmZoomIn,
  cmZoomOut,
  cmFit,
  cmNight,
  cmBorder,
  cmAbout,
  cmTileError,
  cmOneChart,
  cmWholeSet,
  cmOutlines,
  cmLinkFirst = 1100, // one per link of the shown chart
  cmLinkLast = 1199,
};

// The list of charts: title, scale and projection; a chart that cannot be
// shown is greyed, its error in place of its projection.
class TChartList : public TListView {
public:
  explicit TChartList(const TArgs &Args);
  std::function<bool(int Item)> IsGreyed;
  std::function<void()> OnSelect;

protected:
  void SelectionChanged() override;
  LRESULT Notify(NMHDR *Header) override;
};

class TFormViewer : public TForm {
public:
  // StartFile: a chart to show at once (from the command line); empty: none.
  explicit TFormViewer(TApplication *Owner, const std::string &StartFile = {},
                       TFormViewerServices Services = DefaultFormViewerServices());
  ~TFormViewer() override;

  std::unique_ptr<TMainMenu> Menu;
  std::unique_ptr<TChartList> ChartList;
  std::unique_ptr<TChartView> View;
  std::unique_ptr<TStatusBar> StatusBar;
  std::unique_ptr<TProgressBar> ProgressBar;

  // The charts in the list's order.
  const std::vector<TViewerChart> &Charts() const { return FCharts; }
  // The chart shown alone (an index into Charts), or -1 (none, or the whole
  // set).
  int Shown() const { return View->WholeSet() ? -1 : FShown; }
  // The installed set is shown as one chart.
  bool WholeSet() const { return View->WholeSet(); }
  bool Installed() const { return FInstalled; }
  bool Night() const { return FNight; }

  // Shows chart Index of the list (selecting it), whole.
  void ShowChart(int Index);
  // The installed set as one chart: where the chart shown alone stood, at
  // its scale (the set's own place when none is); false without a set.
  bool ShowWholeSet();
  // The chart under the set view's centre, alone, at the same place and
  // scale (the last chart shown alone when none is there).
  void ShowOneChart();
  // Opens a chart file, adds it to the list unless listed, and shows it;
  // false with a message when it cannot be shown.
  bool OpenFile(const std::string &FileName);
  // The "Charts here" choices at a client point of the view: indices into
  // Charts, most detailed first.
  std::vector<int> ChartsHereAt(int X, int Y);
  // Shows chart Index centred on the position under the view's client point,
  // at about the same ground distance per screen pixel.
  void SwitchChartAt(int Index, int X, int Y);
  void SetNight(bool Value);

  // Status bar parts: the chart under the cursor (title and scale), the
  // cursor's position in its datum, in WGS 84 and on its grid, the zoom (the
  // scale at the view's centre in the set view) and the loader's state.
  enum { spChart, spDatum, spWGS84, spGrid, spZoom, spState, spCount };

protected:
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  void CreateMenus();
  void Layout();
  void Command(int Id);
  void OpenFileDialog();
  void Startup();
  void AddCharts(std::vector<TViewerChart> Charts);
  void FillList();
  void UpdateCaption();
  void UpdateLinks();
  void UpdateZoom();
  void UpdateModeMenu();
  void ShowCursor(const POINT *ClientPixel);
  void ContextMenu(int X, int Y);
  void Progress(int Done, int Total);
  void LoaderReported();
  void FollowLink(int Link);
  void SystemColorsChanged();
  void SetNightMenuBar(bool Value);
  void SetNightIcon(bool Value);
  // The WGS 84 position under a client point of the view, in either mode,
  // and the ground metres a client pixel covers there.
  TDoublePoint PositionAt(int X, int Y) const;
  double MetresPerPixelAt(int X, int Y) const;
  // The loader's last failure: class, message and stack trace.
  std::string LoaderError() const;

  TFormViewerServices FServices;
  std::string FStartFile;
  std::vector<TViewerChart> FCharts;
  int FShown = -1;
  bool FInstalled = false;
  bool FNight = false;
  // The menu bar's own colour and brush while night colours are on.
  COLORREF FDayMenuBar = 0;
  HBRUSH FNightMenuBrush = nullptr;
  // The title bar's icon of the day, and its dimmed copy shown at night.
  HICON FDayIcon = nullptr;
  HICON FNightIcon = nullptr;
};

namespace FormViewerText {
inline constexpr char Caption[] = "ORVA Welmeland 2003 Viewer";
inline constexpr char NotInstalled[] =
    "The ORVA Welmeland 2003 charts are not installed on this computer.\r\n\r\n"
    "Run the ORVA Welmeland 2003 Installer to install them. File > Open still opens any chart file (.nkf2).";
inline constexpr char TileFailed[] = "A tile could not be loaded: ";
inline constexpr char NoTileError[] = "No tile has failed to load.";
inline constexpr char LoaderEnded[] = "The chart loader has stopped; no more tiles will be loaded.";
inline constexpr char CannotShow[] = "The chart cannot be shown.";
inline constexpr char ChartsHere[] = "Charts here";
inline constexpr char WholeSet[] = "Whole set";
inline constexpr char NoLinks[] = "(none)";
inline constexpr char About[] =
    "ORVA Welmeland 2003 Viewer\r\n\r\nShows the charts of the ORVA Welmeland 2003 set and any other chart file "
    "(.nkf2).";
} // namespace FormViewerText
