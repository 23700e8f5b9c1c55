// CDialog in process: data exchange in both directions, the routing of OK
// and Cancel, and exceptions that must not cross the dialog procedure.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/afxwin.h"
#include "res/resource.h"

namespace {

// The application object of the test program (named after its file).
CWinApp g_app;

// Finds a visible dialog of this process other than `except`.
HWND FindOwnDialog(HWND except, bool messageBox) {
  struct Search {
    HWND except;
    bool messageBox;
    HWND found = nullptr;
  } s{except, messageBox};
  EnumWindows(
      [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        char cls[16] = "";
        GetClassNameA(hwnd, cls, sizeof(cls));
        if (pid != GetCurrentProcessId() || hwnd == s->except || !IsWindowVisible(hwnd) ||
            std::string(cls) != "#32770")
          return TRUE;
        if ((GetDlgItem(hwnd, 0xFFFF) != nullptr) != s->messageBox) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND WaitForOwnDialog(bool messageBox) {
  for (int i = 0; i < 400; ++i) {
    if (HWND h = FindOwnDialog(nullptr, messageBox)) return h;
    Sleep(25);
  }
  return nullptr;
}

std::string TextOf(HWND hwnd) {
  char buf[1024] = "";
  GetWindowTextA(hwnd, buf, sizeof(buf));
  return buf;
}

// The shortcut options template: two check boxes and OK.
class CheckDialog : public CDialog {
public:
  CheckDialog() : CDialog(IDD_SHORTCUT_DIALOG) {}
  int m_bDesktop = 1;
  int m_bStartMenu = 0;
  int m_nCancels = 0;
  bool m_bThrowOnInit = false;
  bool m_bThrowOnOk = false;
  LRESULT m_dragIcon = 0x1234;

protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Check(pDX, IDC_DESKTOP_CHECK, m_bDesktop);
    DDX_Check(pDX, IDC_STARTMENU_CHECK, m_bStartMenu);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (m_bThrowOnInit) throw CFileException(CFileException::badSeek, ERROR_NEGATIVE_SEEK);
    return TRUE;
  }
  void OnOK() override {
    if (m_bThrowOnOk) {
      m_bThrowOnOk = false;
      throw std::runtime_error("broken handler");
    }
    CDialog::OnOK();
  }
  void OnCancel() override { ++m_nCancels; } // Escape is ignored
  bool OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) override {
    if (msg != WM_QUERYDRAGICON) return false;
    result = m_dragIcon;
    return true;
  }
};

TEST(CDialog, ShowsMembersAndReadsThemBackOnOk) {
  CheckDialog dlg;
  std::atomic<bool> shown{false}, queried{false};
  std::atomic<LRESULT> dragIcon{0};
  std::thread user([&] {
    HWND h = WaitForOwnDialog(false);
    if (!h) return;
    shown = SendMessageA(GetDlgItem(h, IDC_DESKTOP_CHECK), BM_GETCHECK, 0, 0) == BST_CHECKED &&
            SendMessageA(GetDlgItem(h, IDC_STARTMENU_CHECK), BM_GETCHECK, 0, 0) == BST_UNCHECKED;
    dragIcon = SendMessageA(h, WM_QUERYDRAGICON, 0, 0);
    queried = true;
    SendMessageA(h, WM_COMMAND, IDCANCEL, 0); // ignored by this dialog
    SendMessageA(GetDlgItem(h, IDC_DESKTOP_CHECK), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(GetDlgItem(h, IDC_STARTMENU_CHECK), BM_SETCHECK, BST_CHECKED, 0);
    PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  user.join();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(queried);
  EXPECT_EQ(dragIcon, 0x1234) << "returned directly, not through DWLP_MSGRESULT";
  EXPECT_EQ(dlg.m_nCancels, 1);
  EXPECT_EQ(dlg.m_bDesktop, 0);
  EXPECT_EQ(dlg.m_bStartMenu, 1);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
}

// An exception in a handler is reported in a message box captioned with the
// program's name; the dialog keeps running.
TEST(CDialog, ExceptionsAreReportedAndDoNotLeaveTheProcedure) {
  for (bool inInit : {true, false}) {
    SCOPED_TRACE(inInit ? "OnInitDialog" : "OnOK");
    CheckDialog dlg;
    dlg.m_bThrowOnInit = inInit;
    dlg.m_bThrowOnOk = !inInit;
    std::string caption, text;
    std::thread user([&] {
      if (!inInit) {
        HWND h = WaitForOwnDialog(false);
        if (!h) return;
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      }
      HWND box = WaitForOwnDialog(true);
      if (!box) return;
      caption = TextOf(box);
      text = TextOf(GetDlgItem(box, 0xFFFF));
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      while (FindOwnDialog(nullptr, true)) Sleep(25);
      HWND h = WaitForOwnDialog(false);
      PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    user.join();
    EXPECT_EQ(caption, "framework_tests");
    EXPECT_EQ(text, inInit ? SystemErrorMessage(ERROR_NEGATIVE_SEEK) : "broken handler");
  }
}

TEST(CWinApp, IsNamedAfterItsProgramFile) {
  EXPECT_EQ(AfxGetApp(), &g_app);
  EXPECT_STREQ(AfxGetAppName(), "framework_tests");
  EXPECT_NE(g_app.LoadIcon(IDR_MAINFRAME), nullptr);
}

} // namespace
