#include "FormViewer.h"

#include <commdlg.h>

#include <algorithm>
#include <cmath>

#include "ChartSetOrder.h"
#include "ChartsHere.h"
#include "OSFile.h"
#include "PositionReadout.h"
#include "SetReadout.h"
#include "SysUtils.h"
#include "VmNightscreen.h"

TChartList::TChartList(const TArgs &Args) : TListView(Args) {
  AddColumn("Chart", 165);
  AddColumn("Scale", 75, TAlignment::taRightJustify);
  AddColumn("Projection", 150);
}

void TChartList::SelectionChanged() {
  if (OnSelect)
    OnSelect();
}

LRESULT TChartList::Notify(NMHDR *Header) {
  if (Header->code != NM_CUSTOMDRAW)
    return TListView::Notify(Header);
  auto *draw = reinterpret_cast<NMLVCUSTOMDRAW *>(Header);
  if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
    return CDRF_NOTIFYITEMDRAW;
  if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && IsGreyed && IsGreyed(static_cast<int>(draw->nmcd.dwItemSpec)))
    draw->clrText = GetSysColor(COLOR_GRAYTEXT);
  return CDRF_DODEFAULT;
}

namespace {

constexpr char FontName[] = "MS Sans Serif";
constexpr int FontHeight = -11;
constexpr int ListWidth = 400;
constexpr int Gap = 4;
// Posted to the form once it shows, for what must come after (a message).
constexpr UINT WM_VIEWERSTARTUP = WM_APP + 1;
// The positions of the menu bar's sub-menus.
constexpr int LinksMenuPosition = 2;

TControlArgs Place(TWinControl *Parent, TBounds Bounds = {}) {
  TControlArgs args;
  args.Parent = Parent;
  args.Bounds = Bounds;
  return args;
}

std::string BaseName(const std::string &FileName) {
  const size_t slash = FileName.find_last_of("\\/:");
  return slash == std::string::npos ? FileName : FileName.substr(slash + 1);
}

std::string ChartTitle(const TViewerChart &Chart) {
  if (Chart.Chart && !Chart.Chart->Text1.empty())
    return Chart.Chart->Text1;
  return BaseName(Chart.FileName);
}

bool SameFile(const std::string &A, const std::string &B) { return SameText(ExpandFileName(A), ExpandFileName(B)); }

// A copy of a colour icon with its pixels dimmed by the night screen, its
// mask kept; null for a monochrome icon or when the system refuses.
HICON DimmedIcon(HICON Icon, const TNightScreen &Night) {
  ICONINFO info{};
  if (!GetIconInfo(Icon, &info))
    return nullptr;
  HICON dimmed = nullptr;
  BITMAP bitmap{};
  if (info.hbmColor && GetObjectA(info.hbmColor, sizeof(bitmap), &bitmap) && bitmap.bmWidth > 0 &&
      bitmap.bmHeight > 0) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = -bitmap.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(bitmap.bmWidth) * static_cast<size_t>(bitmap.bmHeight));
    HDC screen = GetDC(nullptr);
    if (GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(bitmap.bmHeight), pixels.data(), &format,
                  DIB_RGB_COLORS)) {
      for (uint32_t &pixel : pixels)
        pixel = Night.NightColor32(pixel);
      HBITMAP color = CreateCompatibleBitmap(screen, bitmap.bmWidth, bitmap.bmHeight);
      if (color && SetDIBits(screen, color, 0, static_cast<UINT>(bitmap.bmHeight), pixels.data(), &format,
                             DIB_RGB_COLORS)) {
        ICONINFO copy = info;
        copy.hbmColor = color;
        dimmed = CreateIconIndirect(&copy);
      }
      if (color)
        DeleteObject(color);
    }
    ReleaseDC(nullptr, screen);
  }
  if (info.hbmColor)
    DeleteObject(info.hbmColor);
  if (info.hbmMask)
    DeleteObject(info.hbmMask);
  return dimmed;
}

} // namespace

TFormViewerServices DefaultFormViewerServices() {
  TFormViewerServices services;
  services.OpenInstalledSet = [](std::vector<TViewerChart> &Charts) { return OpenInstalledSet(Charts); };
  return services;
}

