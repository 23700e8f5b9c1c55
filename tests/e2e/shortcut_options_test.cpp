// The shortcut options dialog in process: preset boxes, texts, Escape
// ignored, the choice read back after OK.
#include <gtest/gtest.h>

#include <thread>

#include "dialogs/shortcut_options_dialog.h"
#include "driver.h"
#include "res/resource.h"

namespace {

CWinApp g_app;

// The visible dialog of this process captioned `caption`.
e2e::Window WaitForOwnDialog(const std::string& caption) {
  e2e::Window found;
  e2e::WaitUntil([&] {
    struct Search {
      std::string caption;
      HWND hwnd = nullptr;
    } s{caption};
    EnumWindows(
        [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD pid = 0;
          GetWindowThreadProcessId(hwnd, &pid);
          if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) &&
              e2e::Window(hwnd).Text() == s->caption)
            s->hwnd = hwnd;
          return s->hwnd == nullptr;
        },
        reinterpret_cast<LPARAM>(&s));
    found = e2e::Window(s.hwnd);
    return bool(found);
  });
  return found;
}

TEST(ShortcutOptionsDialog, ShowsThePresetChoiceIgnoresEscapeAndReturnsTheBoxes) {
  ShortcutOptionsDialog dlg;
  dlg.m_bDesktop = 1;
  dlg.m_bStartMenu = 1;
  dlg.m_strProductName = "Sch\xF6nes Spiel";
  std::string desktop, startMenu;
  bool bothChecked = false, openAfterEscape = false;
  std::thread user([&] {
    e2e::Window w = WaitForOwnDialog("Verkn\xFCpfungen zu \"Sch\xF6nes Spiel\"");
    if (!w) return;
    desktop = w.ItemText(IDC_DESKTOP_CHECK);
    startMenu = w.ItemText(IDC_STARTMENU_CHECK);
    bothChecked = w.ItemChecked(IDC_DESKTOP_CHECK) && w.ItemChecked(IDC_STARTMENU_CHECK);
    w.PressKey(VK_ESCAPE);
    Sleep(300);
    openAfterEscape = w.Visible();
    w.SetCheck(IDC_DESKTOP_CHECK, false);
    w.Click(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  user.join();
  EXPECT_EQ(desktop, "Desktop-Verkn\xFCpfung erstellen");
  EXPECT_EQ(startMenu, "Startmen\xFC Eintrag erstellen");
  EXPECT_TRUE(bothChecked);
  EXPECT_TRUE(openAfterEscape);
  EXPECT_EQ(dlg.m_bDesktop, 0);
  EXPECT_EQ(dlg.m_bStartMenu, 1);
}

} // namespace
