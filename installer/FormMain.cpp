#include "FormMain.h"

#include "OSFile.h"
#include "SysUtils.h"
#include "VmMsgBox.h"

namespace {

constexpr char FontName[] = "MS Sans Serif";
constexpr int FontHeight = -11;

TControlArgs Place(TWinControl *Parent, TBounds Bounds, std::string Text = {}) {
  TControlArgs args;
  args.Parent = Parent;
  args.Bounds = Bounds;
  args.Text = std::move(Text);
  return args;
}

template <class TArgs> TArgs PlaceAs(TWinControl *Parent, TBounds Bounds, std::string Text = {}) {
  TArgs args;
  static_cast<TControlArgs &>(args) = Place(Parent, Bounds, std::move(Text));
  return args;
}

// A folder as a full path with its trailing backslash; empty stays empty (no
// folder: search the drives). A folder text as typed ("Charts", "D:charts")
// would be resolved against whatever the process's current directory is at
// the moment of use, and stored so, relative, for the chart viewer.
std::string FullFolder(const std::string &Folder) {
  return Folder.empty() ? Folder : IncludeTrailingPathDelimiter(ExpandFileName(Folder));
}

} // namespace

TFormMain::TFormMain(TApplication *, TFormMainServices Services)
    : TForm({"TFormMain", FormMainText::Caption, TBorderStyle::bsSingle, true, 456, 158, FontName, FontHeight}),
      FServices(std::move(Services)), FBoldFont(FontName, FontHeight, true) {
  auto install = PlaceAs<TButton::TArgs>(this, {274, 122, 75, 25}, "Install");
  ButtonInstall = std::make_unique<TButton>(install);

  auto folder = Place(this, {22, 28, 391, 21}, "C:\\Program Files\\Velmora\\Navoria\\2K\\Charts");
  folder.Enabled = false;
  EditFolder = std::make_unique<TEdit>(folder);

  auto browse = PlaceAs<TToolButton::TArgs>(this, {414, 28, 23, 22});
  browse.Enabled = false;
  browse.Glyph = FolderGlyph();
  ButtonBrowse = std::make_unique<TToolButton>(browse);

  auto search = PlaceAs<TCheckBox::TArgs>(this, {22, 54, 373, 17}, "Search my harddrives for the files");
  search.Checked = true;
  CheckBoxSearch = std::make_unique<TCheckBox>(search);

  LabelLocation = std::make_unique<TLabel>(
      PlaceAs<TLabel::TArgs>(this, {22, 12, 203, 13}, "Location of the ORVA Welmeland 2003 files:"));

  ButtonClose = std::make_unique<TButton>(PlaceAs<TButton::TArgs>(this, {362, 122, 75, 25}, "Close"));

  auto searching = PlaceAs<TLabel::TArgs>(this, {22, 82, 415, 13}, "Searching. Please wait...");
  searching.Visible = false;
  searching.Alignment = TAlignment::taCenter;
  searching.Font = FBoldFont.Handle();
  LabelSearching = std::make_unique<TLabel>(searching);

  SetTabOrder({ButtonInstall.get(), EditFolder.get(), CheckBoxSearch.get(), ButtonClose.get()});
  SetActiveControl(ButtonInstall.get());
  CenterOnScreen();

  ButtonInstall->OnClick = [this](TWinControl *sender) { ButtonInstallClick(sender); };
  ButtonBrowse->OnClick = [this](TWinControl *sender) { ButtonBrowseClick(sender); };
  BrowseFolderDialog.Options = {bfDirMustExist, bfPathMustExist};
  ButtonClose->OnClick = [this](TWinControl *sender) { ButtonCloseClick(sender); };
  CheckBoxSearch->OnClick = [this](TWinControl *sender) { CheckBoxSearchClick(sender); };

  // The refusals ask the message loop to end; the window may show for a moment.
  CheckInstalled();
  if (Installed) {
    ShowMessage(FormMainText::AlreadyInstalled);
    Application->Terminate();
  } else if (!FServices.HasAdminRights()) {
    ShowMessage(FormMainText::NoAdminRights);
    Application->Terminate();
  }
}

void TFormMain::UpdateControls() {
  const bool folderMode = !CheckBoxSearch->Checked();
  EditFolder->SetEnabled(folderMode);
  ButtonBrowse->SetEnabled(folderMode);
}

void TFormMain::CheckBoxSearchClick(TWinControl *) { UpdateControls(); }

void TFormMain::ButtonCloseClick(TWinControl *) { Close(); }

void TFormMain::ButtonBrowseClick(TWinControl *) {
  BrowseFolderDialog.Folder = EditFolder->Text();
  if (BrowseFolderDialog.Execute())
    EditFolder->SetText(BrowseFolderDialog.Folder);
}

void TFormMain::CheckInstalled() { Installed = FServices.CheckInstalled(); }

bool TFormMain::FindCharts(const std::string &FolderText, std::string &Found) {
  Found.clear();
  return FServices.FindCharts(FolderText, Found);
}

bool TFormMain::RegisterCharts(const std::string &Folder) { return FServices.RegisterCharts(Folder); }

void TFormMain::RestoreAfterInstall() {
  Screen->SetCursor(TCursor::crDefault);
  ButtonClose->SetEnabled(true);
  LabelSearching->SetVisible(false);
  CheckBoxSearch->SetEnabled(true);
  ButtonInstall->SetEnabled(true);
  LabelLocation->SetEnabled(true);
  UpdateControls();
  // Disabling the focused button dropped the focus to the window itself;
  // give it back to the button so the keyboard works again.
  HWND focus = GetFocus();
  if ((!focus || focus == Handle()) && GetActiveWindow() == Handle())
    ButtonInstall->SetFocus();
}

void TFormMain::ButtonInstallClick(TWinControl *) {
  EditFolder->SetEnabled(false);
  ButtonBrowse->SetEnabled(false);
  LabelLocation->SetEnabled(false);
  ButtonInstall->SetEnabled(false);
  CheckBoxSearch->SetEnabled(false);
  LabelSearching->SetVisible(true);
  ButtonClose->SetEnabled(false);
  Screen->SetCursor(TCursor::crHourGlass);

  // Whatever happens below, the controls come back; an error passes on to
  // the application's error report afterwards.
  struct TRestore {
    TFormMain &Form;
    ~TRestore() { Form.RestoreAfterInstall(); }
  } restore{*this};

  const std::string folderText = CheckBoxSearch->Checked() ? std::string() : FullFolder(EditFolder->Text());
  std::string found;
  if (FindCharts(folderText, found)) {
    found = FullFolder(found);
    const std::string question =
        std::string(FormMainText::FoundIn) + "\r\r   " + found + "\r\r" + FormMainText::Proceed;
    if (MessageDlg(question, mtConfirmation, {mbYes, mbNo}, 0) == mrYes) {
      if (RegisterCharts(found)) {
        ShowMessage(FormMainText::Done);
        Close();
      } else {
        ShowMessage(FormMainText::InstallationFailed);
      }
    }
  } else if (folderText.empty()) {
    ShowMessage(FormMainText::NotOnHarddrives);
  } else {
    ShowMessage(FormMainText::NotFoundIn + folderText);
  }
}