TFormViewer::TFormViewer(TApplication *, const std::string &StartFile, TFormViewerServices Services)
    : TForm({"TFormViewer", FormViewerText::Caption, TBorderStyle::bsSizeable, true, 1000, 640, FontName, FontHeight}),
      FServices(std::move(Services)), FStartFile(StartFile) {
  CreateMenus();
  TListView::TArgs list;
  static_cast<TControlArgs &>(list) = Place(this);
  list.ReadOnly = true;
  list.RowSelect = true;
  ChartList = std::make_unique<TChartList>(list);
  ChartList->IsGreyed = [this](int Item) {
    return Item >= 0 && Item < static_cast<int>(FCharts.size()) && !FCharts[static_cast<size_t>(Item)].Usable();
  };
  ChartList->OnSelect = [this] {
    const int item = ChartList->Selected();
    if (item >= 0 && item != Shown())
      ShowChart(item);
  };
  View = std::make_unique<TChartView>(Place(this));
  View->OnCursor = [this](const POINT *ClientPixel) { ShowCursor(ClientPixel); };
  View->OnContextMenu = [this](int X, int Y) { ContextMenu(X, Y); };
  View->OnViewChanged = [this] { UpdateZoom(); };
  View->OnChar = [this](char C) {
    if (C == 'w' || C == 'W')
      Command(cmWholeSet);
    else if (C == 'o' || C == 'O')
      Command(cmOneChart);
  };
  StatusBar = std::make_unique<TStatusBar>(Place(this));
  auto progress = Place(StatusBar.get());
  progress.Visible = false;
  ProgressBar = std::make_unique<TProgressBar>(progress);
  SetTabOrder({ChartList.get(), View.get()});
  SetActiveControl(View.get());
  Layout();
  CenterOnScreen();

  TNKFTileManager *manager = GetTileManager();
  manager->SetProgressWindow(reinterpret_cast<TWindowHandle>(Handle()));
  manager->SetEndWindow(reinterpret_cast<TWindowHandle>(Handle()));
  Startup();
}

TFormViewer::~TFormViewer() {
  // The view lets go of its tiles before the charts go; night colours are
  // the system's: they are given back whatever ends the program.
  View->ReleaseChart();
  if (TNKFTileManager *manager = ExistingTileManager()) {
    manager->SetProgressWindow(0);
    manager->SetEndWindow(0);
  }
  FCharts.clear();
  if (FNight) {
    GetNightScreen().SetActive(false);
    SetNightMenuBar(false);
    SetNightIcon(false);
  }
}

void TFormViewer::CreateMenus() {
  Menu = std::make_unique<TMainMenu>(
      Handle(),
      std::vector<TMenuItem>{
          {"&File", 0, {{"&Open...", cmOpen}, {"-"}, {"E&xit", cmExit}}},
          {"&View",
           0,
           {{"Zoom &in\t+", cmZoomIn},
            {"Zoom &out\t-", cmZoomOut},
            {"&Fit to window\tHome", cmFit},
            {"-"},
            {"&Whole set\tW", cmWholeSet},
            {"&One chart\tO", cmOneChart},
            {"-"},
            {"&Night colours", cmNight},
            {"Chart &border", cmBorder},
            {"Chart ou&tlines", cmOutlines}}},
          {"&Linked charts", 0, {{FormViewerText::NoLinks, 0, {}, false, false}}},
          {"&Help", 0, {{"Last tile &error...", cmTileError}, {"-"}, {"&About", cmAbout}}},
      });
}

void TFormViewer::Layout() {
  StatusBar->ParentResized();
  const int width = ClientWidth(), height = ClientHeight() - StatusBar->Height();
  ChartList->SetBounds(0, 0, ListWidth, std::max(height, 0));
  View->SetBounds(ListWidth + Gap, 0, std::max(width - ListWidth - Gap, 0), std::max(height, 0));
  // Room for the longest texts: a chart's title with its scale, a datum's
  // name, the grid in metres.
  const int edges[] = {225, 455, 640, 845, 925, -1};
  StatusBar->SetParts(std::vector<int>(std::begin(edges), std::end(edges)));
  const TBounds part = StatusBar->PartBounds(spState);
  ProgressBar->SetBounds(part.Left + 2, part.Top + 2, std::min(part.Width - 4, 160), part.Height - 4);
}

void TFormViewer::Startup() {
  std::vector<TViewerChart> set;
  FInstalled = FServices.OpenInstalledSet && FServices.OpenInstalledSet(set);
  if (FInstalled)
    AddCharts(std::move(set));
  PostMessageA(Handle(), WM_VIEWERSTARTUP, 0, 0);
}

