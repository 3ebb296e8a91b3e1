// The installer's one window: where the chart files are (a folder, or a search
// of the fixed drives), Install and Close, and the refusals at start-up.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Forms.h"
#include "VmBrowse.h"

// What the window asks of the rest of the program. The defaults are the real
// installed check, rights probe, search and registration; tests put their own
// in place of any of them to reach outcomes the machine will not produce.
struct TFormMainServices {
  std::function<bool()> CheckInstalled;
  std::function<bool()> HasAdminRights;
  // Folder text (empty: search the fixed drives); out: the folder found, with
  // a trailing backslash.
  std::function<bool(const std::string &FolderText, std::string &Found)> FindCharts;
  std::function<bool(const std::string &Folder)> RegisterCharts;
};

TFormMainServices DefaultFormMainServices();

class TFormMain : public TForm {
public:
  explicit TFormMain(TApplication *Owner, TFormMainServices Services = DefaultFormMainServices());

  std::unique_ptr<TButton> ButtonInstall;
  std::unique_ptr<TEdit> EditFolder;
  std::unique_ptr<TToolButton> ButtonBrowse;
  std::unique_ptr<TCheckBox> CheckBoxSearch;
  std::unique_ptr<TLabel> LabelLocation;
  std::unique_ptr<TButton> ButtonClose;
  std::unique_ptr<TLabel> LabelSearching;
  TBrowseFolderDialog BrowseFolderDialog; // the folder must exist, and so must its parent

  void ButtonInstallClick(TWinControl *Sender);
  void ButtonBrowseClick(TWinControl *Sender);
  void ButtonCloseClick(TWinControl *Sender);
  void CheckBoxSearchClick(TWinControl *Sender);
  // The folder edit and its browse button are usable only when the search is off.
  void UpdateControls();

  void CheckInstalled();
  bool FindCharts(const std::string &FolderText, std::string &Found);
  bool RegisterCharts(const std::string &Folder);

  bool IsInstalled() const { return Installed; }

private:
  // Undoes the busy state of an installation, whatever ended it.
  void RestoreAfterInstall();

  TFormMainServices FServices;
  TFont FBoldFont;
  bool Installed = false;
};

// The texts the window shows.
namespace FormMainText {
inline constexpr char Caption[] = "ORVA Welmeland 2003 Installer";
inline constexpr char AlreadyInstalled[] = "The ORVA Welmeland 2003 charts have already been installed.";
inline constexpr char NoAdminRights[] = "You must have administator rights to use this program.";
inline constexpr char FoundIn[] = "The ORVA Welmeland 2003 chart are found in:";
inline constexpr char Proceed[] = "Proceed with installation?";
inline constexpr char Done[] = "Done";
inline constexpr char InstallationFailed[] = "The installation failed.";
inline constexpr char NotOnHarddrives[] = "The charts could not be found on your harddrives.";
inline constexpr char NotFoundIn[] = "The charts could not be found in ";
} // namespace FormMainText
