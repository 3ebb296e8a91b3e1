// The directory tree over real drive letters of every kind. Runs under the
// drive-search script, which maps A: (floppy), D: and E: (hard disk), F:
// (CD-ROM) and G: (network) to empty folders and makes Z: a network drive.
// Without that script (VM_DRIVE_TEST unset) every test is skipped.
#include "VmBrowse.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "FileFind.h"

namespace {

TApplication App;

class DriveTree : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::getenv("VM_DRIVE_TEST") == nullptr)
      GTEST_SKIP() << "needs the drive-search script";
    App.Initialize();
    for (const char *folder : {"A:\\sub", "F:\\sub", "G:\\share", "D:\\data"})
      std::filesystem::create_directories(folder);
    Form = std::make_unique<TForm>(
        TForm::TArgs{"TDriveTreeTestForm", "Drives", TBorderStyle::bsSingle, false, 300, 400, "MS Sans Serif", -11});
    Form->Show();
    TDirTreeView::TArgs args;
    args.Parent = Form.get();
    args.Bounds = {0, 0, 300, 400};
    Tree = std::make_unique<TDirTreeView>(args);
  }
  void TearDown() override {
    Tree.reset();
    Form.reset();
    std::error_code ec;
    for (const char *folder : {"A:\\sub", "F:\\sub", "G:\\share", "D:\\data"})
      std::filesystem::remove_all(folder, ec);
  }

  TTreeView::TNode Drive(char Letter) {
    for (TTreeView::TNode node : Tree->Children(nullptr))
      if (Tree->Info(node)->FolderPath == std::string(1, Letter) + ":\\")
        return node;
    return nullptr;
  }

  // "u**", " " or a folder path for each child.
  std::vector<std::string> Children(TTreeView::TNode Node) {
    std::vector<std::string> children;
    for (TTreeView::TNode child : Tree->Children(Node))
      children.push_back(Tree->Info(child) ? Tree->Info(child)->FolderPath : Tree->NodeText(child));
    return children;
  }

  std::unique_ptr<TForm> Form;
  std::unique_ptr<TDirTreeView> Tree;
};

TEST_F(DriveTree, PlaceholdersByDriveType) {
  const struct {
    char Letter;
    std::vector<std::string> Children;
  } cases[] = {
      {'A', {DrivePlaceholder}}, // floppy: not read, though it holds a folder
      {'F', {DrivePlaceholder}}, // CD-ROM
      {'D', {DirPlaceholder}},   // fixed, with folders
      {'G', {DirPlaceholder}},   // network, with a folder
      {'E', {}},                 // fixed and empty: no expand button
  };
  for (const auto &c : cases) {
    TTreeView::TNode drive = Drive(c.Letter);
    ASSERT_NE(drive, nullptr) << c.Letter;
    EXPECT_FALSE(Tree->Info(drive)->ChildrenRead) << c.Letter;
    EXPECT_EQ(Children(drive), c.Children) << c.Letter;
    EXPECT_FALSE(Tree->NodeText(drive).empty()) << "the shell's name of " << c.Letter;
  }
}

TEST_F(DriveTree, AFloppyIsReadWhenTheUserOpensIt) {
  TTreeView::TNode floppy = Drive('A');
  ASSERT_NE(floppy, nullptr);
  Tree->Select(floppy);
  Tree->SetFocus();
  PostMessageA(Tree->Handle(), WM_KEYDOWN, VK_RIGHT, 1);
  App.ProcessMessages();
  EXPECT_TRUE(Tree->IsExpanded(floppy));
  EXPECT_EQ(Children(floppy), (std::vector<std::string>{"A:\\sub\\"}));
  EXPECT_EQ(Tree->GetSelectedPath(), "A:\\");
}

TEST_F(DriveTree, NetworkDrivesCanBeLeftOut) {
  ASSERT_NE(Drive('G'), nullptr);
  Tree->SelectPath("d:\\DATA");
  Tree->SetAllowNetwork(false);
  EXPECT_EQ(Drive('G'), nullptr);
  EXPECT_EQ(Drive('Z'), nullptr);
  EXPECT_NE(Drive('D'), nullptr);
  EXPECT_EQ(Tree->GetSelectedPath(), "D:\\data\\") << "the reload keeps the selection";
  Tree->SetAllowNetwork(true);
  EXPECT_NE(Drive('G'), nullptr);
}

TEST_F(DriveTree, ReloadWithNothingSelectedSkipsUnreadDrives) {
  ASSERT_EQ(Tree->GetSelectedPath(), "");
  Tree->Reload();
  const std::string selected = Tree->GetSelectedPath();
  ASSERT_FALSE(selected.empty());
  EXPECT_EQ(selected.substr(0, 3), "C:\\") << "A: is passed over: its media is not read";
  EXPECT_TRUE(SameText(selected, Tree->LastPath('C'))) << selected;
}

} // namespace