void TFormViewer::AddCharts(std::vector<TViewerChart> Charts) {
  for (auto &chart : Charts)
    FCharts.push_back(std::move(chart));
  std::vector<TNKFChart *> set;
  std::vector<std::string> names;
  for (const TViewerChart &chart : FCharts) {
    set.push_back(chart.Usable() ? chart.Chart.get() : nullptr);
    names.push_back(ChartTitle(chart));
  }
  View->SetSet(std::move(set), std::move(names));
  FillList();
}

void TFormViewer::FillList() {
  ChartList->BeginUpdate();
  ChartList->Clear();
  for (size_t i = 0; i < FCharts.size(); ++i) {
    const TViewerChart &chart = FCharts[i];
    const int item = ChartList->AddItem(ChartTitle(chart), -1, static_cast<LPARAM>(i));
    if (chart.Chart && chart.Error.empty()) {
      ChartList->SetSubItem(item, 1, ChartScaleText(*chart.Chart));
      ChartList->SetSubItem(item, 2, ChartProjectionText(*chart.Chart));
    } else {
      ChartList->SetSubItem(item, 2, chart.Error);
    }
  }
  ChartList->EndUpdate();
  if (Shown() >= 0)
    ChartList->Select(Shown());
}

void TFormViewer::ShowChart(int Index) {
  if (Index < 0 || Index >= static_cast<int>(FCharts.size()))
    return;
  FShown = Index;
  const TViewerChart &chart = FCharts[static_cast<size_t>(Index)];
  View->SetChart(chart.Usable() ? chart.Chart.get() : nullptr);
  if (ChartList->Selected() != Index)
    ChartList->Select(Index);
  StatusBar->SetPartText(spState, chart.Usable() ? std::string() : chart.Error);
  UpdateCaption();
  UpdateLinks();
  UpdateModeMenu();
}

bool TFormViewer::ShowWholeSet() {
  if (View->SetView().Charts().empty())
    return false;
  TNKFChart *chart = View->Chart();
  if (!View->WholeSet() && chart) {
    const TChartViewport &one = View->View();
    const int x = one.ClientWidth() / 2, y = one.ClientHeight() / 2;
    const TDoublePoint position = PositionAt(x, y);
    const double metres = MetresPerPixelAt(x, y);
    TSetViewport &set = View->SetView();
    const TDoublePoint centre{set.ClientWidth() / 2.0, set.ClientHeight() / 2.0};
    set.CenterOn(set.ClientToMercator(set.WGS84ToClient(position)));
    // Ground metres to the view's Mercator metres: the ratio at the place.
    const double ratio = set.GroundMetresPerPixel() / set.MetresPerPixel();
    if (std::isfinite(metres) && std::isfinite(ratio) && ratio > 0)
      set.ZoomAt(metres / ratio, centre);
  }
  View->ShowSet();
  if (ChartList->Selected() >= 0)
    ChartList->Select(-1);
  StatusBar->SetPartText(spState, "");
  UpdateCaption();
  UpdateLinks();
  UpdateModeMenu();
  return true;
}

void TFormViewer::ShowOneChart() {
  if (!View->WholeSet())
    return;
  const TSetViewport &set = View->SetView();
  const int x = set.ClientWidth() / 2, y = set.ClientHeight() / 2;
  int index = View->Plan().ChartAt(x, y);
  if (index < 0)
    index = FShown;
  for (size_t i = 0; index < 0 && i < FCharts.size(); ++i)
    if (FCharts[i].Usable())
      index = static_cast<int>(i);
  if (index >= 0)
    SwitchChartAt(index, x, y);
}

void TFormViewer::UpdateModeMenu() {
  const bool set = View->WholeSet();
  Menu->SetChecked(cmWholeSet, set);
  Menu->SetChecked(cmOneChart, !set);
  Menu->SetEnabled(cmWholeSet, !View->SetView().Charts().empty());
}

bool TFormViewer::OpenFile(const std::string &FileName) {
  for (size_t i = 0; i < FCharts.size(); ++i)
    if (SameFile(FCharts[i].FileName, FileName) && FCharts[i].Usable()) {
      ShowChart(static_cast<int>(i));
      return true;
    }
  TViewerChart chart = OpenViewerChart(ExpandFileName(FileName));
  const bool usable = chart.Usable();
  if (!usable) {
    ShowMessage(std::string(FormViewerText::CannotShow) + "\r\n\r\n" + FileName + "\r\n" + chart.Error);
    return false;
  }
  FCharts.push_back(std::move(chart));
  FillList();
  ShowChart(static_cast<int>(FCharts.size()) - 1);
  return true;
}

