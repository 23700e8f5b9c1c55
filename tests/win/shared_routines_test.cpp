#include "app/cancel.h"
#include "app/files.h"
#include "app/load_formatted.h"
#include "app/pump.h"
#include "app/whole_folder.h"
#include "framework/app.h"
#include "res/resource.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

TEST(FileExistsTest, MatchesFilesFoldersAndWildcards) {
  ScratchDirectory directory;
  WriteWholeFile("liesmich.txt", "x");
  ASSERT_TRUE(CreateDirectoryA("Daten", nullptr));
  const std::string& folder = directory.Path();
  EXPECT_TRUE(FileExists((folder + "liesmich.txt").c_str()));
  EXPECT_TRUE(FileExists("liesmich.txt"));
  EXPECT_TRUE(FileExists((folder + "*.txt").c_str()));
  EXPECT_TRUE(FileExists((folder + "lies?ich.*").c_str()));
  EXPECT_TRUE(FileExists((folder + "Daten").c_str()));
  EXPECT_FALSE(FileExists((folder + "*.exe").c_str()));
  EXPECT_FALSE(FileExists((folder + "fehlt.txt").c_str()));
  EXPECT_FALSE(FileExists((folder + "fehlt\\liesmich.txt").c_str()));
}

TEST(WholeFolderTest, TypedFoldersBecomeAbsoluteAndWholeOrAreRefused) {
  const std::string longest(200, 'x');
  const struct {
    std::string typed;
    FolderForm form;
    std::string folder;
  } cases[] = {
      {"C:\\Echt\\", FolderForm::Whole, "C:\\Echt"},
      {"  \"C:\\x y\"  ", FolderForm::Whole, "C:\\x y"},
      {"c:/Echt//neu/", FolderForm::Whole, "c:\\Echt\\neu"},
      {"C:\\Echt\\alt\\..\\neu", FolderForm::Whole, "C:\\Echt\\neu"},
      {"\\\\server\\share\\App\\", FolderForm::Whole, "\\\\server\\share\\App"},
      {"relativ\\ordner", FolderForm::Relative, ""},
      {"", FolderForm::Relative, ""},
      {"\"\"", FolderForm::Relative, ""},
      {"C:Echt", FolderForm::Relative, ""},
      {"\\Echt", FolderForm::Relative, ""},
      {"C:\\", FolderForm::Relative, ""},
      {"\\\\?\\C:\\Echt", FolderForm::Relative, ""},
      {"C:\\" + std::string(300, 'a'), FolderForm::TooLong, ""},
      {"C:\\" + std::string(60, 'a'), FolderForm::TooLong, ""}, // with the longest entry
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    std::string folder;
    EXPECT_EQ(MakeWholeFolder(c.typed, 1 + longest.size(), folder), c.form);
    EXPECT_EQ(folder, c.folder);
  }
}

TEST(LoadFormattedTest, FillsTheOneArgument) {
  EXPECT_EQ(LoadFormatted(IDS_CHOOSE_DIR, "Tarnivex 2"),
            "Bitte geben Sie hier das Verzeichnis an, in das \"Tarnivex 2\" installiert werden "
            "soll.");
  // Code page 1252 text, and an argument far longer than any table text.
  std::string longName(3000, 'n');
  EXPECT_EQ(LoadFormatted(IDS_DIR_EXISTS, longName.c_str()),
            "Das Verzeichnis \"" + longName +
                "\" existiert bereits. Soll trotzdem in dieses Verzeichnis installiert werden?");
  EXPECT_EQ(LoadFormatted(IDS_STARTMENU, nullptr), "Startmen\xFC Eintrag erstellen");
  EXPECT_EQ(LoadFormatted(IDS_CLOSE, "ignored"), "Schliessen");
  EXPECT_EQ(LoadFormatted(IDS_README_CHECK, nullptr), "ReadMe Datei zu \"\" anzeigen");
}

// A message-only window that counts what it is sent and can cancel on a message.
class PumpTest : public ::testing::Test {
protected:
  void SetUp() override {
    g_bCancel = 0;
    s_received = 0;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &PumpTest::WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TarnivexPumpTest";
    RegisterClassA(&windowClass);
    m_window = CreateWindowA("TarnivexPumpTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             windowClass.hInstance, nullptr);
    ASSERT_NE(m_window, nullptr);
  }
  void TearDown() override {
    DestroyWindow(m_window);
    g_bCancel = 0;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCount) {
      ++s_received;
      return 0;
    }
    if (message == kCancel) {
      g_bCancel = 1;
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  static bool Waiting() {
    MSG msg;
    return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
  }

  static constexpr UINT kCount = WM_APP + 1;
  static constexpr UINT kCancel = WM_APP + 2;
  static inline int s_received = 0;
  CWinApp m_app{"PumpTest"};
  HWND m_window = nullptr;
};

TEST_F(PumpTest, DispatchesEverythingWaitingUntilCancelled) {
  EXPECT_FALSE(PumpPendingMessages());
  for (int i = 0; i < 3; ++i) PostMessageA(m_window, kCount, 0, 0);
  EXPECT_FALSE(PumpPendingMessages());
  EXPECT_EQ(s_received, 3);
  EXPECT_FALSE(Waiting());

  // A handler confirms the cancel: the pump stops before the next message.
  PostMessageA(m_window, kCount, 0, 0);
  PostMessageA(m_window, kCancel, 0, 0);
  PostMessageA(m_window, kCount, 0, 0);
  EXPECT_TRUE(PumpPendingMessages());
  EXPECT_EQ(s_received, 4);
  EXPECT_TRUE(Waiting());
  EXPECT_TRUE(PumpPendingMessages());
  EXPECT_EQ(s_received, 4);
}

TEST_F(PumpTest, LeavesAQuitRequestForTheModalLoop) {
  PostMessageA(m_window, kCount, 0, 0);
  PostQuitMessage(3);
  EXPECT_FALSE(PumpPendingMessages());
  EXPECT_EQ(s_received, 1);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
}

} // namespace