void TFormViewer::UpdateCaption() {
  if (View->WholeSet())
    SetText(std::string(FormViewerText::WholeSet) + " - " + FormViewerText::Caption);
  else if (FShown >= 0)
    SetText(ChartTitle(FCharts[static_cast<size_t>(FShown)]) + " - " + FormViewerText::Caption);
  else
    SetText(FormViewerText::Caption);
}

void TFormViewer::UpdateLinks() {
  std::vector<TMenuItem> items;
  if (Shown() >= 0 && FCharts[static_cast<size_t>(FShown)].Chart) {
    const auto &links = FCharts[static_cast<size_t>(FShown)].Chart->Links;
    for (size_t i = 0; i < links.size() && static_cast<int>(i) <= cmLinkLast - cmLinkFirst; ++i)
      items.push_back({links[i].LinkText1.empty() ? links[i].LinkText2 : links[i].LinkText1,
                       cmLinkFirst + static_cast<int>(i)});
  }
  // Never an empty, greyed menu on the bar: Wine embosses greyed text in
  // white, which at night would be the brightest thing on the screen.
  if (items.empty())
    items.push_back({FormViewerText::NoLinks, 0, {}, false, false});
  Menu->SetSubmenuItems(LinksMenuPosition, items);
}

void TFormViewer::UpdateZoom() {
  if (View->WholeSet()) {
    StatusBar->SetPartText(spZoom, View->SetView().ScaleText());
    return;
  }
  const double percent = View->View().Zoom() * 100;
  StatusBar->SetPartText(spZoom, Format(percent >= 10 ? "Zoom %.0f%%" : "Zoom %.1f%%", percent));
}

void TFormViewer::ShowCursor(const POINT *ClientPixel) {
  TPositionReadout readout;
  std::string chartText;
  TNKFChart *chart = View->Chart();
  if (ClientPixel && View->WholeSet()) {
    const TSetReadout set = ReadSetPosition(View->Plan(), View->SetView(), View->SetCharts(),
                                            TChartViewport::ClientPixelCentre(ClientPixel->x, ClientPixel->y));
    readout = set.Position;
    chartText = set.ChartText;
  } else if (ClientPixel && chart) {
    const TDoublePoint pixel = View->View().ClientPixelToChart(ClientPixel->x, ClientPixel->y);
    if (pixel.X >= 0 && pixel.Y >= 0 && pixel.X < chart->Width && pixel.Y < chart->Height) {
      readout = ReadPosition(*chart, pixel);
      chartText = ChartTitle(FCharts[static_cast<size_t>(FShown)]) + "  " + ChartScaleText(*chart);
    }
  }
  StatusBar->SetPartText(spChart, chartText);
  StatusBar->SetPartText(spDatum, readout.Datum);
  StatusBar->SetPartText(spWGS84, readout.WGS84);
  StatusBar->SetPartText(spGrid, readout.Grid);
}

TDoublePoint TFormViewer::PositionAt(int X, int Y) const {
  if (View->WholeSet())
    return View->SetView().ClientToWGS84(TChartViewport::ClientPixelCentre(X, Y));
  return View->Chart()->Calibration->PixelToWGS84(View->View().ClientPixelToChart(X, Y));
}

double TFormViewer::MetresPerPixelAt(int X, int Y) const {
  if (View->WholeSet())
    return View->SetView().GroundMetresPerPixel();
  return MetresPerClientPixel(*View->Chart(), View->View(), TChartViewport::ClientPixelCentre(X, Y));
}

std::vector<int> TFormViewer::ChartsHereAt(int X, int Y) {
  TNKFChart *chart = View->Chart();
  if (!chart && !View->WholeSet())
    return {};
  const TDoublePoint position = PositionAt(X, Y);
  const std::unique_ptr<TCalibration> view =
      View->WholeSet() ? MakeSetViewCalibration(View->SetView()) : MakeViewCalibration(*chart, View->View());
  if (!view)
    return {};
  std::vector<TNKFChart *> charts;
  for (const TViewerChart &c : FCharts)
    charts.push_back(c.Usable() ? c.Chart.get() : nullptr);
  const std::vector<int32_t> found = ChartsHere(charts, position, *view);
  return {found.begin(), found.end()};
}

void TFormViewer::SwitchChartAt(int Index, int X, int Y) {
  if ((!View->Chart() && !View->WholeSet()) || Index < 0 || Index >= static_cast<int>(FCharts.size()) ||
      !FCharts[static_cast<size_t>(Index)].Usable())
    return;
  const TDoublePoint position = PositionAt(X, Y);
  const double metres = MetresPerPixelAt(X, Y);
  ShowChart(Index);
  PlaceAtPosition(View->View(), *FCharts[static_cast<size_t>(Index)].Chart, position, metres);
  View->ViewChanged();
}

void TFormViewer::ContextMenu(int X, int Y) {
  const std::vector<int> here = ChartsHereAt(X, Y);
  if (here.empty())
    return;
  std::vector<TMenuItem> items{{FormViewerText::ChartsHere, 0, {}, false, false}, {"-"}};
  for (size_t i = 0; i < here.size(); ++i) {
    const TViewerChart &chart = FCharts[static_cast<size_t>(here[i])];
    items.push_back({ChartTitle(chart) + "\t" + ChartScaleText(*chart.Chart), static_cast<int>(i) + 1,
                     {}, here[i] == Shown()});
  }
  POINT p{X, Y};
  ClientToScreen(View->Handle(), &p);
  const int chosen = TrackPopup(Handle(), items, p.x, p.y);
  if (chosen > 0 && here[static_cast<size_t>(chosen - 1)] != Shown())
    SwitchChartAt(here[static_cast<size_t>(chosen - 1)], X, Y);
}

void TFormViewer::FollowLink(int Link) {
  if (Shown() < 0 || !FCharts[static_cast<size_t>(FShown)].Chart)
    return;
  const auto &links = FCharts[static_cast<size_t>(FShown)].Chart->Links;
  if (Link < 0 || Link >= static_cast<int>(links.size()))
    return;
  const std::string target = BaseName(links[static_cast<size_t>(Link)].LinkText2);
  for (size_t i = 0; i < FCharts.size(); ++i)
    if (SameText(BaseName(FCharts[i].FileName), target)) {
      if (FCharts[i].Usable())
        ShowChart(static_cast<int>(i));
      else
        ShowMessage(std::string(FormViewerText::CannotShow) + "\r\n\r\n" + FCharts[i].FileName + "\r\n" +
                    FCharts[i].Error);
      return;
    }
  ShowMessage(std::string(FormViewerText::CannotShow) + "\r\n\r\n" + target);
}

void TFormViewer::SetNight(bool Value) {
  if (Value == FNight)
    return;
  FNight = Value;
  GetNightScreen().SetActive(Value);
  GetTileManager()->SetNightMode(Value);
  // Tiles of the other colours are of no more use, cached or shown: the
  // view drops its own and asks for them anew where it stands.
  for (const TViewerChart &chart : FCharts)
    if (chart.Chart)
      GetTileManager()->RemoveTilesOfChart(chart.Chart.get());
  View->SetNight(Value);
  Menu->SetChecked(cmNight, Value);
  SetNightMenuBar(Value);
  SetNightIcon(Value);
  SystemColorsChanged();
}

// The menu bar is the one part of the window the night screen's colours miss:
// with flat menus (Wine's default theme has them) it is painted in the system's
// menu bar colour, which the night screen leaves alone, and Windows paints it
// with the menu's own background brush when it has one. At night it gets both,
// dimmed; the day's colour comes back with the day or when the window closes.
void TFormViewer::SetNightMenuBar(bool Value) {
  const int index = COLOR_MENUBAR;
  if (Value && !FNightMenuBrush) {
    FDayMenuBar = GetSysColor(index);
    const COLORREF night = static_cast<COLORREF>(GetNightScreen().NightColor(static_cast<TColor>(FDayMenuBar)));
    SetSysColors(1, &index, &night);
    FNightMenuBrush = CreateSolidBrush(night);
  } else if (!Value && FNightMenuBrush) {
    SetSysColors(1, &index, &FDayMenuBar);
    DeleteObject(FNightMenuBrush);
    FNightMenuBrush = nullptr;
  } else {
    return;
  }
  MENUINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = MIM_BACKGROUND;
  info.hbrBack = FNightMenuBrush;
  SetMenuInfo(Menu->Handle(), &info);
}

// The common controls keep the system colours they were made with until told,
// and the list its background even then; the menu bar and the children
// repaint only when asked.
void TFormViewer::SystemColorsChanged() {
  EnumerateChildWindows(Handle(), [](HWND Child) {
    SendMessageA(Child, WM_SYSCOLORCHANGE, 0, 0);
    return true;
  });
  SendMessageA(ChartList->Handle(), LVM_SETBKCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
  SendMessageA(ChartList->Handle(), LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
  DrawMenuBar(Handle());
  RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// The title bar's icon is a picture of its own, which no colour setting
// reaches: at night it is swapped for a copy dimmed as the tiles are.
void TFormViewer::SetNightIcon(bool Value) {
  if (Value && !FNightIcon) {
    FDayIcon = reinterpret_cast<HICON>(SendMessageA(Handle(), WM_GETICON, ICON_SMALL, 0));
    FNightIcon = FDayIcon ? DimmedIcon(FDayIcon, GetNightScreen()) : nullptr;
    if (FNightIcon)
      SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(FNightIcon));
  } else if (!Value && FNightIcon) {
    SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(FDayIcon));
    DestroyIcon(FNightIcon);
    FNightIcon = nullptr;
  }
}

void TFormViewer::OpenFileDialog() {
  char file[MAX_PATH] = {};
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = Handle();
  ofn.lpstrFilter = "Charts (*.nkf2)\0*.nkf2\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof(file);
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (GetOpenFileNameA(&ofn))
    OpenFile(file);
}

void TFormViewer::Command(int Id) {
  switch (Id) {
  case cmOpen:
    OpenFileDialog();
    break;
  case cmExit:
    Close();
    break;
  case cmZoomIn:
    View->ZoomStepsAtCentre(1);
    break;
  case cmZoomOut:
    View->ZoomStepsAtCentre(-1);
    break;
  case cmFit:
    View->Fit();
    break;
  case cmNight:
    SetNight(!FNight);
    break;
  case cmBorder:
    View->SetShowBorder(!View->ShowBorder());
    Menu->SetChecked(cmBorder, View->ShowBorder());
    break;
  case cmOutlines:
    View->SetShowOutlines(!View->ShowOutlines());
    Menu->SetChecked(cmOutlines, View->ShowOutlines());
    break;
  case cmWholeSet:
    ShowWholeSet();
    break;
  case cmOneChart:
    ShowOneChart();
    break;
  case cmAbout:
    ShowMessage(FormViewerText::About);
    break;
  case cmTileError:
    ShowMessage(GetTileManager()->ErrorClass().empty() ? std::string(FormViewerText::NoTileError) : LoaderError());
    break;
  default:
    if (Id >= cmLinkFirst && Id <= cmLinkLast)
      FollowLink(Id - cmLinkFirst);
  }
}

void TFormViewer::Progress(int Done, int Total) {
  const bool busy = Total > 0 && Done < Total;
  ProgressBar->SetVisible(busy);
  if (busy) {
    ProgressBar->SetMax(Total);
    ProgressBar->SetPosition(Done);
  }
}

std::string TFormViewer::LoaderError() const {
  TNKFTileManager *manager = GetTileManager();
  std::string text = manager->ErrorClass() + ": " + manager->ErrorMessage();
  if (!manager->ErrorStackTrace().empty())
    text += "\r\n\r\n" + manager->ErrorStackTrace();
  return text;
}

// A failed tile is marked in the view and named in the status bar, its
// details (with the stack trace) a menu command away; a loader that stopped
// is told at once, as nothing more will load.
void TFormViewer::LoaderReported() {
  TNKFTileManager *manager = GetTileManager();
  View->TilesFailed();
  if (manager->Finished()) {
    ProgressBar->SetVisible(false);
    ShowMessage(std::string(FormViewerText::LoaderEnded) + "\r\n\r\n" + LoaderError());
    return;
  }
  StatusBar->SetPartText(spState, FormViewerText::TileFailed + manager->ErrorMessage());
}

LRESULT TFormViewer::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
  case WM_SIZE:
    Layout();
    return 0;
  case WM_COMMAND:
    if (LParam == 0 && HIWORD(WParam) == 0) {
      Command(LOWORD(WParam));
      return 0;
    }
    break;
  case WM_VIEWERSTARTUP:
    if (!FStartFile.empty())
      OpenFile(FStartFile);
    else if (!ShowWholeSet() && !FCharts.empty())
      ShowChart(0);
    UpdateModeMenu();
    if (!FInstalled)
      ShowMessage(FormViewerText::NotInstalled);
    return 0;
  case WM_TILEPROGRESS:
    Progress(static_cast<int>(WParam), static_cast<int>(LParam));
    return 0;
  case WM_TILELOADERENDED:
    LoaderReported();
    return 0;
  case WM_SYSCOLORCHANGE:
    SystemColorsChanged();
    break;
  }
  return TForm::WndProc(Msg, WParam, LParam);
}
